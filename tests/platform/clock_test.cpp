// The real clock's cancel semantics on real threads (run under TSan too; the manual clock is the
// engine timer's tests'). Timing quality is measured by zorvil-timer-jitter, not asserted here.
#include "platform/clock_real.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace zorvil::platform {
namespace {

// Counts ticks; a test waits, without sleeping, until a number of them happened.
struct TickCounter {
    std::atomic<int> count{0};
    void Tick() {
        ++count;
        count.notify_all();
    }
    void WaitFor(int n) {
        for (int seen = count.load(); seen < n; seen = count.load())
            count.wait(seen);
    }
};

TEST(RealClock, CancelWaitsForATickThatIsRunningAndNoTickRunsAfterIt) {
    RealClock clock;
    std::atomic<int> phase{0}; // 1: the first tick is running, 2: the test is cancelling
    std::atomic<bool> tickEnded{false};
    std::atomic<bool> cancelled{false};
    std::atomic<int> lateTicks{0};
    const TimerId id = clock.StartPeriodic(1, 1, [&] {
        if (cancelled.load()) ++lateTicks;
        int idle = 0;
        if (!phase.compare_exchange_strong(idle, 1)) return; // only the first tick takes part
        phase.notify_all();
        phase.wait(1);
        tickEnded = true;
    });
    phase.wait(0);
    phase = 2;
    phase.notify_all();
    EXPECT_TRUE(clock.Cancel(id));
    cancelled = true;
    EXPECT_TRUE(tickEnded.load());
    EXPECT_FALSE(clock.Cancel(id));
    TickCounter witness; // a few periods pass, measured by a timer of its own
    const TimerId other = clock.StartPeriodic(1, 1, [&] { witness.Tick(); });
    witness.WaitFor(5);
    clock.Cancel(other);
    EXPECT_EQ(lateTicks.load(), 0);
}

TEST(RealClock, ATickMayCancelItsOwnTimerAndDestroyingTheClockStopsTheOthers) {
    TickCounter ticks;
    TickCounter others;
    std::atomic<int> afterCancel{0};
    std::atomic<bool> destroyed{false};
    std::atomic<int> lateTicks{0};
    {
        RealClock clock;
        std::atomic<TimerId> id{kNoTimer};
        id = clock.StartPeriodic(1, 1, [&] {
            if (ticks.count.load() > 0) {
                ++afterCancel;
                return;
            }
            while (id.load() == kNoTimer) { // the start may still be storing the id
            }
            EXPECT_TRUE(clock.Cancel(id.load())); // without deadlock
            ticks.Tick();
        });
        ticks.WaitFor(1);
        // Timers started afterwards reap the finished thread, and still run when the clock goes.
        clock.StartPeriodic(1, 1, [&] {
            if (destroyed.load()) ++lateTicks;
            others.Tick();
        });
        clock.StartPeriodic(3, 1, [] {});
        others.WaitFor(5);
    }
    destroyed = true;
    EXPECT_EQ(ticks.count.load(), 1);
    EXPECT_EQ(afterCancel.load(), 0);
    EXPECT_EQ(lateTicks.load(), 0);
}

} // namespace
} // namespace zorvil::platform
