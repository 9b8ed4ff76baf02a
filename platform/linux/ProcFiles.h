#pragma once

// What /proc tells about a process.
#include <cstdint>
#include <optional>
#include <string>

namespace dorvex::platform::linux_desktop::proc {

bool exists(int32_t pid);
std::optional<std::string> command(int32_t pid); // comm: the short executable name
std::optional<std::string> executable(int32_t pid);
std::optional<double> startTime(int32_t pid); // seconds since 1970

} // namespace dorvex::platform::linux_desktop::proc
