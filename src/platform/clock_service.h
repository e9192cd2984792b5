// The clock service: the one place the program reads the time and starts periodic timers.
//
// Everything that needs "now" in milliseconds (block time stamps, MIDI time stamps) or a
// periodic tick (the engine timer, the sequencer's step clock) goes through an IClockService
// it was given. Two implementations exist:
//   - RealClock (clock_real.h): time is CLOCK_MONOTONIC; each periodic timer has its own thread
//     that sleeps to absolute deadlines (start + k x period), so periods never drift.
//   - ManualClock (clock_manual.h): time moves only when the caller advances it; every tick that
//     falls due runs in deadline order on the caller's thread. Tests and offline rendering use it.
//
// The model is the multimedia timer's: Now() is a millisecond count that wraps at 2^32 like
// timeGetTime; timers have a period and a resolution in milliseconds, bounded by the
// capabilities (1 to 1000000 ms); a resolution is begun before timers are started and ended
// afterwards; cancelling is synchronous.
//
//     IClockService& clock = ...;
//     TimerCaps caps;
//     if (!clock.GetCaps(caps)) { /* tell the user, keep the stored capabilities */ }
//     clock.BeginResolution(1);
//     TimerId id = clock.StartPeriodic(125, 1, [this] { OnStep(); });   // 0: not started
//     ...
//     clock.Cancel(id);          // returns once no tick of `id` runs or will run
//     clock.EndResolution(1);
//
// Cancel contract: once Cancel(id) returns, the timer's callback is not running on any other
// thread and never runs again. Called from inside that timer's own callback, Cancel does not
// wait for itself: the current call finishes normally and no further tick follows.
// Callbacks run on a thread owned by the clock (RealClock) or on the thread that advances time
// (ManualClock); they may start and cancel timers, their own included.
#pragma once

#include <cstdint>
#include <functional>

namespace zorvil::platform {

// Identifies a periodic timer; 0 is "no timer" (what a failed start returns).
using TimerId = uint32_t;
inline constexpr TimerId kNoTimer = 0;

// Bounds of the timer period in milliseconds, as the multimedia timer reports them.
struct TimerCaps {
    uint32_t periodMin = 0;
    uint32_t periodMax = 0;
};

inline constexpr uint32_t kTimerPeriodMin = 1;
inline constexpr uint32_t kTimerPeriodMax = 1000000;

// What a periodic timer calls once per period.
using TimerCallback = std::function<void()>;

class IClockService {
public:
    virtual ~IClockService() = default;

    // Milliseconds since an arbitrary origin, wrapping at 2^32 (the timeGetTime stand-in).
    // Any thread may call it.
    [[nodiscard]] virtual uint32_t Now() const noexcept = 0;

    // The timer capabilities. False when they cannot be read; `caps` is then left unchanged.
    virtual bool GetCaps(TimerCaps& caps) const noexcept = 0;

    // Asks for a timer resolution of `ms` for the timers started from now on; every successful
    // Begin is matched by one End with the same value. False: refused (outside the
    // capabilities, or the clock does not offer it).
    virtual bool BeginResolution(uint32_t ms) noexcept = 0;
    virtual bool EndResolution(uint32_t ms) noexcept = 0;

    // Starts a periodic timer: the first tick falls one period after the start, the k-th at
    // start + k x period. `resolutionMs` is how late a tick may be (a hint). Returns the new
    // timer's id (never reused while the clock lives), or kNoTimer when the period lies
    // outside the capabilities, the callback is empty, or no timer could be made.
    virtual TimerId StartPeriodic(uint32_t periodMs, uint32_t resolutionMs,
                                  TimerCallback callback) = 0;

    // Stops a timer synchronously (see the contract above). False for an unknown id.
    virtual bool Cancel(TimerId id) noexcept = 0;
};

} // namespace zorvil::platform
