#include "platform/sim/SimRecorder.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace dorvex::platform::sim {
namespace {

std::string dumpLine(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

} // namespace

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
}

int FileDescriptor::release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
}

bool writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += static_cast<size_t>(wrote);
    }
    return true;
}

SimRecorder::SimRecorder(const std::optional<std::string>& eventLogPath) {
    if (eventLogPath) {
        // O_APPEND makes each line's single write land whole at the end, even when a test and
        // a child driver share the file.
        log_ = FileDescriptor(
            ::open(eventLogPath->c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    }
}

void SimRecorder::countCall(const char* name) {
    std::lock_guard lock(mutex_);
    ++roundTrips_;
    ++calls_[name];
}

void SimRecorder::countValueRead(const SimElementLabel& element) {
    std::lock_guard lock(mutex_);
    ++valueReads_[element];
}

void SimRecorder::recordEvent(Json event) {
    std::lock_guard lock(mutex_);
    if (log_) writeAll(log_.get(), dumpLine(event));
    events_.push_back(std::move(event));
    if (events_.size() > maxEventsInMemory) events_.pop_front();
}

Json SimRecorder::stats() const {
    std::lock_guard lock(mutex_);
    Json calls = Json::object();
    for (const auto& [name, count] : calls_)
        calls[name] = count;
    Json reads = Json::array();
    for (const auto& [element, count] : valueReads_) {
        Json row{{"pid", element.pid}};
        if (!element.id.empty()) row["id"] = element.id;
        row["role"] = element.role;
        row["subrole"] = element.subrole;
        row["identifier"] = element.identifier;
        row["title"] = element.title;
        row["count"] = count;
        reads.push_back(std::move(row));
    }
    return Json{
        {"roundTrips", roundTrips_}, {"calls", std::move(calls)}, {"valueReads", std::move(reads)}};
}

std::vector<Json> SimRecorder::events() const {
    std::lock_guard lock(mutex_);
    return {events_.begin(), events_.end()};
}

bool SimRecorder::writeStats(const std::string& path) const {
    std::string text = dumpLine(stats());
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    return file && writeAll(file.get(), text);
}

} // namespace dorvex::platform::sim
