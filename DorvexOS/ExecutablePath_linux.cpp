// The running executable on Linux: the link /proc/self/exe.
#include "DorvexOS/ExecutablePath.h"

#include <unistd.h>
#include <vector>

namespace dorvex {

std::optional<std::string> ownExecutablePath() {
    // The link's length is not known in advance; a read that fills the buffer may be cut.
    for (size_t capacity = 256; capacity <= 65536; capacity *= 4) {
        std::vector<char> buffer(capacity);
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length <= 0) return std::nullopt;
        if (static_cast<size_t>(length) < buffer.size()) {
            return std::string(buffer.data(), static_cast<size_t>(length));
        }
    }
    return std::nullopt;
}

} // namespace dorvex
