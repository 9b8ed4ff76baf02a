// Process control on Linux: exits seen through a process file descriptor, process state read
// from /proc.
#include "DorvexOS/ProcessRunner.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <string_view>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace dorvex {
namespace {

constexpr int observeSliceMs = 50;

bool procIsMounted() {
    return ::access("/proc/self/stat", R_OK) == 0;
}

// A descriptor that becomes readable when the process exits, or -1 where the kernel has none.
int openProcessDescriptor(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); // always close-on-exec
#else
    (void)pid;
    return -1;
#endif
}

} // namespace

bool hasExited(pid_t pid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT && procIsMounted(); // no entry: no such process
    char buffer[512];
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    int readError = errno;
    ::close(fd);
    if (got == 0) return true;
    if (got < 0) return readError == ESRCH; // reaped between the open and the read
    // "pid (command) S ...": the command may hold spaces and parentheses, so the state is the
    // first field after the last ')'.
    std::string_view stat(buffer, static_cast<size_t>(got));
    size_t close = stat.rfind(')');
    if (close == std::string_view::npos || close + 2 >= stat.size()) return false;
    char state = stat[close + 2];
    return state == 'Z' || state == 'X';
}

void SystemProcessControl::observeExit(pid_t pid) {
    int processFd = openProcessDescriptor(pid);
    bool polling = processFd >= 0;
    if (!hasExited(pid)) {
        for (;;) {
            if (polling) {
                pollfd watched{processFd, POLLIN, 0};
                int ready = ::poll(&watched, 1, observeSliceMs);
                if (ready > 0) break;
                if (ready < 0 && errno != EINTR) polling = false;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(observeSliceMs));
            }
            if (hasExited(pid)) break;
        }
    }
    if (processFd >= 0) ::close(processFd);
}

int closeOtherDescriptorsOnSpawn(posix_spawn_file_actions_t& actions, short&) {
    // Descriptors opened by other threads without close-on-exec would otherwise leak in.
    return posix_spawn_file_actions_addclosefrom_np(&actions, 3);
}

} // namespace dorvex
