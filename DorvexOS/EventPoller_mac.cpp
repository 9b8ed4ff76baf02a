// The event poller on macOS: one kqueue with EVFILT_READ for descriptors, EVFILT_PROC
// (NOTE_EXIT) for exits and EVFILT_USER for wakes.
#include "DorvexOS/EventPoller.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/event.h>
#include <sys/time.h>
#include <unistd.h>

namespace dorvex {
namespace {

constexpr size_t eventsPerWait = 64;
constexpr uintptr_t wakeIdent = 0;

int change(int queue, uintptr_t ident, int16_t filter, uint16_t flags, uint32_t notes,
           uint64_t key) {
    struct kevent event;
    EV_SET(&event, ident, filter, flags, notes, 0, reinterpret_cast<void*>(key));
    return ::kevent(queue, &event, 1, nullptr, 0, nullptr) == 0 ? 0 : errno;
}

} // namespace

int EventPoller::open() {
    queue_.reset(::kqueue());
    if (!queue_) return errno;
    ::fcntl(queue_.get(), F_SETFD, FD_CLOEXEC);
    return change(queue_.get(), wakeIdent, EVFILT_USER, EV_ADD | EV_CLEAR, 0, wakeKey);
}

int EventPoller::watchReadable(int fd, uint64_t key) {
    return change(queue_.get(), static_cast<uintptr_t>(fd), EVFILT_READ, EV_ADD, 0, key);
}

void EventPoller::unwatchReadable(int fd) {
    change(queue_.get(), static_cast<uintptr_t>(fd), EVFILT_READ, EV_DELETE, 0, 0);
}

int EventPoller::watchExit(pid_t pid, uint64_t key, FileDescriptor&) {
    // Fails with ESRCH for a child that has already exited: the caller's poll then sees it.
    return change(queue_.get(), static_cast<uintptr_t>(pid), EVFILT_PROC, EV_ADD | EV_ONESHOT,
                  NOTE_EXIT, key);
}

void EventPoller::unwatchExit(pid_t pid, FileDescriptor&) {
    // Fails harmlessly once the one-shot watch has fired.
    change(queue_.get(), static_cast<uintptr_t>(pid), EVFILT_PROC, EV_DELETE, 0, 0);
}

void EventPoller::wake() {
    change(queue_.get(), wakeIdent, EVFILT_USER, 0, NOTE_TRIGGER, wakeKey);
}

bool EventPoller::wait(std::optional<std::chrono::steady_clock::time_point> deadline,
                       std::vector<uint64_t>& ready) {
    ready.clear();
    timespec timeout{};
    if (deadline) {
        const auto left = std::chrono::ceil<std::chrono::microseconds>(
            *deadline - std::chrono::steady_clock::now());
        const int64_t us = left.count() < 0 ? 0 : left.count();
        timeout.tv_sec = static_cast<time_t>(us / 1'000'000);
        timeout.tv_nsec = static_cast<long>(us % 1'000'000) * 1000;
    }
    std::array<struct kevent, eventsPerWait> events;
    const int count = ::kevent(queue_.get(), nullptr, 0, events.data(),
                               static_cast<int>(events.size()), deadline ? &timeout : nullptr);
    if (count < 0) return errno == EINTR;
    for (int i = 0; i < count; ++i) {
        const struct kevent& event = events[static_cast<size_t>(i)];
        if (event.filter == EVFILT_USER) continue;
        ready.push_back(reinterpret_cast<uint64_t>(event.udata));
    }
    return true;
}

} // namespace dorvex
