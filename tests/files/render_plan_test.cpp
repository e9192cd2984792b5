// Render lengths and the buffer bookkeeping that makes the file hold exactly T frames. (The
// counting over whole renders is tested with the render writer and through the application.)
#include "files/render_plan.h"

#include <gtest/gtest.h>

namespace zorvil {
namespace {

TEST(RenderPlan, LengthsBuffersAndTailsForEachTimeline) {
    const struct {
        int measures;
        double tempo;
        int bufferFrames, renderAdjust;
        int totalFrames, lastFullBuffer, tailBytes;
    } cases[] = {
        {1, 120.0, 2205, 0, 88200, 40, 0},
        {3, 100.0, 4410, 0, 317520, 72, 0},
        {2, 133.0, 2205, 0, 159157, 72, 1588},
        {1, 120.0, 2205, 2, 88200, 42, 0}, // RenderAdjust skips leading buffers
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.measures << " at " << c.tempo);
        const auto plan = MakeRenderPlan(c.measures, c.tempo, c.bufferFrames, c.renderAdjust);
        EXPECT_EQ(plan.totalFrames, c.totalFrames);
        EXPECT_EQ(plan.lastFullBuffer, c.lastFullBuffer);
        EXPECT_EQ(plan.tailBytes, c.tailBytes);
    }
}

TEST(RenderPlan, ShortBuffersAndDegenerateSettingsAreGuarded) {
    RenderCounter counter(MakeRenderPlan(2, 133.0, 2205, 0));
    for (int i = 0; i < 72; ++i)
        EXPECT_EQ(counter.OnBuffer(8820).writeBytes, 8820u);
    const auto tail = counter.OnBuffer(100); // a buffer shorter than the tail
    EXPECT_EQ(tail.writeBytes, 100u);
    EXPECT_TRUE(tail.finished);
    EXPECT_EQ(counter.OnBuffer(8820).writeBytes, 0u);
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
    EXPECT_EQ(RenderCounter(huge).OnBuffer(8820).writeBytes, 0u);
}

} // namespace
} // namespace zorvil
