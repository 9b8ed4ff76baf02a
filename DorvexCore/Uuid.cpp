#include "DorvexCore/Uuid.h"

#include <random>

namespace dorvex::uuid {

std::string upperFromBytes(std::array<uint8_t, 16> bytes) {
    bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0f) | 0x40); // version 4
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3f) | 0x80); // RFC 4122 variant
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0f];
    }
    return text;
}

std::string newUpper() {
    // One device per thread: opening it is the expensive part.
    thread_local std::random_device device;
    std::array<uint8_t, 16> bytes{};
    for (size_t i = 0; i < bytes.size(); i += 4) {
        const uint32_t word = device();
        for (size_t k = 0; k < 4; ++k)
            bytes[i + k] = static_cast<uint8_t>(word >> (8 * k));
    }
    return upperFromBytes(bytes);
}

} // namespace dorvex::uuid
