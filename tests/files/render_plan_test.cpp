// Render lengths and the buffer bookkeeping that makes the file hold exactly T frames.
#include "files/render_plan.h"

#include "files/wave_file.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

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

TEST(RenderPlan, OneMeasureAt120Is88200FramesIn40WholeBuffers) {
    const auto plan = MakeRenderPlan(1, 120.0, 2205, 0);
    EXPECT_EQ(plan.totalFrames, 88200);
    EXPECT_EQ(plan.lastFullBuffer, 40);
    EXPECT_EQ(plan.tailBytes, 0);
    const auto outcome = Play(plan);
    EXPECT_EQ(outcome.bytesWritten, 352800u);
    EXPECT_EQ(outcome.buffersPlayed, 41);
    EXPECT_EQ(outcome.firstWrittenBuffer, 1);
}

TEST(RenderPlan, ThreeMeasuresAt100With4410FrameBuffers) {
    const auto plan = MakeRenderPlan(3, 100.0, 4410, 0);
    EXPECT_EQ(plan.totalFrames, 317520);
    EXPECT_EQ(plan.lastFullBuffer, 72);
    EXPECT_EQ(plan.tailBytes, 0);
    EXPECT_EQ(Play(plan).bytesWritten, 317520u * 4);
}

TEST(RenderPlan, TwoMeasuresAt133EndWithA1588ByteTail) {
    const auto plan = MakeRenderPlan(2, 133.0, 2205, 0);
    EXPECT_EQ(plan.totalFrames, 159157);
    EXPECT_EQ(plan.lastFullBuffer, 72);
    EXPECT_EQ(plan.tailBytes, 1588);
    const auto outcome = Play(plan);
    EXPECT_EQ(outcome.bytesWritten, 159157u * 4);
    EXPECT_EQ(outcome.buffersPlayed, 73);
}

TEST(RenderPlan, RenderAdjustSkipsLeadingBuffersWithoutChangingTheLength) {
    const auto plan = MakeRenderPlan(1, 120.0, 2205, 2);
    EXPECT_EQ(plan.lastFullBuffer, 42);
    const auto outcome = Play(plan);
    EXPECT_EQ(outcome.firstWrittenBuffer, 3);
    EXPECT_EQ(outcome.bytesWritten, 352800u);
    EXPECT_EQ(outcome.buffersPlayed, 43);
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

TEST(RenderPlan, ARenderedFileHoldsExactlyTFrames) {
    test::TempDir dir;
    const auto plan = MakeRenderPlan(2, 133.0, 2205, 1);
    const std::string path = dir.File("render.wav");
    {
        CWaveFile file(path, kRenderFormat);
        RenderCounter counter(plan);
        const std::vector<uint8_t> buffer(2205 * 4, 0x11);
        for (;;) {
            const auto step = counter.OnBuffer(buffer.size());
            ASSERT_TRUE(file.Write(buffer.data(), step.writeBytes));
            if (step.finished) break;
        }
        ASSERT_TRUE(file.Close());
    }
    EXPECT_EQ(std::filesystem::file_size(path), 46u + 159157u * 4);
    CWaveFile back(path);
    EXPECT_EQ(back.GetDataSize(), 159157u * 4);
}

} // namespace
} // namespace zorvil
