// The event poller on Linux: epoll over descriptors, process descriptors (pidfd) for exits,
// and an eventfd for wakes.
#include "DorvexOS/EventPoller.h"

#include <array>
#include <cerrno>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace dorvex {
namespace {

constexpr size_t eventsPerWait = 64;

int addWatch(int queue, int fd, uint64_t key) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = key;
    return ::epoll_ctl(queue, EPOLL_CTL_ADD, fd, &event) == 0 ? 0 : errno;
}

// Milliseconds until the deadline, rounded up so a wait never ends just before it.
int waitMs(std::optional<std::chrono::steady_clock::time_point> deadline) {
    if (!deadline) return -1;
    const auto left = *deadline - std::chrono::steady_clock::now();
    if (left <= left.zero()) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > 86'400'000 ? 86'400'000 : static_cast<int>(ms);
}

} // namespace

int EventPoller::open() {
    queue_.reset(::epoll_create1(EPOLL_CLOEXEC));
    if (!queue_) return errno;
    wakeFd_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wakeFd_) return errno;
    return addWatch(queue_.get(), wakeFd_.get(), wakeKey);
}

int EventPoller::watchReadable(int fd, uint64_t key) {
    return addWatch(queue_.get(), fd, key);
}

void EventPoller::unwatchReadable(int fd) {
    ::epoll_ctl(queue_.get(), EPOLL_CTL_DEL, fd, nullptr);
}

int EventPoller::watchExit(pid_t pid, uint64_t key, FileDescriptor& handle) {
#ifdef SYS_pidfd_open
    // A child that is not reaped keeps its pid, so the descriptor names the right process.
    handle.reset(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0))); // close-on-exec
    if (!handle) return errno;
    // Readable from the exit on, for good: the watch is ended once it has fired.
    const int error = addWatch(queue_.get(), handle.get(), key);
    if (error != 0) handle.reset();
    return error;
#else
    (void)pid;
    (void)key;
    (void)handle;
    return ENOSYS;
#endif
}

void EventPoller::unwatchExit(pid_t, FileDescriptor& handle) {
    if (!handle) return;
    ::epoll_ctl(queue_.get(), EPOLL_CTL_DEL, handle.get(), nullptr);
    handle.reset();
}

void EventPoller::wake() {
    const uint64_t one = 1;
    // A full counter already means a pending wake.
    while (::write(wakeFd_.get(), &one, sizeof one) < 0 && errno == EINTR) {
    }
}

bool EventPoller::wait(std::optional<std::chrono::steady_clock::time_point> deadline,
                       std::vector<uint64_t>& ready) {
    ready.clear();
    std::array<epoll_event, eventsPerWait> events;
    const int count = ::epoll_wait(queue_.get(), events.data(), static_cast<int>(events.size()),
                                   waitMs(deadline));
    if (count < 0) return errno == EINTR;
    for (int i = 0; i < count; ++i) {
        const uint64_t key = events[static_cast<size_t>(i)].data.u64;
        if (key != wakeKey) {
            ready.push_back(key);
            continue;
        }
        uint64_t wakes = 0;
        while (::read(wakeFd_.get(), &wakes, sizeof wakes) < 0 && errno == EINTR) {
        }
    }
    return true;
}

} // namespace dorvex
