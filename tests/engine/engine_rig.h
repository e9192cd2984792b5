// Rig: the application on a manual clock, its blocks kept by a BlockCapture. The capture runs on
// the engine worker, so it allocates nothing there (room is reserved up front; blocks beyond it
// are counted, not kept); it can hold the worker inside a block to make the engine busy. Rig waits
// after each tick until the engine is idle, so no block is refused for being late. A capture can
// also stand in for the engine's processor; it then records only each block's time.
#pragma once

#include "app/zorvil_app.h"
#include "platform/clock_manual.h"
#include "support/scripted_user_interface.h"

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace zorvil::test {

class BlockCapture final : public IBlockOutput, public IBlockProcessor {
public:
    explicit BlockCapture(size_t frames) {
        m_left.reserve(frames);
        m_right.reserve(frames);
        m_frames.reserve(4096);
        m_times.reserve(4096);
    }
    void OutputBlock(float* const* buffers, int frames) noexcept override {
        Record(buffers, frames, 0);
    }
    void ProcessBlock(float* const*, int, int, uint32_t time) noexcept override {
        Record(nullptr, 0, time);
    }
    // While held, the worker waits inside OutputBlock after recording its block.
    void Hold(bool hold) {
        const std::lock_guard lock(m_mutex);
        m_hold = hold;
        m_changed.notify_all();
    }
    void WaitForBlocks(size_t count) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_blocks >= count; });
    }
    size_t BlockCount() const { return Read(m_blocks); }
    std::vector<int> BlockFrames() const { return Read(m_frames); }
    std::vector<float> Left() const { return Read(m_left); }
    std::vector<float> Right() const { return Read(m_right); }
    std::vector<uint32_t> Times() const { return Read(m_times); }
    std::function<void()> onBlock; // runs on the worker; set while the engine is idle

private:
    void Record(float* const* buffers, int frames, uint32_t time) noexcept {
        if (onBlock) onBlock();
        std::unique_lock lock(m_mutex);
        const auto n = static_cast<size_t>(std::max(frames, 0));
        if (m_left.size() + n <= m_left.capacity() && m_frames.size() < m_frames.capacity()) {
            if (buffers != nullptr) {
                m_left.insert(m_left.end(), buffers[0], buffers[0] + n);
                m_right.insert(m_right.end(), buffers[1], buffers[1] + n);
            }
            m_frames.push_back(frames);
            m_times.push_back(time);
        }
        ++m_blocks;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return !m_hold; });
    }
    template <class T>
    T Read(const T& member) const {
        const std::lock_guard lock(m_mutex);
        return member;
    }
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<float> m_left, m_right;
    std::vector<int> m_frames;
    std::vector<uint32_t> m_times;
    size_t m_blocks = 0;
    bool m_hold = false;
};

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
