#pragma once

// Pictures a scenario shows instead of flat colours: a display's or a window's
// "contentImage", a PNG file read once when the scenario loads.
#include "platform/types/Displays.h"

#include <filesystem>
#include <memory>
#include <string>

namespace dorvex::platform::sim {

struct SimPicture {
    Image image;        // RGBA, as every image the desktop hands out
    bool opaque = true; // every pixel's alpha is 255
};

using SimPictureRef = std::shared_ptr<const SimPicture>;

struct SimPictureRead {
    SimPictureRef picture;
    std::string error; // why the file could not be used, when it could not
};

// Reads a PNG file of any colour type and depth as 8-bit RGBA. Files larger than
// `maxImageSide` per side or `maxImagePixels` pixels are refused before their pixels are read.
SimPictureRead readPicture(const std::filesystem::path& file);

} // namespace dorvex::platform::sim
