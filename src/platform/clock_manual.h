// ManualClock: a clock service whose time moves only when the caller advances it.
//
// Tests and offline rendering run the engine timer and the step clock on it. Advance(ms) runs,
// on the calling thread, every tick that falls due within those milliseconds, in order of
// deadline (timers due at the same millisecond in the order they were started), with Now()
// reading each tick's own deadline while it runs; afterwards Now() reads the new time. A tick
// may start or cancel timers; a timer started inside a tick first falls due one period later.
//
// Time is kept as a 64-bit count internally, so the 32-bit Now() may be made to wrap during a
// test: construct the clock a few milliseconds before 2^32.
//
//     ManualClock clock(0xFFFFFF00u);           // 256 ms before the wrap
//     int ticks = 0;
//     TimerId id = clock.StartPeriodic(20, 1, [&] { ++ticks; });
//     clock.Advance(100);                        // ticks == 5, Now() == 0xFFFFFF64
//     clock.Cancel(id);
//
// The clock can be told to fail the way a machine without a usable timer does:
// SetCapsReadable(false) makes GetCaps fail, SetResolutionRefused(true) makes BeginResolution
// fail, SetCaps changes the reported bounds (StartPeriodic honours them).
//
// Threads: Now() and the setters may be called from any thread. Advance must not be called
// from two threads at once, nor from inside a tick (it returns false then and does nothing).
// Cancel from another thread while the timer's tick runs waits for that tick to end.
#pragma once

#include "platform/clock_service.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace zorvil::platform {

class ManualClock final : public IClockService {
public:
    explicit ManualClock(uint32_t startMs = 0) noexcept;
    ~ManualClock() override;

    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;

    [[nodiscard]] uint32_t Now() const noexcept override;
    bool GetCaps(TimerCaps& caps) const noexcept override;
    bool BeginResolution(uint32_t ms) noexcept override;
    bool EndResolution(uint32_t ms) noexcept override;
    TimerId StartPeriodic(uint32_t periodMs, uint32_t resolutionMs,
                          TimerCallback callback) override;
    bool Cancel(TimerId id) noexcept override;

    // Moves time forward by `ms`, running every tick that falls due on the way.
    // False (and nothing happens) when called from inside a tick.
    bool Advance(uint64_t ms);

    // Milliseconds from now to the next tick of any timer, or nothing when no timer runs.
    [[nodiscard]] std::optional<uint64_t> UntilNextTick() const;

    // Advances exactly to the next tick and runs every tick due then. False when no timer runs.
    bool AdvanceToNextTick();

    // Failure switches and bounds (see above).
    void SetCapsReadable(bool readable) noexcept;
    void SetResolutionRefused(bool refused) noexcept;
    void SetCaps(TimerCaps caps) noexcept;

    // Observations for tests.
    [[nodiscard]] int ActiveTimers() const;
    // Resolutions begun and not yet ended (successful Begins minus successful Ends).
    [[nodiscard]] int OpenResolutions() const noexcept;
    [[nodiscard]] uint32_t LastResolution() const noexcept;
    struct TimerInfo {
        uint32_t period = 0;
        uint32_t resolution = 0;
    };
    // Period and resolution of a running timer; nothing for an unknown id.
    [[nodiscard]] std::optional<TimerInfo> Info(TimerId id) const;

private:
    struct Timer {
        TimerId id = kNoTimer;
        uint32_t period = 0;
        uint32_t resolution = 0;
        uint64_t deadline = 0; // absolute, in the clock's 64-bit time
        TimerCallback callback;
    };

    bool AdvanceTo(uint64_t target);

    mutable std::mutex m_mutex; // guards everything below except the atomics
    std::condition_variable m_tickDone;
    std::map<TimerId, std::shared_ptr<Timer>> m_timers;
    TimerId m_nextId = 1;
    TimerId m_running = kNoTimer; // the timer whose tick runs now
    std::thread::id m_tickThread; // the thread running it
    std::atomic<uint64_t> m_now;  // 64-bit time; Now() returns its low 32 bits
    std::atomic<bool> m_capsReadable{true};
    std::atomic<bool> m_resolutionRefused{false};
    std::atomic<uint32_t> m_capsMin{kTimerPeriodMin};
    std::atomic<uint32_t> m_capsMax{kTimerPeriodMax};
    std::atomic<int> m_openResolutions{0};
    std::atomic<uint32_t> m_lastResolution{0};
};

} // namespace zorvil::platform
