#include "DorvexOS/BoundedRead.h"

#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <latch>
#include <stdexcept>
#include <string>

namespace dorvex {
namespace {

using Outcome = BoundedReadOutcome<std::string>;
using Kind = Outcome::Kind;
using namespace std::chrono_literals;

// A read that blocks until the test opens the gate, counting how often it was started.
struct GatedRead {
    std::shared_ptr<std::latch> gate = std::make_shared<std::latch>(1);
    std::shared_ptr<std::atomic<int>> starts = std::make_shared<std::atomic<int>>(0);

    std::function<std::string()> returning(std::string value) const {
        return [gate = gate, starts = starts, value] {
            ++*starts;
            gate->wait();
            return value;
        };
    }
    void open() const { gate->count_down(); }
};

// An injected clock the test moves by hand.
struct ManualClock {
    std::shared_ptr<std::atomic<int64_t>> micros = std::make_shared<std::atomic<int64_t>>(0);
    BoundedRead<std::string>::Clock clock() const {
        return [micros = micros] {
            return BoundedRead<std::string>::Instant{} + std::chrono::microseconds(micros->load());
        };
    }
    void set(double seconds) const { *micros = static_cast<int64_t>(seconds * 1e6); }
};

TEST(BoundedRead, FinishedReadsStartAfreshEachTime) {
    BoundedRead<std::string> read(3, 60);
    int calls = 0;
    auto counted = [&calls] { return "read " + std::to_string(++calls); };
    EXPECT_EQ(read.run(10'000, counted), Outcome::finished("read 1"));
    EXPECT_FALSE(read.isRunning());
    EXPECT_EQ(read.run(10'000, counted), Outcome::finished("read 2"));
}

TEST(BoundedRead, OverrunGivesTimedOutThenThreeBusyThenStuck) {
    BoundedRead<std::string> read(3, 60);
    GatedRead gated;
    EXPECT_EQ(read.run(0, gated.returning("late")).kind, Kind::timedOut);
    EXPECT_TRUE(read.isRunning());
    const Kind expected[] = {Kind::busy, Kind::busy, Kind::busy, Kind::stuck, Kind::stuck};
    for (Kind kind : expected) {
        EXPECT_EQ(read.run(10'000, gated.returning("never started")).kind, kind);
    }
    gated.open();
    read.waitWhileRunning();
    EXPECT_EQ(*gated.starts, 1) << "turned-away callers start no second read";

    // The late value is dropped; the next caller gets a fresh read and a fresh busy count.
    EXPECT_EQ(read.run(10'000, [] { return std::string("fresh"); }), Outcome::finished("fresh"));
    GatedRead second;
    EXPECT_EQ(read.run(-5, second.returning("x")).kind, Kind::timedOut) << "negative means 0";
    EXPECT_EQ(read.run(0, second.returning("x")).kind, Kind::busy);
    second.open();
    read.waitWhileRunning();
}

TEST(BoundedRead, AnOldReadIsStuckEvenForTheFirstCallerTurnedAway) {
    struct Case {
        double ageSeconds;
        Kind expected;
    } cases[] = {{0, Kind::busy}, {59.999, Kind::busy}, {60.0, Kind::stuck}, {3600, Kind::stuck}};
    for (const Case& c : cases) {
        ManualClock clock;
        BoundedRead<std::string> read(3, 60, clock.clock());
        GatedRead gated;
        EXPECT_EQ(read.run(0, gated.returning("x")).kind, Kind::timedOut);
        clock.set(c.ageSeconds);
        EXPECT_EQ(read.run(0, gated.returning("x")).kind, c.expected) << c.ageSeconds;
        gated.open();
        read.waitWhileRunning();
    }
}

TEST(BoundedRead, BoundedWaitReportsWhetherTheReadEnded) {
    BoundedRead<std::string> read(3, 60);
    EXPECT_TRUE(read.waitWhileRunningFor(0ms)) << "nothing out";
    GatedRead gated;
    read.run(0, gated.returning("x"));
    EXPECT_FALSE(read.waitWhileRunningFor(1ms));
    gated.open();
    EXPECT_TRUE(read.waitWhileRunningFor(60s));
    EXPECT_FALSE(read.isRunning());
}

TEST(BoundedRead, AThrowingReadIsATimeOutAndFreesTheRead) {
    BoundedRead<std::string> read(3, 60);
    EXPECT_EQ(read.run(10'000, []() -> std::string { throw std::runtime_error("boom"); }).kind,
              Kind::timedOut);
    EXPECT_FALSE(read.isRunning());
    EXPECT_EQ(read.run(10'000, [] { return std::string("ok"); }), Outcome::finished("ok"));
}

TEST(BoundedRead, AReadMayOutliveItsBoundedRead) {
    GatedRead gated;
    std::promise<void> released;
    // Set when the worker drops its copy of the read, that is after it reported back.
    auto notifier = std::shared_ptr<void>(nullptr, [&released](void*) { released.set_value(); });
    {
        BoundedRead<std::string> read(3, 60);
        auto inner = gated.returning("x");
        read.run(0, [inner, notifier] { return inner(); });
        notifier.reset();
    }
    gated.open();
    EXPECT_EQ(released.get_future().wait_for(60s), std::future_status::ready);
}

} // namespace
} // namespace dorvex
