// BlockCapture: an output device for tests that keeps every block the engine hands it, and
// EngineStepper, which drives the engine timer on a manual clock one tick at a time.
//
// The capture runs on the engine worker, so it allocates nothing there: room for the audio is
// reserved up front and blocks beyond it are counted but not kept. It can also hold the worker
// inside a block, which is how tests make the engine busy.
//
//     platform::ManualClock clock;
//     CZorvilApp app(clock, ui);
//     BlockCapture capture(44100);              // room for one second of audio
//     app.SetOutputDevice(&capture);
//     app.StartTimer(20);
//     EngineStepper stepper(clock, app);
//     stepper.RunBlocks(capture, 5);            // ticks until five blocks were output
//     capture.Left()[...]
#pragma once

#include "app/zorvil_app.h"
#include "engine/block_processor.h"
#include "platform/clock_manual.h"

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <vector>

namespace zorvil::test {

class BlockCapture final : public IBlockOutput {
public:
    explicit BlockCapture(size_t reservedFrames, size_t reservedBlocks = 4096);

    void OutputBlock(float* const* buffers, int frames) noexcept override;

    // While held, the worker waits inside OutputBlock (after recording the block).
    void Hold(bool hold);
    // Waits until at least `count` blocks were output.
    void WaitForBlocks(size_t count);

    // Snapshots (the worker may still append).
    size_t BlockCount() const;
    std::vector<int> BlockFrames() const;
    std::vector<float> Left() const;
    std::vector<float> Right() const;
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<float> m_left; // capacity reserved up front, never exceeded
    std::vector<float> m_right;
    std::vector<int> m_frames;
    size_t m_blocks = 0;
    bool m_hold = false;
};

// Advances a manual clock tick by tick, waiting after every tick until the engine is idle, so
// that no block is ever refused for being late: the engine keeps pace with the clock exactly.
class EngineStepper {
public:
    EngineStepper(platform::ManualClock& clock, CZorvilApp& app) : m_clock(clock), m_app(app) {}

    // One tick of the earliest timer; then waits for any block it triggered to finish.
    void Tick();
    // Ticks until the capture holds `count` more blocks than now.
    void RunBlocks(BlockCapture& capture, size_t count);
    // Waits until no block is pending or running.
    void WaitIdle();

private:
    platform::ManualClock& m_clock;
    CZorvilApp& m_app;
};

} // namespace zorvil::test
