// The application's engine timer and worker on the manual clock, with the real host behind them.
#include "../host/allocation_counter.h"
#include "engine_rig.h"
#include "midi/midi_message.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zorvil {
namespace {

using test::Rig;

// Ticks until the next block is out; returns the clock's time then, relative to the start time.
uint32_t NextBlockTime(Rig& rig) {
    rig.RunBlocks(1);
    return rig.clock.Now() - rig.app.StartTime();
}

// Ticks come every tenth of the period at half a tick's resolution; a block starts once more than
// a period has gathered (the carry rule): at 22 ms with 2 ms carried, then every 20 ms. One case
// starts 100 ms before the 32-bit clock wraps, which it does after the fourth block. Over a longer
// run the blocks never get ahead of the clock and lag it by less than a period and a tick.
TEST(EngineTimer, BlocksFollowTheCarryRuleAlsoAcrossTheWrap) {
    const struct {
        uint32_t start, period, tick, resolution;
        int frames;
        std::vector<uint32_t> times;
    } cases[] = {
        {1000, 20, 2, 1, 882, {22, 42, 62, 82}},
        {1000, 50, 5, 2, 2205, {55, 105, 155}},
        {0xFFFFFFFFu - 100, 20, 2, 1, 882, {22, 42, 62, 82, 102, 122, 142, 162}},
        {1000, 7, 1, 1, 308, {}},
        {1000, 23, 2, 1, 1014, {}},
        {1000, 33, 3, 1, 1455, {}},
        {1000, 3, 1, 1, 132, {}},
        {1000, 100, 10, 5, 4410, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "start " << c.start << ", period " << c.period);
        Rig rig(c.start);
        ASSERT_TRUE(rig.Start(c.period));
        const auto info = rig.clock.Info(rig.app.GetTimerId());
        ASSERT_TRUE(info);
        EXPECT_EQ(info->period, c.tick);
        EXPECT_EQ(info->resolution, c.resolution);
        EXPECT_EQ(std::pair(rig.clock.LastResolution(), rig.clock.OpenResolutions()),
                  std::pair(c.tick, 1));

        std::vector<uint32_t> times;
        for (std::size_t i = 0; i < c.times.size(); ++i)
            times.push_back(NextBlockTime(rig));
        EXPECT_EQ(times, c.times);
        if (!times.empty()) {
            EXPECT_EQ(rig.app.LastBlockTime(), times.back()); // the stamp: now - start time
            EXPECT_EQ(rig.app.Carry(), c.tick);
        }
        rig.RunUntil(3000);
        const uint32_t made = rig.app.BlocksTriggered() * c.period;
        EXPECT_LE(made, 3000u);
        EXPECT_GT(made + c.period + c.tick, 3000u);
        EXPECT_LE(rig.app.Carry(), c.tick);
        EXPECT_EQ(rig.app.BlocksRefused(), 0u);
        // 44.1 frames a millisecond over the whole run, the fraction carried from block to block:
        // truncated in each block, a 33 ms period made 44 091 frames a second, a 3 ms one 44 000.
        int64_t total = 0;
        for (const auto& block : rig.capture.Blocks()) {
            ASSERT_TRUE(block.frames == c.frames || block.frames == c.frames + 1) << block.frames;
            total += block.frames;
        }
        EXPECT_EQ(total, int64_t{rig.app.BlocksTriggered()} * c.period * 44100 / 1000);
        for (float sample : rig.capture.Left()) // no effect loaded: the cleared buffers
            ASSERT_EQ(sample, 0.0f);
    }
}

TEST(EngineTimer, ATriggerWhileABlockRunsIsSkippedNotMadeUpFor) {
    Rig rig;
    ASSERT_TRUE(rig.Start(20));
    EXPECT_EQ(NextBlockTime(rig), 22u);
    rig.capture.Hold(true);
    rig.clock.Advance(20); // the block due at 42 is triggered and held in the output step
    ASSERT_TRUE(rig.capture.WaitForBlocks(2));
    rig.clock.Advance(20); // the one due at 62 is refused
    EXPECT_EQ(std::pair(rig.app.BlocksRefused(), rig.app.BlocksTriggered()), std::pair(1u, 2u));
    EXPECT_EQ(rig.app.LastBlockTime(), 42u);
    rig.capture.Hold(false);
    test::WaitUntilIdle(rig.app.EngineThread());
    EXPECT_EQ(NextBlockTime(rig), 82u); // the skipped block is lost
    EXPECT_EQ(rig.capture.BlockCount(), 3u);
}

// A second start replaces the running timer; a stop ends it and its resolution; periods outside
// the timer's range, or whose blocks would not fit the mix buffers, are refused.
TEST(EngineTimer, StartReplacesStopEndsAndBadPeriodsAreRefused) {
    Rig rig(1000, 882 * 200, 10);
    auto timers = [&] { return std::pair{rig.clock.ActiveTimers(), rig.clock.OpenResolutions()}; };
    EXPECT_FALSE(rig.Start(9));
    EXPECT_EQ(timers(), std::pair(0, 0));
    ASSERT_TRUE(rig.Start(10));
    EXPECT_EQ(rig.clock.Info(rig.app.GetTimerId())->period, 10u); // never below the minimum
    EXPECT_EQ(rig.clock.Info(rig.app.GetTimerId())->resolution, 5u);
    ASSERT_TRUE(rig.app.StartTimer(50));
    EXPECT_EQ(timers(), std::pair(1, 1)); // the second start replaced the first
    EXPECT_EQ(rig.app.Period(), 50u);
    EXPECT_FALSE(rig.app.StartTimer(CZorvilApp::kMaxTimerPeriod + 1));
    EXPECT_TRUE(rig.app.StartTimer(CZorvilApp::kMaxTimerPeriod));

    EXPECT_TRUE(rig.app.StartTimer(0));
    EXPECT_EQ(timers(), std::pair(0, 0));
    EXPECT_EQ(rig.app.GetTimerId(), platform::kNoTimer);
    EXPECT_EQ(rig.app.Period(), 0u);
    rig.clock.Advance(1000);
    EXPECT_EQ(rig.capture.BlockCount(), 0u);
    EXPECT_TRUE(rig.app.StartTimer(0)); // stopping a stopped timer is harmless
}

// The engine worker allocates nothing once running: the allocation hooks count on threads that
// marked themselves, and the worker marks itself in the output step.
TEST(WorkerAllocation, SteadyProcessingWithEventsAllocatesNothingOnTheWorker) {
    test::Rig rig(0, 882 * 64);
    ASSERT_EQ(rig.app.Host().LoadPlugin(test::PluginPath("zorvil-synth")), 0);
    ASSERT_EQ(rig.app.Host().LoadPlugin(test::PluginPath("zorvil-synth")), 1);
    rig.app.Host().GetSeqEffect(1)->m_wChannelMask = 0x0002; // its own list of events
    // Automates a parameter from every process call: window notifications posted from the worker.
    ASSERT_EQ(rig.app.Host().LoadPlugin(test::PluginPath("zorvil-automator")), 2);
    rig.capture.onBlock = test::MarkThisThread;
    ASSERT_TRUE(rig.Start(20));
    rig.RunBlocks(4); // warm up: the worker is marked from here on

    CMidiMessage sysex;
    const uint8_t bytes[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    ASSERT_EQ(sysex.SetBytes(bytes, sizeof bytes), sizeof bytes);
    test::CountAllocations count;
    for (int block = 0; block < 40; ++block) {
        // Several events per block, on several channels, notes starting and ending.
        const auto key = static_cast<uint8_t>(48 + block % 24);
        rig.app.Host().QueueMidiEvent(CMidiMessage(0x90, key, 100));
        rig.app.Host().QueueMidiEvent(CMidiMessage(0x91, static_cast<uint8_t>(key + 7), 80));
        rig.app.Host().QueueMidiEvent(CMidiMessage(0x80, static_cast<uint8_t>(key - 1), 0));
        rig.app.Host().QueueMidiEvent(CMidiMessage(0xB0, 7, 100));
        rig.app.Host().QueueMidiEvent(sysex);
        rig.RunBlocks(1);
    }
    EXPECT_EQ(count.Count(), 0u);
    EXPECT_EQ(rig.capture.BlockCount(), 44u);
    float peak = 0.0f; // the notes were heard: the engine did real work meanwhile
    for (float sample : rig.capture.Left())
        peak = std::max(peak, std::abs(sample));
    EXPECT_GT(peak, 0.01f);
}

} // namespace
} // namespace zorvil
