#pragma once

// Standard base64 (RFC 4648, with padding), for images carried inside JSON.
#include <cstdint>
#include <span>
#include <string>

namespace dorvex {

std::string base64Encode(std::span<const uint8_t> bytes);

} // namespace dorvex
