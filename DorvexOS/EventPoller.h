#pragma once

// One wait for many sources: descriptors becoming readable (or reaching end of file), child
// processes exiting, and a wake from any other thread. epoll with process descriptors on Linux
// (EventPoller_linux.cpp), kqueue on macOS (EventPoller_mac.cpp); the build picks the file.
#include "DorvexOS/FileDescriptor.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <sys/types.h>
#include <vector>

namespace dorvex {

class EventPoller {
public:
    // The key a wake is reported under; sources take any other.
    static constexpr uint64_t wakeKey = 0;

    EventPoller() = default;
    EventPoller(const EventPoller&) = delete;
    EventPoller& operator=(const EventPoller&) = delete;

    // Makes the kernel queue; 0 or the error number (descriptors or memory ran out).
    int open();

    // Reports `key` while `fd` has bytes or has reached end of file. 0 or the error number.
    int watchReadable(int fd, uint64_t key);
    // Before `fd` is closed.
    void unwatchReadable(int fd);

    // Reports `key` once when the child `pid` (not yet reaped) exits; `handle` keeps what the
    // watch needs (a process descriptor on Linux). 0, or the error number when the exit cannot
    // be watched (the caller then looks for it by polling).
    int watchExit(pid_t pid, uint64_t key, FileDescriptor& handle);
    // Ends an exit watch that has not fired, or the handle of one that has.
    void unwatchExit(pid_t pid, FileDescriptor& handle);

    // Any thread: makes the current or next wait return.
    void wake();

    // Waits for sources until the deadline (none: for as long as it takes) and puts the keys
    // of those ready in `ready` (a wake is consumed, not reported). False when the wait itself
    // failed.
    bool wait(std::optional<std::chrono::steady_clock::time_point> deadline,
              std::vector<uint64_t>& ready);

private:
    FileDescriptor queue_;
    FileDescriptor wakeFd_; // Linux: the eventfd that wakes the wait
};

} // namespace dorvex
