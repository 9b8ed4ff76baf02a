#pragma once

// A read of the operating system that may take far longer than usual, or never return, run on
// a worker thread and waited for at most a time-out. While one read is out no second one is
// started: callers are told the earlier read is busy, or, after too many turns or too long, that
// it looks stuck. What to do with a stuck read is the caller's decision.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <semaphore>
#include <system_error>
#include <thread>
#include <utility>

namespace dorvex {

template <typename Value> struct BoundedReadOutcome {
    enum class Kind { finished, timedOut, busy, stuck };

    Kind kind = Kind::timedOut;
    std::optional<Value> value; // present only when finished

    static BoundedReadOutcome finished(Value value) { return {Kind::finished, std::move(value)}; }
    static BoundedReadOutcome timedOut() { return {Kind::timedOut, std::nullopt}; }
    static BoundedReadOutcome busy() { return {Kind::busy, std::nullopt}; }
    static BoundedReadOutcome stuck() { return {Kind::stuck, std::nullopt}; }
    friend bool operator==(const BoundedReadOutcome&, const BoundedReadOutcome&) = default;
};

template <typename Value> class BoundedRead {
public:
    using Instant = std::chrono::steady_clock::time_point;
    using Clock = std::function<Instant()>;

    BoundedRead(
        int64_t maxBusyAnswers, double stuckAfterSeconds,
        Clock now = [] { return std::chrono::steady_clock::now(); })
        : state_(std::make_shared<State>(maxBusyAnswers, stuckAfterSeconds, std::move(now))) {}

    BoundedRead(const BoundedRead&) = delete;
    BoundedRead& operator=(const BoundedRead&) = delete;

    bool isRunning() const {
        std::lock_guard<std::mutex> guard(state_->lock);
        return state_->running;
    }

    // Starts the read when none is out and waits for it at most timeoutMs (negative counts as
    // 0); otherwise answers busy or stuck at once without touching the read that is out.
    // The read must be safe to run on another thread; it may outlive this call and this object.
    BoundedReadOutcome<Value> run(int64_t timeoutMs, std::function<Value()> read) {
        if (std::optional<BoundedReadOutcome<Value>> turnedAway = claim()) return *turnedAway;
        auto box = std::make_shared<ReadBox>();
        auto done = std::make_shared<std::binary_semaphore>(0);
        try {
            std::thread(work, state_, box, done, std::move(read)).detach();
        } catch (const std::system_error&) {
            // No thread could be started: nothing is out, so the next caller may try again.
            finish(*state_);
            return BoundedReadOutcome<Value>::timedOut();
        }
        // Past about thirty years the deadline would overflow the clock; nobody waits that long.
        constexpr int64_t longestWaitMs = 1'000'000'000'000;
        const bool signalled = timeoutMs <= 0 ? done->try_acquire()
                                              : done->try_acquire_for(std::chrono::milliseconds(
                                                    std::min(timeoutMs, longestWaitMs)));
        if (!signalled) return BoundedReadOutcome<Value>::timedOut();
        std::optional<Value> value = box->take();
        if (!value) return BoundedReadOutcome<Value>::timedOut();
        return BoundedReadOutcome<Value>::finished(std::move(*value));
    }

    // Returns once no read is out.
    void waitWhileRunning() const {
        std::unique_lock<std::mutex> guard(state_->lock);
        state_->condition.wait(guard, [this] { return !state_->running; });
    }

    // Like waitWhileRunning, but gives up after limit; true when no read is out.
    bool waitWhileRunningFor(std::chrono::milliseconds limit) const {
        std::unique_lock<std::mutex> guard(state_->lock);
        return state_->condition.wait_for(guard, limit, [this] { return !state_->running; });
    }

private:
    // Shared with the worker threads, so a read that outlives its caller (or this object)
    // still has somewhere to report to.
    struct State {
        State(int64_t maxBusy, double stuckAfter, Clock clock)
            : maxBusyAnswers(maxBusy), stuckAfterSeconds(stuckAfter), now(std::move(clock)) {}

        std::mutex lock; // guards running, startedAt and busyAnswers; now() runs under it
        std::condition_variable condition;
        bool running = false;
        std::optional<Instant> startedAt;
        int64_t busyAnswers = 0;
        const int64_t maxBusyAnswers;
        const double stuckAfterSeconds;
        const Clock now;
    };

    // Where the worker leaves its value; its lock is never held together with State's.
    class ReadBox {
    public:
        void set(Value value) {
            std::lock_guard<std::mutex> guard(lock_);
            value_ = std::move(value);
        }
        std::optional<Value> take() {
            std::lock_guard<std::mutex> guard(lock_);
            return std::exchange(value_, std::nullopt);
        }

    private:
        std::mutex lock_;
        std::optional<Value> value_;
    };

    // Marks a read as out, or says why the caller is turned away.
    std::optional<BoundedReadOutcome<Value>> claim() {
        State& state = *state_;
        std::lock_guard<std::mutex> guard(state.lock);
        if (!state.running) {
            state.running = true;
            state.startedAt = state.now();
            state.busyAnswers = 0;
            return std::nullopt;
        }
        ++state.busyAnswers;
        const double age =
            state.startedAt ? std::chrono::duration<double>(state.now() - *state.startedAt).count()
                            : 0.0;
        if (state.busyAnswers > state.maxBusyAnswers || age >= state.stuckAfterSeconds) {
            return BoundedReadOutcome<Value>::stuck();
        }
        return BoundedReadOutcome<Value>::busy();
    }

    static void finish(State& state) {
        std::lock_guard<std::mutex> guard(state.lock);
        state.running = false;
        state.startedAt.reset();
        state.condition.notify_all();
    }

    static void work(std::shared_ptr<State> state, std::shared_ptr<ReadBox> box,
                     std::shared_ptr<std::binary_semaphore> done, std::function<Value()> read) {
        // A read that throws leaves the box empty, which its caller sees as a time-out,
        // instead of ending the whole process from a detached thread.
        try {
            box->set(read());
        } catch (...) {
        }
        finish(*state);
        done->release();
    }

    std::shared_ptr<State> state_;
};

} // namespace dorvex
