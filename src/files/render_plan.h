// The arithmetic of a render to a wave file: how many frames the pattern lasts, and which output
// buffers go into the file.
//
// A render plays the pattern once. Its length is T = truncate(measures * (60000 / tempo) * 176.4)
// frames (four beats per measure, 44.1 frames per millisecond). The wave output counts the
// buffers it plays from the render marker on: the first "RenderAdjust" buffers make up for the
// plug-ins' delay and are not written, the next T / S buffers of S frames are written whole, and
// one more contributes its first (T mod S) frames. The file then holds exactly T frames.
//
//     RenderPlan plan = MakeRenderPlan(1, 120.0, 2205, 0);  // T 88200: 40 buffers, tail 0
//     RenderCounter counter(plan);
//     for each played buffer:
//         auto step = counter.OnBuffer(bufferBytes);
//         file.Write(buffer, step.writeBytes);
//         if (step.finished) { stop the sequencer; close the file; }
//
// RenderCounter runs on the engine thread: it is noexcept and allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zorvil {

inline constexpr int32_t kRenderBytesPerFrame = 4; // 16-bit stereo

// T, the pattern's length in frames at this tempo (beats per minute). 0 for a tempo that is not
// positive or a measure count below 1.
int32_t RenderFrameCount(int measures, double tempo) noexcept;

struct RenderPlan {
    int32_t totalFrames = 0;    // T
    int32_t bufferFrames = 1;   // S, the wave output's buffer size
    int32_t renderAdjust = 0;   // buffers played but not written at the start
    int32_t lastFullBuffer = 0; // render adjust + T / S
    int32_t tailBytes = 0;      // (T mod S) * 4
};

// The plan for a render. A buffer size below 1 counts as 1 and a negative adjust as 0.
RenderPlan MakeRenderPlan(int measures, double tempo, int32_t bufferFrames,
                          int32_t renderAdjust) noexcept;

// Counts the played buffers of a render and says how much of each goes into the file.
class RenderCounter {
public:
    struct Step {
        size_t writeBytes = 0; // bytes from the start of the buffer to write to the file
        bool finished = false; // the last buffer was counted: the render ends
    };

    RenderCounter() = default;
    explicit RenderCounter(const RenderPlan& plan) noexcept : m_plan(plan) {}

    // One played buffer of `bufferBytes` bytes. After the render finished, writes nothing.
    Step OnBuffer(size_t bufferBytes) noexcept;

    int64_t BufferCounter() const noexcept { return m_bufferCounter; }
    const RenderPlan& Plan() const noexcept { return m_plan; }

private:
    RenderPlan m_plan;
    int64_t m_bufferCounter = 1; // 64 bits: it passes the last buffer number by one
};

} // namespace zorvil
