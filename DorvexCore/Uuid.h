#pragma once

// Random identifiers for capture file names and subscription ids.
#include <array>
#include <cstdint>
#include <string>

namespace dorvex::uuid {

// A random (version 4) UUID in its standard upper-case text form, 36 characters
// ("XXXXXXXX-XXXX-4XXX-YXXX-XXXXXXXXXXXX"), drawn from std::random_device.
std::string newUpper();

// The text form of 16 bytes with the version-4 and variant bits set.
std::string upperFromBytes(std::array<uint8_t, 16> bytes);

} // namespace dorvex::uuid
