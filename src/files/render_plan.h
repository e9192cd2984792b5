// The arithmetic of a render to a wave file: how many frames the pattern lasts, and which part
// of each output buffer goes into the file.
//
// A render plays the pattern once. Its length is T = truncate(measures * (60000 / tempo) * 176.4)
// frames (four beats per measure, 44.1 frames per millisecond). The wave output counts the
// buffers it plays from the render marker on: the first "RenderAdjust" buffers make up for the
// plug-ins' delay and are not written; from then on every buffer is written until the file
// holds T frames, the last one only in part. Frames are counted, not buffers: a buffer holds
// what the engine's block put into it, which is S frames only when the block period divides
// evenly (a timer period of 1000 / (44100 / S) ms gives 132 or 133 frames a buffer for S = 147,
// 1455 or 1456 for S = 1470), so the file holds exactly T frames for every buffer size.
//
//     RenderPlan plan = MakeRenderPlan(1, 120.0, 2205, 0);  // T 88200
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
    int32_t totalFrames = 0;  // T
    int32_t bufferFrames = 1; // S, the wave output's nominal buffer size
    int32_t renderAdjust = 0; // buffers played but not written at the start
};

// The plan for a render. A buffer size below 1 counts as 1 and a negative adjust as 0.
RenderPlan MakeRenderPlan(int measures, double tempo, int32_t bufferFrames,
                          int32_t renderAdjust) noexcept;

// Counts the played buffers of a render and says how much of each goes into the file.
class RenderCounter {
public:
    struct Step {
        size_t writeBytes = 0; // bytes from the start of the buffer to write to the file
        bool finished = false; // the file holds T frames: the render ends
    };

    RenderCounter() = default;
    explicit RenderCounter(const RenderPlan& plan) noexcept : m_plan(plan) {}

    // One played buffer of `bufferBytes` bytes (whole frames count). After the render finished,
    // writes nothing.
    Step OnBuffer(size_t bufferBytes) noexcept;

    int64_t BuffersCounted() const noexcept { return m_buffers; }
    int64_t FramesWritten() const noexcept { return m_frames; }
    const RenderPlan& Plan() const noexcept { return m_plan; }

private:
    RenderPlan m_plan;
    int64_t m_buffers = 0; // 64 bits: any adjust is passed
    int64_t m_frames = 0;
    bool m_bFinished = false;
};

} // namespace zorvil
