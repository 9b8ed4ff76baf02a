// "system.ping" through the real driver over pipes, beside a bare line-echo program over the
// same pipes: the ratio is what the driver's own loop costs per request.
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Child {
    pid_t pid = -1;
    int input = -1;
    int output = -1;
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

void finish(Child& child) {
    ::close(child.input);
    int status = 0;
    ::waitpid(child.pid, &status, 0);
    ::close(child.output);
}

// Reads until count line feeds have arrived.
void readLines(int fd, size_t count) {
    char chunk[65536];
    while (count > 0) {
        ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got <= 0) std::exit(1);
        for (ssize_t i = 0; i < got; ++i)
            count -= chunk[i] == '\n';
    }
}

const std::string pingLine = R"({"jsonrpc":"2.0","id":"1","method":"system.ping"})"
                             "\n";

// One request at a time: send, wait for the answer.
double lockstepMicros(const char* path, int rounds) {
    Child child = spawn(path);
    for (int i = 0; i < 100; ++i) { // warm up
        if (::write(child.input, pingLine.data(), pingLine.size()) < 0) std::exit(1);
        readLines(child.output, 1);
    }
    auto start = Clock::now();
    for (int i = 0; i < rounds; ++i) {
        if (::write(child.input, pingLine.data(), pingLine.size()) < 0) std::exit(1);
        readLines(child.output, 1);
    }
    double micros = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    finish(child);
    return micros / rounds;
}

// Many requests in flight: a writer thread streams them, the reader counts answers.
double streamedMicros(const char* path, int count) {
    Child child = spawn(path);
    std::string batch;
    for (int i = 0; i < 1000; ++i)
        batch += pingLine;
    auto start = Clock::now();
    std::thread writer([&] {
        for (int sent = 0; sent < count; sent += 1000) {
            if (::write(child.input, batch.data(), batch.size()) < 0) std::exit(1);
        }
    });
    readLines(child.output, static_cast<size_t>(count));
    writer.join();
    double micros = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    finish(child);
    return micros / count;
}

} // namespace

int main() {
    const std::string echo = std::string(DORVEX_BENCH_DIR) + "/line_echo";
    ::signal(SIGPIPE, SIG_IGN);
    const int rounds = 20000;
    const int streamed = 200000;
    double driverLockstep = lockstepMicros(DORVEX_BINARY, rounds);
    double echoLockstep = lockstepMicros(echo.c_str(), rounds);
    double driverStreamed = streamedMicros(DORVEX_BINARY, streamed);
    double echoStreamed = streamedMicros(echo.c_str(), streamed);
    std::printf("lockstep round trip: driver %.2f us, line echo %.2f us, ratio %.2f\n",
                driverLockstep, echoLockstep, driverLockstep / echoLockstep);
    std::printf("streamed per request: driver %.2f us, line echo %.2f us, ratio %.2f\n",
                driverStreamed, echoStreamed, driverStreamed / echoStreamed);
    return 0;
}
