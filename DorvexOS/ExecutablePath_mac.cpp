// The running executable on macOS: the loader's record of it, with links resolved.
#include "DorvexOS/ExecutablePath.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <mach-o/dyld.h>
#include <vector>

namespace dorvex {

std::optional<std::string> ownExecutablePath() {
    uint32_t size = 0;
    _NSGetExecutablePath(nullptr, &size);
    if (size == 0) return std::nullopt;
    std::vector<char> buffer(size + 1, '\0');
    if (_NSGetExecutablePath(buffer.data(), &size) != 0) return std::nullopt;
    char resolved[PATH_MAX];
    if (::realpath(buffer.data(), resolved) == nullptr) return std::string(buffer.data());
    return std::string(resolved);
}

} // namespace dorvex
