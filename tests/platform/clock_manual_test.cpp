#include "platform/clock_manual.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zorvil::platform {
namespace {

TEST(ManualClock, TicksFallOnePeriodApartFromTheStart) {
    ManualClock clock(1000);
    std::vector<uint32_t> seen;
    const TimerId id = clock.StartPeriodic(20, 1, [&] { seen.push_back(clock.Now()); });
    ASSERT_NE(id, kNoTimer);
    clock.Advance(19);
    EXPECT_TRUE(seen.empty());
    clock.Advance(1);
    clock.Advance(45);
    EXPECT_EQ(seen, (std::vector<uint32_t>{1020, 1040, 1060}));
    EXPECT_EQ(clock.Now(), 1065u);
    EXPECT_TRUE(clock.Cancel(id));
    clock.Advance(100);
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_FALSE(clock.Cancel(id));
}

TEST(ManualClock, DueTicksOfSeveralTimersRunInDeadlineOrderThenStartOrder) {
    ManualClock clock;
    std::string order;
    clock.StartPeriodic(30, 1, [&] { order += 'a'; });
    clock.StartPeriodic(20, 1, [&] { order += 'b'; });
    clock.StartPeriodic(60, 1, [&] { order += 'c'; });
    clock.Advance(120);
    // 20 b, 30 a, 40 b, 60 a b c (start order), 80 b, 90 a, 100 b, 120 a b c
    EXPECT_EQ(order, "bababcbababc");
}

TEST(ManualClock, NowWrapsAt32BitsAndTicksKeepTheirPeriod) {
    ManualClock clock(0xFFFFFFF0u);
    std::vector<uint32_t> seen;
    clock.StartPeriodic(10, 1, [&] { seen.push_back(clock.Now()); });
    clock.Advance(35);
    EXPECT_EQ(seen, (std::vector<uint32_t>{0xFFFFFFFAu, 4u, 14u}));
    EXPECT_EQ(clock.Now(), 19u);
}

TEST(ManualClock, ATickMayCancelItselfAndStartAnother) {
    ManualClock clock;
    std::vector<std::pair<char, uint32_t>> seen;
    TimerId first = kNoTimer;
    first = clock.StartPeriodic(10, 1, [&] {
        seen.emplace_back('x', clock.Now());
        EXPECT_TRUE(clock.Cancel(first));
        clock.StartPeriodic(5, 1, [&] { seen.emplace_back('y', clock.Now()); });
    });
    clock.Advance(22);
    const std::vector<std::pair<char, uint32_t>> expected{{'x', 10}, {'y', 15}, {'y', 20}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(clock.ActiveTimers(), 1);
}

TEST(ManualClock, AdvanceFromInsideATickIsRefused) {
    ManualClock clock;
    bool refused = false;
    clock.StartPeriodic(10, 1, [&] { refused = !clock.Advance(5); });
    clock.Advance(10);
    EXPECT_TRUE(refused);
    EXPECT_EQ(clock.Now(), 10u);
}

TEST(ManualClock, AdvanceToNextTickStopsExactlyAtTheDeadline) {
    ManualClock clock(7);
    EXPECT_FALSE(clock.AdvanceToNextTick());
    int ticks = 0;
    clock.StartPeriodic(125, 1, [&] { ++ticks; });
    clock.Advance(100);
    EXPECT_EQ(clock.UntilNextTick(), 25u);
    EXPECT_TRUE(clock.AdvanceToNextTick());
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(clock.Now(), 132u);
}

TEST(ManualClock, CapabilitiesAndResolutionCanBeRefused) {
    ManualClock clock;
    TimerCaps caps;
    ASSERT_TRUE(clock.GetCaps(caps));
    EXPECT_EQ(caps.periodMin, 1u);
    EXPECT_EQ(caps.periodMax, 1000000u);

    EXPECT_TRUE(clock.BeginResolution(1));
    EXPECT_EQ(clock.OpenResolutions(), 1);
    EXPECT_TRUE(clock.EndResolution(1));
    EXPECT_EQ(clock.OpenResolutions(), 0);
    EXPECT_FALSE(clock.EndResolution(1)); // nothing left to end

    clock.SetCapsReadable(false);
    TimerCaps untouched{7, 8};
    EXPECT_FALSE(clock.GetCaps(untouched));
    EXPECT_EQ(untouched.periodMin, 7u);
    clock.SetResolutionRefused(true);
    EXPECT_FALSE(clock.BeginResolution(1));
    EXPECT_EQ(clock.OpenResolutions(), 0);

    clock.SetCaps({10, 100});
    EXPECT_EQ(clock.StartPeriodic(9, 1, [] {}), kNoTimer);
    EXPECT_EQ(clock.StartPeriodic(101, 1, [] {}), kNoTimer);
    EXPECT_EQ(clock.StartPeriodic(10, 1, {}), kNoTimer);
    const TimerId id = clock.StartPeriodic(10, 5, [] {});
    ASSERT_NE(id, kNoTimer);
    EXPECT_EQ(clock.Info(id)->period, 10u);
    EXPECT_EQ(clock.Info(id)->resolution, 5u);
}

TEST(ManualClock, CancelFromAnotherThreadWaitsForTheRunningTick) {
    ManualClock clock;
    std::mutex gate;
    std::condition_variable cv;
    bool inTick = false;
    bool release = false;
    bool tickEnded = false;
    const TimerId id = clock.StartPeriodic(10, 1, [&] {
        std::unique_lock lock(gate);
        inTick = true;
        cv.notify_all();
        cv.wait(lock, [&] { return release; });
        tickEnded = true;
    });
    std::thread advancer([&] { clock.Advance(10); });
    {
        std::unique_lock lock(gate);
        cv.wait(lock, [&] { return inTick; });
    }
    std::thread canceller([&] {
        EXPECT_TRUE(clock.Cancel(id));
        const std::lock_guard lock(gate);
        EXPECT_TRUE(tickEnded); // Cancel returned only after the tick finished
    });
    {
        const std::lock_guard lock(gate);
        release = true;
        cv.notify_all();
    }
    canceller.join();
    advancer.join();
    EXPECT_EQ(clock.ActiveTimers(), 0);
}

} // namespace
} // namespace zorvil::platform
