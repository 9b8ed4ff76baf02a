// Request lines through the whole driver, in process, over a simulated desktop: the line reader,
// the request parser and every method and action handler. Each input is a session, one request
// per line; a first line "#name" picks the example scenario "name" (the default desktop
// otherwise). Every input starts from a fresh desktop and driver, so a finding replays alone.
//
// Checked beyond the sanitizers: every accepted request gets exactly one answer, each answer is
// one JSON object on one line, and no reply is dropped unanswered.
//
// Nothing outside the process is touched: the script interpreter is a path that does not exist
// (a run fails to start; no program runs), script files go to a temporary directory emptied
// after each input, captures fail before their encoding (no file), the sim's delays are capped
// and the walks' visit budget is small, so that no input takes long.
#include "Dorvex/Driver.h"
#include "Dorvex/ProcessWide.h"
#include "Dorvex/RequestLoop.h"
#include "Dorvex/Transport.h"
#include "DorvexCore/DriverProtocol.h"
#include "DorvexCore/Text.h"
#include "platform/sim/SimDesktop.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>

namespace {

using dorvex::Json;
namespace fs = std::filesystem;
namespace sim = dorvex::platform::sim;

[[noreturn]] void fail(const std::string& why) {
    std::fprintf(stderr, "RequestDispatch_fuzz: %s\n", why.c_str());
    std::abort();
}

// Delays a scenario may ask for, capped so that an input never waits for real: long enough
// that the driver's own (shortened) time-outs still fire.
constexpr int64_t longestDelayMs = 20;

// Big enough for every acyclic example tree whole, small enough that a loop reaches it fast.
constexpr int64_t fuzzWalkVisits = 2'000;

void capDelays(Json& value) {
    if (value.is_object()) {
        for (auto& [key, member] : value.items()) {
            if ((key == "launchDelayMs" || key == "runningAppsDelayMs") &&
                member.is_number_integer() && member.get<int64_t>() > longestDelayMs) {
                member = longestDelayMs;
            }
            capDelays(member);
        }
    } else if (value.is_array()) {
        for (Json& member : value)
            capDelays(member);
    }
}

const fs::path scenarioDirectory = fs::path(DORVEX_SOURCE_DIR) / "examples" / "scenarios";

// The example scenarios by name, delays capped, read once: each input starts from a copy.
const std::map<std::string, sim::SimScenario>& scenarios() {
    static const std::map<std::string, sim::SimScenario> models = [] {
        std::map<std::string, sim::SimScenario> read;
        for (const fs::directory_entry& entry : fs::directory_iterator(scenarioDirectory)) {
            if (entry.path().extension() != ".json") continue;
            std::ifstream file(entry.path());
            std::stringstream text;
            text << file.rdbuf();
            Json scenario = Json::parse(text.str());
            capDelays(scenario);
            sim::SimScenarioLoad load =
                sim::loadScenario(scenario.dump(), scenarioDirectory.string());
            if (!load.scenario) fail(entry.path().string() + " is refused: " + load.error);
            read.emplace(entry.path().stem().string(), std::move(*load.scenario));
        }
        if (!read.count("default")) fail("no default scenario in " + scenarioDirectory.string());
        return read;
    }();
    return models;
}

// Counts the answers per id; anything malformed or dropped ends the run.
class CountingTransport final : public dorvex::Transport {
public:
    void writeLine(std::string_view line) override {
        if (line.empty() || line.back() != '\n' || line.find('\n') != line.size() - 1) {
            fail("an answer is not exactly one line");
        }
        Json answer = Json::parse(line, nullptr, false);
        if (!answer.is_object() || !answer.contains("id") || !answer["id"].is_string()) {
            fail("an answer is not a JSON object with a string id: " + std::string(line));
        }
        std::lock_guard guard(lock_);
        ++answers_[answer["id"].get<std::string>()];
    }
    void replyDropped(const std::string& id) override { fail("reply dropped for id " + id); }

    std::map<std::string, int> answers() const {
        std::lock_guard guard(lock_);
        return answers_;
    }

private:
    mutable std::mutex lock_;
    std::map<std::string, int> answers_;
};

// The ids of the lines the request loop accepts, as it reads them.
std::map<std::string, int> expectedAnswers(std::string_view session) {
    std::map<std::string, int> expected;
    while (!session.empty()) {
        size_t end = session.find('\n');
        std::string_view line = session.substr(0, end);
        session = end == std::string_view::npos ? std::string_view() : session.substr(end + 1);
        std::string trimmed = dorvex::text::trimWhitespaceAndNewlines(line);
        if (auto request = dorvex::DriverProtocol::parseRequestLine(trimmed))
            ++expected[request->id];
    }
    return expected;
}

// A descriptor holding the session, read from its start.
class SessionFile {
public:
    explicit SessionFile(std::string_view session) : fd_(::memfd_create("session", 0)) {
        if (fd_ < 0) fail("memfd_create failed");
        for (size_t written = 0; written < session.size();) {
            ssize_t wrote = ::write(fd_, session.data() + written, session.size() - written);
            if (wrote <= 0) fail("cannot write the session");
            written += static_cast<size_t>(wrote);
        }
        ::lseek(fd_, 0, SEEK_SET);
    }
    ~SessionFile() { ::close(fd_); }
    SessionFile(const SessionFile&) = delete;
    SessionFile& operator=(const SessionFile&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

// The script files' directory, made once; whatever an input leaves in it is removed after it.
class ScratchDirectory {
public:
    ScratchDirectory() {
        std::string pattern = (fs::temp_directory_path() / "dorvex-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) fail("mkdtemp failed");
        path_ = pattern;
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    const fs::path& path() const { return path_; }
    void empty() const {
        for (const fs::directory_entry& entry : fs::directory_iterator(path_))
            fs::remove_all(entry.path());
    }

private:
    fs::path path_;
};

const ScratchDirectory& scratch() {
    static const ScratchDirectory directory;
    return directory;
}

// "#name" on the first line picks a scenario; the rest of the input is the session.
std::pair<const sim::SimScenario*, std::string_view> scenarioAndSession(std::string_view input) {
    const auto& models = scenarios();
    if (input.starts_with('#')) {
        size_t end = input.find('\n');
        std::string name(input.substr(1, end == std::string_view::npos ? end : end - 1));
        auto found = models.find(name);
        if (found != models.end()) {
            return {&found->second, end == std::string_view::npos ? "" : input.substr(end + 1)};
        }
    }
    return {&models.at("default"), input};
}

void runSession(std::string_view input) {
    auto [scenario, session] = scenarioAndSession(input);
    sim::SimOptions options;
    options.scenario = *scenario;
    options.baseDirectory = scenarioDirectory.string();
    options.latencyUs = 0;
    sim::SimDesktop desktop(std::move(options));

    dorvex::ProcessSettings settings;
    settings.interpreterPath = (scratch().path() / "no-such-interpreter").string();
    settings.scriptDirectory = scratch().path();
    // A directory that cannot be made: a capture goes as far as its pixels and fails before
    // encoding, which would take most of the time of an input and leave files.
    settings.captureDirectory = "/dev/null/captures";
    settings.appInventoryTimeoutMs = 10;
    auto transport = std::make_shared<CountingTransport>();
    {
        dorvex::ProcessWide shared(transport, settings);
        dorvex::Driver driver{desktop.facets(), shared};
        // The click sequence's waits pass on a clock of their own instead of for real.
        auto uptime = std::make_shared<double>(1000.0);
        driver.uptime = [uptime] { return *uptime; };
        driver.sleep = [uptime](double seconds) { *uptime += seconds; };
        // Walks stop at a budget far below the driver's: a looping desktop reaches it on every
        // tree or search request, and at the full budget that took 14 s an input.
        driver.walkVisits = fuzzWalkVisits;

        SessionFile file(session);
        dorvex::runRequestLoop(driver, file.fd());
        shared.scripts->stopAll(std::chrono::seconds(20));
        // A running-app read parked on a hang fault waits for the scenario to change.
        if (scenario->faults.runningAppsHang) desktop.reload(*scenario);
        shared.appInventory.waitWhileRunning();
    }
    scratch().empty();
    if (transport->answers() != expectedAnswers(session)) {
        fail("the answers do not match the accepted requests one for one");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    runSession(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
