// A child program for process tests. Each argument is one step, done in order:
//   out=TEXT     write TEXT and a line feed to standard output
//   err=TEXT     the same on standard error
//   bytes=HEX    write the bytes spelled in hex to standard output (for malformed text)
//   fill=N       write N bytes of 'x' to standard output (more than a pipe holds)
//   fill-utf8=N  write N copies of the two-byte character U+00E9 to standard output
//   flood        write 'y' lines to standard output until killed (a runaway script)
//   flood-err    the same on standard error
//   sleep=MS     sleep
//   ignore-term  ignore SIGTERM from now on
//   grandchild   fork a process that keeps standard output and error open for 30 s, then
//                write "grandchild=<pid>" on standard output
//   isolation    report what the child inherited (see below)
//   exit=N       exit with status N (the default is 0 after the last step)
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

std::string fromHex(const char* hex) {
    std::string bytes;
    for (size_t i = 0; hex[i] != '\0' && hex[i + 1] != '\0'; i += 2) {
        char pair[3] = {hex[i], hex[i + 1], '\0'};
        bytes.push_back(static_cast<char>(std::strtol(pair, nullptr, 16)));
    }
    return bytes;
}

void sleepMs(long ms) {
    ::usleep(static_cast<useconds_t>(ms) * 1000);
}

bool stdinIsDevNull() {
    struct stat in {};
    struct stat null {};
    return ::fstat(0, &in) == 0 && ::stat("/dev/null", &null) == 0 && in.st_rdev == null.st_rdev &&
           S_ISCHR(in.st_mode);
}

// One line: "stdin=devnull group-leader=yes fds=0,1,2 blocked= ignored=".
std::string isolationReport() {
    std::string fds;
    for (int fd = 0; fd < 1024; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1) fds += (fds.empty() ? "" : ",") + std::to_string(fd);
    }
    sigset_t mask;
    sigprocmask(SIG_SETMASK, nullptr, &mask);
    std::string blocked;
    std::string ignored;
    for (int sig = 1; sig < 32; ++sig) {
        if (sigismember(&mask, sig) == 1)
            blocked += (blocked.empty() ? "" : ",") + std::to_string(sig);
        struct sigaction action {};
        if (sigaction(sig, nullptr, &action) == 0 && action.sa_handler == SIG_IGN) {
            ignored += (ignored.empty() ? "" : ",") + std::to_string(sig);
        }
    }
    return std::string("stdin=") + (stdinIsDevNull() ? "devnull" : "other") +
           " group-leader=" + (::getpgrp() == ::getpid() ? "yes" : "no") + " fds=" + fds +
           " blocked=" + blocked + " ignored=" + ignored + "\n";
}

void startGrandchild() {
    pid_t pid = ::fork();
    if (pid == 0) {
        sleepMs(30000);
        ::_exit(0);
    }
    writeAll(1, "grandchild=" + std::to_string(pid) + "\n");
}

[[noreturn]] void flood(int fd) {
    std::string lines;
    for (int i = 0; i < 8192; ++i)
        lines += "y\n";
    for (;;) {
        if (::write(fd, lines.data(), lines.size()) < 0 && errno != EINTR) ::_exit(1);
    }
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string step = argv[i];
        std::string value =
            step.find('=') == std::string::npos ? "" : step.substr(step.find('=') + 1);
        if (step.rfind("out=", 0) == 0)
            writeAll(1, value + "\n");
        else if (step.rfind("err=", 0) == 0)
            writeAll(2, value + "\n");
        else if (step.rfind("bytes=", 0) == 0)
            writeAll(1, fromHex(value.c_str()));
        else if (step.rfind("fill=", 0) == 0)
            writeAll(1, std::string(std::stoul(value), 'x'));
        else if (step.rfind("fill-utf8=", 0) == 0) {
            std::string text;
            for (unsigned long n = std::stoul(value); n > 0; --n)
                text += "\xC3\xA9";
            writeAll(1, text);
        } else if (step == "flood" || step == "flood-err")
            flood(step == "flood" ? 1 : 2);
        else if (step.rfind("sleep=", 0) == 0)
            sleepMs(std::atol(value.c_str()));
        else if (step == "ignore-term")
            std::signal(SIGTERM, SIG_IGN);
        else if (step == "grandchild")
            startGrandchild();
        else if (step == "isolation")
            writeAll(1, isolationReport());
        else if (step.rfind("exit=", 0) == 0)
            return std::atoi(value.c_str());
        else
            return 100; // a step this program does not know
    }
    return 0;
}
