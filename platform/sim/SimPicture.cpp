#include "platform/sim/SimPicture.h"

#include "platform/sim/SimRender.h"

#include <png.h>

namespace dorvex::platform::sim {
namespace {

// libpng's simplified reader keeps its state in the image until it is finished or freed.
class PngReading {
public:
    explicit PngReading(const std::filesystem::path& file) {
        image_.version = PNG_IMAGE_VERSION;
        begun_ = png_image_begin_read_from_file(&image_, file.c_str()) != 0;
    }
    ~PngReading() { png_image_free(&image_); }
    PngReading(const PngReading&) = delete;
    PngReading& operator=(const PngReading&) = delete;

    bool begun() const { return begun_; }
    png_image& image() { return image_; }
    std::string message() const { return image_.message[0] ? image_.message : "unknown error"; }

private:
    png_image image_{};
    bool begun_ = false;
};

std::string sizeText(size_t width, size_t height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

bool opaque(const std::vector<uint8_t>& rgba) {
    uint8_t all = 0xff;
    for (size_t alpha = 3; alpha < rgba.size(); alpha += 4)
        all &= rgba[alpha];
    return all == 0xff;
}

} // namespace

SimPictureRead readPicture(const std::filesystem::path& file) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
        return {nullptr, "no PNG file at \"" + file.string() + "\""};
    }
    PngReading reading(file);
    if (!reading.begun()) {
        return {nullptr,
                "\"" + file.string() + "\" is not a readable PNG file (" + reading.message() + ")"};
    }
    png_image& image = reading.image();
    if (!imageSizeAllowed(image.width, image.height)) {
        return {nullptr, "\"" + file.string() + "\" is " + sizeText(image.width, image.height) +
                             " pixels, beyond " + std::to_string(maxImageSide) + " per side or " +
                             std::to_string(maxImagePixels) + " pixels"};
    }
    image.format = PNG_FORMAT_RGBA;
    auto picture = std::make_shared<SimPicture>();
    picture->image = {image.width, image.height, std::vector<uint8_t>(PNG_IMAGE_SIZE(image))};
    if (!png_image_finish_read(&image, nullptr, picture->image.pixels.data(), 0, nullptr)) {
        return {nullptr,
                "\"" + file.string() + "\" is not a readable PNG file (" + reading.message() + ")"};
    }
    picture->opaque = opaque(picture->image.pixels);
    return {std::move(picture), ""};
}

} // namespace dorvex::platform::sim
