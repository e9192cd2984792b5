// The step clock feeding a real effect host on the manual clock.
#include "platform/clock_manual.h"
#include "sequencer/host_event_queue.h"
#include "sequencer/pattern.h"

#include <gtest/gtest.h>
#include <vector>

using zorvil::CHostEventQueue;
using zorvil::CPattern;
using zorvil::CSeqHost;
using zorvil::RenderState;

// Render start: the armed state moves to "marker sent" as the marker is queued, and the host's
// next block, which finds the marker among its events, moves it to "marker seen".
TEST(PatternWithHost, TheRenderMarkerIsSeenByTheHostsNextBlock) {
    zorvil::platform::ManualClock clock;
    CSeqHost host;
    CHostEventQueue events(host);
    zorvil::RenderStateWord renderState{RenderState::Armed};
    host.SetRenderState(&renderState);

    CPattern pattern;
    pattern.SetClockService(&clock);
    pattern.SetEventQueue(&events);
    pattern.SetRenderState(&renderState);
    ASSERT_TRUE(pattern.AddNote(0, 60, 100, 2));
    pattern.Start();
    ASSERT_TRUE(clock.AdvanceToNextTick());
    EXPECT_EQ(renderState.load(), RenderState::MarkerSent);

    auto& queue = host.MidiQueue();
    const auto counts = queue.Snapshot();
    ASSERT_EQ(counts.shortCount, 2u);
    EXPECT_EQ(queue.ShortWord(0), 0x00010090u); // marker: note-on key 0 velocity 1, channel 1
    EXPECT_EQ(queue.ShortWord(1), 0x00643C90u);
    EXPECT_EQ(queue.ShortTime(0), 0u);

    std::vector<float> left(882), right(882);
    float* buffers[] = {left.data(), right.data()};
    host.ProcessBlock(buffers, 882, 2, 0);
    EXPECT_EQ(renderState.load(), RenderState::MarkerSeen);
    EXPECT_EQ(queue.Snapshot().shortCount, 0u);

    ASSERT_TRUE(clock.AdvanceToNextTick()); // step 1: the note is held
    EXPECT_EQ(queue.Snapshot().shortCount, 0u);
    pattern.Stop();
    ASSERT_EQ(queue.Snapshot().shortCount, 1u);
    EXPECT_EQ(queue.ShortWord(0), 0x00003C80u);
}
