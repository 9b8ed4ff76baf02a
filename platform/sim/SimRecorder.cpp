#include "platform/sim/SimRecorder.h"

#include <string_view>

namespace dorvex::platform::sim {
namespace {

std::string dumpLine(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

} // namespace

Json labelFields(const SimElementLabel& label) {
    return Json{{"pid", label.pid},
                {"role", label.role},
                {"title", label.title},
                {"identifier", label.identifier}};
}

SimRecorder::SimRecorder(const std::optional<std::string>& eventLogPath) {
    if (eventLogPath) {
        // Append mode (O_APPEND) and an unbuffered stream, so each line leaves in one write and
        // lands whole at the end, even when a test and a child driver share the file; "e" keeps
        // the file from children.
        log_.reset(std::fopen(eventLogPath->c_str(), "ae"));
        if (log_) std::setvbuf(log_.get(), nullptr, _IONBF, 0);
    }
}

void SimRecorder::countCall(const char* name, bool local) {
    std::lock_guard lock(mutex_);
    ++(local ? localCalls_ : roundTrips_);
    // Looked up by view first: counting a call makes no string once its name is known.
    auto found = calls_.find(std::string_view(name));
    if (found == calls_.end()) found = calls_.emplace(name, 0).first;
    ++found->second;
}

void SimRecorder::countValueRead(const SimElementLabel& element) {
    std::lock_guard lock(mutex_);
    ++valueReads_[element];
}

void SimRecorder::recordEvent(Json event) {
    std::lock_guard lock(mutex_);
    if (log_) {
        const std::string line = dumpLine(event);
        std::fwrite(line.data(), 1, line.size(), log_.get());
    }
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
    return Json{{"roundTrips", roundTrips_},
                {"localCalls", localCalls_},
                {"calls", std::move(calls)},
                {"valueReads", std::move(reads)}};
}

std::vector<Json> SimRecorder::events() const {
    std::lock_guard lock(mutex_);
    return {events_.begin(), events_.end()};
}

bool SimRecorder::writeStats(const std::string& path) const {
    const std::string text = dumpLine(stats());
    File file(std::fopen(path.c_str(), "we"));
    if (!file) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
    return std::fclose(file.release()) == 0 && written;
}

} // namespace dorvex::platform::sim
