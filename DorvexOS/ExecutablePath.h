#pragma once

// Where this process's own executable file is, so the driver can start a fresh copy of itself.
#include <optional>
#include <string>

namespace dorvex {

// The absolute path of the running executable; nothing when the system cannot say.
std::optional<std::string> ownExecutablePath();

} // namespace dorvex
