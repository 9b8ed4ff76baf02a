// Process control on macOS: exits seen through kqueue process events, process state read
// with sysctl.
#include "DorvexOS/ProcessRunner.h"

#include <cerrno>
#include <sys/event.h>
#include <sys/proc.h>
#include <sys/sysctl.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>

namespace dorvex {
namespace {

constexpr long observeSliceNs = 50'000'000;

} // namespace

bool hasExited(pid_t pid) {
    int name[4] = {CTL_KERN, KERN_PROC, KERN_PROC_PID, static_cast<int>(pid)};
    struct kinfo_proc info {};
    size_t size = sizeof info;
    if (::sysctl(name, 4, &info, &size, nullptr, 0) != 0) return false;
    if (size == 0) return true; // no such process
    return info.kp_proc.p_stat == SZOMB;
}

void SystemProcessControl::observeExit(pid_t pid) {
    int queue = ::kqueue();
    bool waiting = queue >= 0;
    if (waiting) {
        struct kevent change;
        EV_SET(&change, static_cast<uintptr_t>(pid), EVFILT_PROC, EV_ADD | EV_ONESHOT, NOTE_EXIT, 0,
               nullptr);
        waiting = ::kevent(queue, &change, 1, nullptr, 0, nullptr) == 0;
    }
    if (!hasExited(pid)) {
        for (;;) {
            if (waiting) {
                struct kevent event;
                const timespec slice{0, observeSliceNs};
                int got = ::kevent(queue, nullptr, 0, &event, 1, &slice);
                if (got > 0) break;
                if (got < 0 && errno != EINTR) waiting = false;
            } else {
                std::this_thread::sleep_for(std::chrono::nanoseconds(observeSliceNs));
            }
            if (hasExited(pid)) break;
        }
    }
    if (queue >= 0) ::close(queue);
}

int closeOtherDescriptorsOnSpawn(posix_spawn_file_actions_t&, short& flags) {
    flags |= POSIX_SPAWN_CLOEXEC_DEFAULT;
    return 0;
}

} // namespace dorvex
