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
