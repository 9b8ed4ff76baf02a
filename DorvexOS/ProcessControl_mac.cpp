// Process control on macOS: process state read with sysctl, descriptors closed at spawn.
#include "DorvexOS/ProcessRunner.h"

#include <sys/proc.h>
#include <sys/sysctl.h>
#include <unistd.h>

namespace dorvex {

bool hasExited(pid_t pid) {
    int name[4] = {CTL_KERN, KERN_PROC, KERN_PROC_PID, static_cast<int>(pid)};
    struct kinfo_proc info {};
    size_t size = sizeof info;
    if (::sysctl(name, 4, &info, &size, nullptr, 0) != 0) return false;
    if (size == 0) return true; // no such process
    return info.kp_proc.p_stat == SZOMB;
}

int closeOtherDescriptorsOnSpawn(posix_spawn_file_actions_t&, short& flags) {
    flags |= POSIX_SPAWN_CLOEXEC_DEFAULT;
    return 0;
}

} // namespace dorvex
