#include "support/DriverProcess.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace dorvex::testing {
namespace {

using Clock = std::chrono::steady_clock;

void writeFile(const std::string& path, const std::string& text) {
    // Write beside, then rename, so the driver never reads half a scenario.
    const std::string temporary = path + ".tmp";
    std::ofstream(temporary, std::ios::binary | std::ios::trunc) << text;
    std::filesystem::rename(temporary, path);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> environmentFor(const std::string& directory, const DriverOptions& options,
                                        bool withScenario) {
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string_view line(*entry);
        if (line.starts_with("DORVEX_SIM_") || line.starts_with("TMPDIR=")) continue;
        env.emplace_back(line);
    }
    if (withScenario) env.push_back("DORVEX_SIM_SCENARIO=" + directory + "/scenario.json");
    env.push_back("DORVEX_SIM_EVENT_LOG=" + directory + "/events.jsonl");
    env.push_back("DORVEX_SIM_STATS=" + directory + "/stats.json");
    const bool ownTmpdir = std::any_of(options.env.begin(), options.env.end(),
                                       [](const auto& entry) { return entry.first == "TMPDIR"; });
    if (!ownTmpdir) env.push_back("TMPDIR=" + directory + "/tmp");
    for (const auto& [name, value] : options.env)
        env.push_back(name + "=" + value);
    return env;
}

} // namespace

DriverProcess::DriverProcess(DriverOptions options)
    : DriverProcess(DORVEX_BINARY, std::move(options)) {}

DriverProcess::DriverProcess(std::string executable, DriverOptions options) {
    std::filesystem::create_directory(directory_ + "/tmp");
    if (!options.scenario.empty()) writeFile(scenarioPath(), options.scenario);

    int toChild[2];
    int fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const std::string stderrPath = directory_ + "/stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);

    std::vector<std::string> args{std::move(executable)};
    args.insert(args.end(), options.args.begin(), options.args.end());
    std::vector<std::string> env = environmentFor(directory_, options, !options.scenario.empty());
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    int error =
        ::posix_spawn(&pid_, args.front().c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    input_ = toChild[1];
    output_ = fromChild[0];
    if (error != 0) throw std::runtime_error("spawn of " + args.front() + " failed");
}

DriverProcess::~DriverProcess() {
    closeInput();
    if (!waitExit(std::chrono::seconds(10))) {
        kill(SIGKILL);
        waitExit(std::chrono::seconds(5));
    }
    if (output_ >= 0) ::close(output_);
}

void DriverProcess::send(const std::string& line) {
    sendRaw(line + "\n");
}

void DriverProcess::sendRaw(const std::string& bytes) {
    const char* data = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t written = ::write(input_, data, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error("write to the driver failed");
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
}

std::optional<std::string> DriverProcess::readRawLine(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (size_t newline = buffered_.find('\n'); newline != std::string::npos) {
            std::string line = buffered_.substr(0, newline);
            buffered_.erase(0, newline + 1);
            return line;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return std::nullopt;
        pollfd fd{output_, POLLIN, 0};
        int ready = ::poll(&fd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return std::nullopt;
        char chunk[65536];
        ssize_t got = ::read(output_, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return std::nullopt; // the driver closed its output
        buffered_.append(chunk, static_cast<size_t>(got));
    }
}

std::optional<Json> DriverProcess::readLine(std::chrono::milliseconds timeout) {
    std::optional<std::string> line = readRawLine(timeout);
    if (!line) return std::nullopt;
    Json parsed = Json::parse(*line, nullptr, false);
    if (parsed.is_discarded()) return std::nullopt;
    return parsed;
}

Json DriverProcess::request(const std::string& method, Json params) {
    const std::string id = "t" + std::to_string(nextId_++);
    send(Json{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", std::move(params)}}
             .dump());
    std::optional<Json> answer = readLine();
    return answer ? *answer : Json(nullptr);
}

Json DriverProcess::execute(Json action) {
    Json answer = request("automation.execute", Json{{"action", std::move(action)}});
    if (!answer.is_object() || !answer.contains("result")) return Json(nullptr);
    return answer["result"];
}

void DriverProcess::setScenario(const std::string& json) {
    writeFile(scenarioPath(), json);
}

void DriverProcess::closeInput() {
    if (input_ >= 0) {
        ::close(input_);
        input_ = -1;
    }
}

std::optional<int> DriverProcess::waitExit(std::chrono::milliseconds timeout) {
    if (status_) return status_;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        int raw = 0;
        pid_t done = ::waitpid(pid_, &raw, WNOHANG);
        if (done == pid_) {
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            return status_;
        }
        if (done < 0 && errno != EINTR) return std::nullopt;
        if (Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void DriverProcess::kill(int signal) {
    if (!status_) ::kill(pid_, signal);
}

std::vector<Json> DriverProcess::eventLog() const {
    std::vector<Json> lines;
    std::istringstream in(readFile(directory_ + "/events.jsonl"));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) lines.push_back(Json::parse(line, nullptr, false));
    }
    return lines;
}

Json DriverProcess::stats() const {
    return Json::parse(readFile(directory_ + "/stats.json"), nullptr, false);
}

std::string DriverProcess::standardError() const {
    return readFile(directory_ + "/stderr.txt");
}

std::string exampleScenario(const std::string& name) {
    return readFile(std::string(DORVEX_SOURCE_DIR) + "/examples/scenarios/" + name);
}

} // namespace dorvex::testing
