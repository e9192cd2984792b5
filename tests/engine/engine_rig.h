// Rig: the application on a manual clock, its blocks kept by a BlockCapture as the output step.
// Rig waits after each tick until the engine is idle, so no block is refused for being late.
#pragma once

#include "app/zorvil_app.h"
#include "devices/device_test_support.h"
#include "platform/clock_manual.h"
#include "support/scripted_user_interface.h"

#include <thread>

namespace zorvil::test {

// The busy flag drops just after the block, and its output step, returns.
inline void WaitUntilIdle(CEngineThread& engine) {
    while (engine.IsBusy())
        std::this_thread::yield();
}

struct Rig {
    // The app reads the timer's capabilities when it is made: the clock has its minimum by then.
    explicit Rig(uint32_t start = 1000, size_t frames = 882 * 200, uint32_t minPeriod = 1)
        : clock(start), capture(frames), app((clock.SetCaps({minPeriod, 1000000}), clock), ui),
          m_start(start) {
        app.SetOutputDevice(&capture);
    }
    ~Rig() {
        app.Pattern().Stop();
        app.StartTimer(0);
    }
    bool Start(uint32_t period) {
        app.SetStartTime(clock.Now());
        return app.StartTimer(period);
    }
    void Tick() {
        clock.AdvanceToNextTick();
        WaitUntilIdle(app.EngineThread());
    }
    void RunBlocks(size_t count) {
        const size_t target = capture.BlockCount() + count;
        while (capture.BlockCount() < target)
            Tick();
    }
    // Ticks up to relative time `ms` (ms since the clock's start).
    void RunUntil(uint32_t ms) {
        for (auto until = clock.UntilNextTick(); until && Now() + *until <= ms;
             until = clock.UntilNextTick())
            Tick();
        if (Now() < ms) clock.Advance(ms - Now());
    }
    uint32_t Now() const { return clock.Now() - m_start; }

    platform::ManualClock clock;
    ScriptedUserInterface ui;
    BlockCapture capture;
    CZorvilApp app;

private:
    uint32_t m_start;
};

} // namespace zorvil::test
