#pragma once

// The driver's OpenRPC document, embedded at build time: the tools' schemas come from it.
#include <string_view>

namespace dorvex::mcp {

std::string_view openRpcText();

} // namespace dorvex::mcp
