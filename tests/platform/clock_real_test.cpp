// The real clock on real threads: cancel semantics (run these under TSan too). Timing quality
// (drift, lateness) is measured by zorvil-timer-jitter, not asserted here.
#include "platform/clock_real.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace zorvil::platform {
namespace {

// Counts ticks and lets a test wait, without sleeping, until a number of them happened.
class TickCounter {
public:
    void Tick() {
        const std::lock_guard lock(m_mutex);
        ++m_count;
        m_changed.notify_all();
    }
    void WaitFor(int count) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_count >= count; });
    }
    int Count() {
        const std::lock_guard lock(m_mutex);
        return m_count;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_count = 0;
};

TEST(RealClock, NowIsMonotonicMillisecondsTruncatedTo32Bits) {
    RealClock clock;
    const uint64_t before = static_cast<uint64_t>(RealClock::MonotonicNanoseconds()) / 1000000;
    const uint32_t now = clock.Now();
    const uint64_t after = static_cast<uint64_t>(RealClock::MonotonicNanoseconds()) / 1000000;
    EXPECT_GE(now, static_cast<uint32_t>(before));
    EXPECT_LE(now, static_cast<uint32_t>(after));
    TimerCaps caps;
    ASSERT_TRUE(clock.GetCaps(caps));
    EXPECT_EQ(caps.periodMin, 1u);
    EXPECT_EQ(caps.periodMax, 1000000u);
    EXPECT_TRUE(clock.BeginResolution(1));
    EXPECT_TRUE(clock.EndResolution(1));
    EXPECT_FALSE(clock.BeginResolution(0));
    EXPECT_EQ(clock.StartPeriodic(0, 1, [] {}), kNoTimer);
    EXPECT_EQ(clock.StartPeriodic(1000001, 1, [] {}), kNoTimer);
    EXPECT_EQ(clock.StartPeriodic(10, 1, {}), kNoTimer);
}

TEST(RealClock, NoTickRunsAfterCancelReturns) {
    RealClock clock;
    TickCounter ticks;
    std::atomic<bool> cancelled{false};
    std::atomic<int> lateTicks{0};
    const TimerId id = clock.StartPeriodic(1, 1, [&] {
        if (cancelled.load()) ++lateTicks;
        ticks.Tick();
    });
    ASSERT_NE(id, kNoTimer);
    ticks.WaitFor(3);
    EXPECT_TRUE(clock.Cancel(id));
    cancelled = true;
    EXPECT_FALSE(clock.Cancel(id));

    // Let time pass, measured by a second timer, and check that the first stayed silent.
    TickCounter witness;
    const TimerId other = clock.StartPeriodic(1, 1, [&] { witness.Tick(); });
    witness.WaitFor(5);
    clock.Cancel(other);
    EXPECT_EQ(lateTicks.load(), 0);
}

TEST(RealClock, CancelWaitsForATickThatIsRunning) {
    RealClock clock;
    std::mutex gate;
    std::condition_variable cv;
    bool inTick = false;
    bool cancelling = false;
    std::atomic<bool> tickEnded{false};
    const TimerId id = clock.StartPeriodic(1, 1, [&] {
        std::unique_lock lock(gate);
        if (inTick) return; // only the first tick takes part
        inTick = true;
        cv.notify_all();
        cv.wait(lock, [&] { return cancelling; });
        lock.unlock();
        tickEnded = true;
    });
    {
        std::unique_lock lock(gate);
        cv.wait(lock, [&] { return inTick; });
        cancelling = true;
        cv.notify_all();
    }
    EXPECT_TRUE(clock.Cancel(id));
    EXPECT_TRUE(tickEnded.load());
}

TEST(RealClock, ATickMayCancelItsOwnTimerWithoutDeadlock) {
    TickCounter ticks;
    std::atomic<int> afterCancel{0};
    {
        RealClock clock;
        std::atomic<bool> cancelled{false};
        std::atomic<TimerId> id{kNoTimer};
        id = clock.StartPeriodic(1, 1, [&] {
            if (cancelled.load()) {
                ++afterCancel;
                return;
            }
            // The start may still be storing the id: wait for it to be visible.
            while (id.load() == kNoTimer) {
            }
            EXPECT_TRUE(clock.Cancel(id.load()));
            cancelled = true;
            ticks.Tick();
        });
        ticks.WaitFor(1);
        // A timer started afterwards reaps the finished thread.
        TickCounter witness;
        const TimerId other = clock.StartPeriodic(1, 1, [&] { witness.Tick(); });
        witness.WaitFor(5);
        clock.Cancel(other);
    }
    EXPECT_EQ(ticks.Count(), 1);
    EXPECT_EQ(afterCancel.load(), 0);
}

TEST(RealClock, ATickMayCancelAnotherTimerAndStartANewOne) {
    RealClock clock;
    TickCounter victimTicks;
    TickCounter restarted;
    const TimerId victim = clock.StartPeriodic(1, 1, [&] { victimTicks.Tick(); });
    victimTicks.WaitFor(1);
    std::atomic<bool> done{false};
    const TimerId killer = clock.StartPeriodic(1, 1, [&] {
        if (done.exchange(true)) return;
        EXPECT_TRUE(clock.Cancel(victim));
        clock.StartPeriodic(2, 1, [&] { restarted.Tick(); });
    });
    restarted.WaitFor(2);
    const int victimCount = victimTicks.Count();
    clock.Cancel(killer);
    restarted.WaitFor(4);
    EXPECT_EQ(victimTicks.Count(), victimCount);
}

TEST(RealClock, DestroyingTheClockStopsItsTimers) {
    TickCounter ticks;
    std::atomic<bool> destroyed{false};
    std::atomic<int> lateTicks{0};
    {
        RealClock clock;
        clock.StartPeriodic(1, 1, [&] {
            if (destroyed.load()) ++lateTicks;
            ticks.Tick();
        });
        clock.StartPeriodic(3, 1, [] {});
        ticks.WaitFor(2);
    }
    destroyed = true;
    EXPECT_EQ(lateTicks.load(), 0);
}

} // namespace
} // namespace zorvil::platform
