#include "DorvexCore/FreshPermissionProbe.h"

#include <gtest/gtest.h>

namespace dorvex {
namespace {

using namespace std::chrono_literals;
using Request = FreshProbeSchedule::Request;

const FreshProbeSchedule::TimePoint start{std::chrono::hours(24 * 365 * 50)};

TEST(FreshProbeSchedule, NamesTheTwoRequests) {
    EXPECT_EQ(FreshProbeSchedule::requestNamed("throttled"), Request::throttled);
    EXPECT_EQ(FreshProbeSchedule::requestNamed("now"), Request::now);
    for (auto other :
         {std::optional<std::string_view>("Now"), std::optional<std::string_view>("always"),
          std::optional<std::string_view>()})
        EXPECT_EQ(FreshProbeSchedule::requestNamed(other), std::nullopt);
}

TEST(FreshProbeSchedule, ThrottledRunsOncePerThirtySecondsAndNowAlways) {
    struct Step {
        std::optional<Request> request;
        std::chrono::milliseconds at;
        bool probes;
    };
    const std::vector<Step> steps = {
        {std::nullopt, 0ms, false},       // no request never probes
        {Request::throttled, 0ms, true},  // the first throttled probe runs
        {Request::throttled, 1ms, false}, // twice within 30 s: one probe
        {std::nullopt, 40'000ms, false},  // and asking for none changes nothing
        {Request::throttled, 29'999ms, false},
        {Request::throttled, 30'000ms, true},
        {Request::now, 30'001ms, true}, // now always runs, and counts as the last probe
        {Request::now, 30'002ms, true},
        {Request::throttled, 59'000ms, false},
        {Request::throttled, 60'002ms, true},
        {Request::throttled, 1'000ms, true}, // the wall clock was set back
        {Request::throttled, 2'000ms, false},
    };
    FreshProbeSchedule schedule;
    for (const Step& step : steps) {
        EXPECT_EQ(schedule.shouldProbe(step.request, start + step.at), step.probes)
            << step.at.count();
    }
}

TEST(FreshPermissionProbe, GrantedOnlyByACompletedUncancelledFortyTwo) {
    EXPECT_EQ(FreshPermissionProbe::exitCode(true), 42);
    EXPECT_EQ(FreshPermissionProbe::exitCode(false), 1);
    EXPECT_TRUE(FreshPermissionProbe::granted(true, false, 42));
    EXPECT_FALSE(FreshPermissionProbe::granted(true, false, 1));
    EXPECT_FALSE(FreshPermissionProbe::granted(false, false, 42)); // timed out
    EXPECT_FALSE(FreshPermissionProbe::granted(true, true, 42));
    EXPECT_FALSE(FreshPermissionProbe::granted(false, false, -1)); // never started
}

} // namespace
} // namespace dorvex
