#include "DorvexOS/LineReader.h"

#include <cerrno>
#include <unistd.h>

namespace dorvex {

// Consumed lines are dropped from the buffer only before the next read, not one by one, so a
// chunk holding many short lines is not copied once per line.
bool LineReader::next(std::string& line) {
    for (;;) {
        size_t newline = buffer_.find('\n', scanned_);
        if (newline != std::string::npos) {
            line.assign(buffer_, start_, newline - start_);
            start_ = scanned_ = newline + 1;
            return true;
        }
        buffer_.erase(0, start_);
        start_ = 0;
        scanned_ = buffer_.size();
        char chunk[65536];
        ssize_t got = ::read(fd_, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (buffer_.empty()) return false;
            line.swap(buffer_);
            buffer_.clear();
            scanned_ = 0;
            return true;
        }
        buffer_.append(chunk, static_cast<size_t>(got));
    }
}

} // namespace dorvex
