#pragma once

// The driver in-process over any platform facets: the real dispatcher, a fresh process-wide
// state per test (its own transport, app inventory, script registry and temporary directory),
// and answer lines kept in memory.
#include "Dorvex/Driver.h"
#include "Dorvex/Methods.h"
#include "Dorvex/Transport.h"
#include "support/TempDir.h"

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace dorvex::testing {

// Keeps every line written, parsed; counts replies dropped without an answer.
class BufferTransport : public Transport {
public:
    void writeLine(std::string_view line) override {
        std::lock_guard<std::mutex> guard(lock_);
        lines_.push_back(Json::parse(line));
        written_.notify_all();
    }
    void replyDropped(const std::string& id) override {
        {
            std::lock_guard<std::mutex> guard(lock_);
            ++droppedReplies_;
        }
        Transport::replyDropped(id);
    }

    std::vector<Json> lines() const {
        std::lock_guard<std::mutex> guard(lock_);
        return lines_;
    }
    int droppedReplies() const {
        std::lock_guard<std::mutex> guard(lock_);
        return droppedReplies_;
    }
    // The line answering `id`, waiting for it at most `timeout`; null when none came.
    Json lineFor(const std::string& id, std::chrono::milliseconds timeout) const {
        std::unique_lock<std::mutex> guard(lock_);
        Json found;
        written_.wait_for(guard, timeout, [&] {
            for (const Json& line : lines_) {
                if (line.value("id", "") == id) found = line;
            }
            return !found.is_null();
        });
        return found;
    }

private:
    mutable std::mutex lock_;
    mutable std::condition_variable written_;
    std::vector<Json> lines_;
    int droppedReplies_ = 0;
};

// Settings for a test: /bin/sh runs scripts, files go under the test's directory.
inline ProcessSettings testSettings(const TempDir& directory) {
    ProcessSettings settings;
    settings.interpreterPath = "/bin/sh";
    settings.scriptDirectory = directory.path();
    settings.captureDirectory = directory.path() / "nubo-desktop-captures";
    return settings;
}

class InProcessDriver {
public:
    // Changes the test settings before the driver starts; `directory` is the test's own.
    using SettingsChange =
        std::function<void(ProcessSettings& settings, const std::filesystem::path& directory)>;

    explicit InProcessDriver(platform::Platform platform,
                             std::optional<ProcessSettings> settings = std::nullopt)
        : transport_(std::make_shared<BufferTransport>()),
          shared_(transport_, settings ? std::move(*settings) : testSettings(directory_)),
          driver_{platform, shared_} {}
    InProcessDriver(platform::Platform platform, const SettingsChange& change)
        : transport_(std::make_shared<BufferTransport>()),
          shared_(transport_, changed(testSettings(directory_), change)), driver_{platform,
                                                                                  shared_} {}
    ~InProcessDriver() {
        shared_.scripts->stopAll(std::chrono::seconds(20));
        shared_.appInventory.waitWhileRunning();
        EXPECT_EQ(transport_->droppedReplies(), 0) << "a request was left without an answer";
    }
    InProcessDriver(const InProcessDriver&) = delete;
    InProcessDriver& operator=(const InProcessDriver&) = delete;

    Driver& driver() { return driver_; }
    ProcessWide& shared() { return shared_; }
    BufferTransport& transport() { return *transport_; }
    const TempDir& directory() const { return directory_; }

    // Sends one request through the dispatcher and returns its whole answer line (null when a
    // deferred answer did not come within the timeout).
    Json request(const std::string& method, Json params = Json::object(),
                 std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        const std::string id = "in-process-" + std::to_string(nextId_++);
        handleRequest(driver_, DriverRequest{id, method, std::move(params)});
        return transport_->lineFor(id, timeout);
    }
    // "automation.execute" of one action; the answer's "result" (null when none came).
    Json execute(Json action) {
        Json line = request("automation.execute", Json{{"action", std::move(action)}});
        return line.is_null() ? Json() : line.value("result", Json());
    }

private:
    ProcessSettings changed(ProcessSettings settings, const SettingsChange& change) const {
        change(settings, directory_.path());
        return settings;
    }

    TempDir directory_;
    std::shared_ptr<BufferTransport> transport_;
    ProcessWide shared_;
    Driver driver_;
    int nextId_ = 1;
};

} // namespace dorvex::testing
