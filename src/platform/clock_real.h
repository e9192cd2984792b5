// RealClock: the clock service on the machine's monotonic clock.
//
// Now() is CLOCK_MONOTONIC in milliseconds, truncated to 32 bits so it wraps like timeGetTime.
// Each periodic timer owns a thread that sleeps to absolute deadlines (start + k x period) on
// the same clock, so a late tick does not push the later ones: periods never drift. When a tick
// overruns so far that whole periods have passed, the missed ticks are dropped (not run in a
// burst) and the next one keeps the original phase. Timer threads ask for SCHED_FIFO, like the
// engine worker, and run at normal priority when the system refuses.
//
//     RealClock clock;
//     TimerId id = clock.StartPeriodic(20, 1, [&] { engine.OnTimer(); });
//     ...
//     clock.Cancel(id);      // joins the timer's thread (or, from inside its own tick,
//                            // lets it end after the tick; the clock reaps it later)
//
// Resolution requests are granted for any value within the capabilities and change nothing:
// Linux sleeps to the deadline with high-resolution timers anyway.
//
// Threads: every operation may be called from any thread, including from inside a tick.
// Destroying the clock cancels every timer still running.
#pragma once

#include "platform/clock_service.h"

#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace zorvil::platform {

class RealClock final : public IClockService {
public:
    RealClock() = default;
    ~RealClock() override;

    RealClock(const RealClock&) = delete;
    RealClock& operator=(const RealClock&) = delete;

    [[nodiscard]] uint32_t Now() const noexcept override;
    bool GetCaps(TimerCaps& caps) const noexcept override;
    bool BeginResolution(uint32_t ms) noexcept override;
    bool EndResolution(uint32_t ms) noexcept override;
    TimerId StartPeriodic(uint32_t periodMs, uint32_t resolutionMs,
                          TimerCallback callback) override;
    bool Cancel(TimerId id) noexcept override;

    // CLOCK_MONOTONIC in nanoseconds (the jitter tool measures lateness with it).
    [[nodiscard]] static int64_t MonotonicNanoseconds() noexcept;

private:
    struct TimerState; // shared by the timer's thread and the clock

    struct Entry {
        std::shared_ptr<TimerState> state;
        std::thread thread;
    };

    static void RunTimer(const std::shared_ptr<TimerState>& state) noexcept;

    // Joins the threads of timers that were cancelled from inside their own tick.
    void ReapFinished() noexcept;

    std::mutex m_mutex; // guards the members below
    std::map<TimerId, Entry> m_timers;
    std::vector<std::thread> m_finished; // cancelled from their own tick, not yet joined
    TimerId m_nextId = 1;
};

} // namespace zorvil::platform
