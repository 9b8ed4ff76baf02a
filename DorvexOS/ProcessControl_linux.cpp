// Process control on Linux: process state read from /proc, descriptors closed at spawn.
#include "DorvexOS/ProcessRunner.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

namespace dorvex {
namespace {

bool procIsMounted() {
    return ::access("/proc/self/stat", R_OK) == 0;
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

int closeOtherDescriptorsOnSpawn(posix_spawn_file_actions_t& actions, short&) {
    // Descriptors opened by other threads without close-on-exec would otherwise leak in.
    return posix_spawn_file_actions_addclosefrom_np(&actions, 3);
}

} // namespace dorvex
