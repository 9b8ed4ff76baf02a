#include "Dorvex/RequestLoop.h"

#include "Dorvex/Methods.h"
#include "DorvexCore/DriverProtocol.h"
#include "DorvexCore/Text.h"

#include <cerrno>
#include <string>
#include <unistd.h>

namespace dorvex {
namespace {

// Splits a descriptor's bytes into lines without their line feeds; the last line may lack one.
// Consumed lines are dropped from the buffer only before the next read, not one by one, so a
// chunk holding many short lines is not copied once per line.
class LineReader {
public:
    explicit LineReader(int fd) : fd_(fd) {}

    bool next(std::string& line) {
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

private:
    int fd_;
    std::string buffer_;
    size_t start_ = 0;   // where the first unconsumed line begins
    size_t scanned_ = 0; // bytes before this hold no line feed of an unconsumed line
};

void drainPendingEvents(platform::Workspace& workspace) {
    for (int pass = 0; pass < runLoopPassesPerRequest; ++pass) {
        if (!workspace.runMainRunLoopOnce()) break;
    }
}

} // namespace

void runRequestLoop(Driver& driver, int inputFd) {
    LineReader reader(inputFd);
    std::string line;
    while (reader.next(line)) {
        std::string trimmed = text::trimWhitespaceAndNewlines(line);
        if (trimmed.empty()) continue;
        std::optional<DriverRequest> request = DriverProtocol::parseRequestLine(trimmed);
        if (!request) continue;
        drainPendingEvents(driver.platform.workspace);
        handleRequest(driver, *request);
    }
}

} // namespace dorvex
