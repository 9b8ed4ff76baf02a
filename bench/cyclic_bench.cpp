// The real driver over pipes on examples/scenarios/cyclic.json, trees that loop and fan out:
// wall time and answer size of each walk, whether the next request is served, and the driver's
// resident memory (VmRSS, and its peak VmHWM) at idle, after each walk and at the end, and the
// driver's CPU time per walk (10 ms resolution). Linux only (it reads /proc).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Child {
    pid_t pid = -1;
    int input = -1;
    int output = -1;
    std::string buffered;
};

Child spawn(const char* path) {
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) std::exit(1);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    Child child;
    char* argv[] = {const_cast<char*>(path), nullptr};
    if (::posix_spawn(&child.pid, path, &actions, nullptr, argv, environ) != 0) std::exit(1);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    child.input = in[1];
    child.output = out[0];
    return child;
}

std::string readLine(Child& child) {
    for (;;) {
        if (size_t end = child.buffered.find('\n'); end != std::string::npos) {
            std::string line = child.buffered.substr(0, end);
            child.buffered.erase(0, end + 1);
            return line;
        }
        char chunk[1 << 16];
        ssize_t got = ::read(child.output, chunk, sizeof chunk);
        if (got <= 0) {
            std::fprintf(stderr, "the driver ended\n");
            std::exit(1);
        }
        child.buffered.append(chunk, static_cast<size_t>(got));
    }
}

// "VmRSS" or "VmHWM" of the process, in MB.
double memoryMb(pid_t pid, const std::string& key) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(key + ":", 0) == 0) return std::stod(line.substr(key.size() + 1)) / 1024.0;
    }
    return -1;
}

// CPU time the process has used (user and system), in ms.
double cpuMs(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Fields after the command name (which may hold spaces): state is field 3, utime 14.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i >= 14) ticks += std::stod(field);
    }
    return ticks * 1000.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

struct Walk {
    const char* name;
    std::string params;
};

std::string request(int id, const std::string& action) {
    return R"({"jsonrpc":"2.0","id":")" + std::to_string(id) +
           R"(","method":"automation.execute","params":{"action":)" + action + "}}\n";
}

} // namespace

int main() {
    ::signal(SIGPIPE, SIG_IGN);
    const std::string scenario = std::string(DORVEX_SOURCE_DIR) + "/examples/scenarios/cyclic.json";
    ::setenv("DORVEX_SIM_SCENARIO", scenario.c_str(), 1);
    Child child = spawn(DORVEX_BINARY);
    const std::string ping = R"({"jsonrpc":"2.0","id":"p","method":"system.ping"})"
                             "\n";
    auto send = [&](const std::string& line) {
        if (::write(child.input, line.data(), line.size()) < 0) std::exit(1);
    };
    send(ping);
    readLine(child);
    std::printf("idle: VmRSS %.1f MB\n", memoryMb(child.pid, "VmRSS"));

    const std::vector<Walk> walks = {
        {"tree, window listing itself, maxDepth 20",
         R"({"actionType":"desktop_get_ui_tree","windowId":6001,"maxDepth":20})"},
        {"tree, fan-out, default maxDepth",
         R"({"actionType":"desktop_get_ui_tree","windowId":6002})"},
        {"tree, fan-out, maxDepth 20",
         R"({"actionType":"desktop_get_ui_tree","windowId":6002,"maxDepth":20})"},
        {"search, fan-out, no match",
         R"({"actionType":"desktop_find_elements","windowId":6002,"title":"none"})"},
        {"search, whole app, no filter",
         R"({"actionType":"desktop_find_elements","appBundleId":"com.example.Loops","limit":100})"},
    };
    int id = 0;
    for (const Walk& walk : walks) {
        const auto start = Clock::now();
        const double cpuStart = cpuMs(child.pid);
        send(request(++id, walk.params));
        const std::string answer = readLine(child);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        const double cpu = cpuMs(child.pid) - cpuStart;
        const auto pingStart = Clock::now();
        send(ping);
        const bool served = readLine(child).find("\"ok\":true") != std::string::npos;
        const double pingMs =
            std::chrono::duration<double, std::milli>(Clock::now() - pingStart).count();
        std::printf("%-42s wall %7.1f ms  CPU %6.0f ms  %9zu bytes  truncated %-3s  next ping %s "
                    "in %.2f ms  VmRSS %.1f MB  VmHWM %.1f MB\n",
                    walk.name, ms, cpu, answer.size(),
                    answer.find("\"truncated\":true") != std::string::npos ? "yes" : "no",
                    served ? "served" : "NOT served", pingMs, memoryMb(child.pid, "VmRSS"),
                    memoryMb(child.pid, "VmHWM"));
    }
    std::printf("end: VmRSS %.1f MB\n", memoryMb(child.pid, "VmRSS"));
    ::close(child.input);
    int status = 0;
    ::waitpid(child.pid, &status, 0);
    return 0;
}
