// Render lengths and the buffer bookkeeping that makes the file hold exactly T frames.
#include "files/render_plan.h"

#include <gtest/gtest.h>

namespace zorvil {
namespace {

struct Outcome {
    size_t bytesWritten = 0;
    int buffersPlayed = 0;
    int firstWrittenBuffer = 0; // 1-based, 0 when none
};

// Plays buffers of the plan's size until the counter says the render finished.
Outcome Play(const RenderPlan& plan) {
    RenderCounter counter(plan);
    Outcome outcome;
    const size_t bufferBytes = static_cast<size_t>(plan.bufferFrames) * kRenderBytesPerFrame;
    for (;;) {
        const auto step = counter.OnBuffer(bufferBytes);
        ++outcome.buffersPlayed;
        if (step.writeBytes && !outcome.firstWrittenBuffer)
            outcome.firstWrittenBuffer = outcome.buffersPlayed;
        outcome.bytesWritten += step.writeBytes;
        if (step.finished) return outcome;
        if (outcome.buffersPlayed > 100000) {
            ADD_FAILURE() << "the render never finished";
            return outcome;
        }
    }
}

TEST(RenderPlan, LengthsBuffersAndTailsForEachTimeline) {
    const struct {
        int measures;
        double tempo;
        int bufferFrames, renderAdjust;
        int totalFrames, lastFullBuffer, tailBytes, buffersPlayed, firstWrittenBuffer;
    } cases[] = {
        {1, 120.0, 2205, 0, 88200, 40, 0, 41, 1},
        {3, 100.0, 4410, 0, 317520, 72, 0, 73, 1},
        {2, 133.0, 2205, 0, 159157, 72, 1588, 73, 1},
        // RenderAdjust skips leading buffers without changing the length.
        {1, 120.0, 2205, 2, 88200, 42, 0, 43, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.measures << " at " << c.tempo << " adjust " << c.renderAdjust);
        const auto plan = MakeRenderPlan(c.measures, c.tempo, c.bufferFrames, c.renderAdjust);
        EXPECT_EQ(plan.totalFrames, c.totalFrames);
        EXPECT_EQ(plan.lastFullBuffer, c.lastFullBuffer);
        EXPECT_EQ(plan.tailBytes, c.tailBytes);
        const auto outcome = Play(plan);
        EXPECT_EQ(outcome.bytesWritten, static_cast<size_t>(c.totalFrames) * 4);
        EXPECT_EQ(outcome.buffersPlayed, c.buffersPlayed);
        EXPECT_EQ(outcome.firstWrittenBuffer, c.firstWrittenBuffer);
    }
}

TEST(RenderPlan, ShortBuffersNeverWriteMoreThanTheyHold) {
    RenderCounter counter(MakeRenderPlan(2, 133.0, 2205, 0));
    for (int i = 0; i < 72; ++i)
        counter.OnBuffer(8820);
    const auto tail = counter.OnBuffer(100); // a buffer shorter than the tail
    EXPECT_EQ(tail.writeBytes, 100u);
    EXPECT_TRUE(tail.finished);
    EXPECT_EQ(counter.OnBuffer(8820).writeBytes, 0u);
}

TEST(RenderPlan, DegenerateSettingsAreGuarded) {
    EXPECT_EQ(RenderFrameCount(0, 120.0), 0);
    EXPECT_EQ(RenderFrameCount(1, 0.0), 0);
    EXPECT_EQ(RenderFrameCount(1, -5.0), 0);
    EXPECT_EQ(RenderFrameCount(8, 30.0), 2822400); // the longest pattern: 64 s
    const auto plan = MakeRenderPlan(1, 120.0, 0, -3);
    EXPECT_EQ(plan.bufferFrames, 1);
    EXPECT_EQ(plan.renderAdjust, 0);
    EXPECT_EQ(plan.lastFullBuffer, 88200);
    const auto huge = MakeRenderPlan(1, 120.0, 2205, 2147483647);
    EXPECT_EQ(huge.lastFullBuffer, 2147483647);
    RenderCounter counter(huge);
    EXPECT_EQ(counter.OnBuffer(8820).writeBytes, 0u);
}

} // namespace
} // namespace zorvil
