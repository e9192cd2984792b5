// One block through the host: sub-blocks, event delivery, the process calls and the mix.
#include "allocation_counter.h"
#include "host/seq_host.h"
#include "host_test_doubles.h"
#include "probe_access.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace zorvil {
namespace {

using test::PluginPath;
using test::ProbeAccess;

constexpr float kProbeLevel = 0.5f; // the probe's default level: +level left, -level right

class Block : public ::testing::Test {
protected:
    Block() {
        host.SetBlockOutput(&output);
        for (auto& channel : storage)
            channel.assign(44100, 7.0f); // stale contents the host must clear
        buffers[0] = storage[0].data();
        buffers[1] = storage[1].data();
    }

    int Load(const char* name) { return host.LoadPlugin(PluginPath(name)); }

    void QueueNote(uint8_t status, uint8_t key, uint32_t time) {
        CMidiMessage message(status, key, 64);
        message.SetTime(time);
        host.QueueMidiEvent(message);
    }

    void QueueSysex(uint32_t time) {
        const uint8_t bytes[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
        CMidiMessage message;
        message.SetBytes(bytes, sizeof bytes);
        message.SetTime(time);
        host.QueueMidiEvent(message);
    }

    void Run(int frames, uint32_t time = 1000, int channels = 2) {
        host.ProcessBlock(buffers, frames, channels, time);
    }

    std::string LogOf(const char* library, int slot) {
        return ProbeAccess(library).Log(*host.GetEffect(slot));
    }
    void ClearLog(const char* library, int slot) {
        ProbeAccess(library).Clear(*host.GetEffect(slot));
    }

    CSeqHost host;
    test::CapturingOutput output;
    std::vector<float> storage[2];
    float* buffers[2] = {};
};

TEST_F(Block, WithoutEffectsTheClearedBuffersAreOutput) {
    QueueNote(0x90, 60, 1000);
    Run(882);
    ASSERT_EQ(output.calls, 1);
    EXPECT_EQ(output.lastBuffers, buffers);
    EXPECT_EQ(output.left, std::vector<float>(882, 0.0f));
    EXPECT_EQ(output.right, std::vector<float>(882, 0.0f));
    EXPECT_EQ(storage[0][882], 7.0f);                      // only the block is cleared
    EXPECT_EQ(host.MidiQueue().Snapshot().shortCount, 0u); // consumed all the same

    host.SetBlockOutput(nullptr); // no output step: processed and consumed all the same
    QueueNote(0x90, 60, 1000);
    Run(882);
    EXPECT_EQ(host.MidiQueue().Snapshot().shortCount, 0u);
}

TEST_F(Block, SubBlocksFollowTheSplit) {
    ASSERT_EQ(Load("zorvil-probe"), 0);
    const struct {
        int frames;
        const char* log;
    } cases[] = {
        {2205, "replacing 551\nreplacing 551\nreplacing 551\nreplacing 552\n"},
        {882, "replacing 882\n"},
        {1024, "replacing 512\nreplacing 512\n"},
        {1023, "replacing 1023\n"},
        {511, "replacing 511\n"},
    };
    for (const auto& c : cases) {
        ClearLog("zorvil-probe", 0);
        Run(c.frames);
        EXPECT_EQ(LogOf("zorvil-probe", 0), c.log) << c.frames;
        EXPECT_EQ(output.left.size(), static_cast<std::size_t>(c.frames));
    }
}

TEST_F(Block, EventsComeBeforeTheProcessCallAndLeaveTheQueue) {
    ASSERT_EQ(Load("zorvil-probe"), 0);
    ClearLog("zorvil-probe", 0);
    QueueNote(0x90, 60, 1010);
    QueueSysex(1000);
    Run(882, 1000);
    EXPECT_EQ(LogOf("zorvil-probe", 0), "dispatch 25 0 0 0\n"
                                        "events 2\n"
                                        "midi 440 90 3c 40 00\n"
                                        "sysex 0 6 f07e7f0901f7\n"
                                        "replacing 882\n");
    const auto counts = host.MidiQueue().Snapshot();
    EXPECT_EQ(counts.shortCount, 0u);
    EXPECT_EQ(counts.sysexCount, 0u);
}

TEST_F(Block, EachEventReachesOnlyTheFirstSubBlockThatSawIt) {
    ASSERT_EQ(Load("zorvil-probe"), 0);
    ClearLog("zorvil-probe", 0);
    QueueNote(0x90, 60, 0); // sequencer notes carry time 0: last frame of the sub-block
    Run(1024, 5000);
    EXPECT_EQ(LogOf("zorvil-probe", 0), "dispatch 25 0 0 0\n"
                                        "events 1\n"
                                        "midi 511 90 3c 40 00\n"
                                        "replacing 512\n"
                                        "replacing 512\n");
}

TEST_F(Block, ChannelMaskAndWantMidiDecideWhoHearsWhat) {
    ASSERT_EQ(Load("zorvil-probe"), 0);
    ASSERT_EQ(Load("zorvil-probe-out1"), 1);
    ASSERT_EQ(Load("zorvil-probe-accumulate"), 2);
    host.GetSeqEffect(0)->m_wChannelMask = 0x0001; // channel 1 only
    host.GetSeqEffect(2)->m_bWantMidi = false;     // never asked for MIDI
    ClearLog("zorvil-probe", 0);
    ClearLog("zorvil-probe-out1", 1);
    ClearLog("zorvil-probe-accumulate", 2);

    QueueNote(0x91, 62, 1000); // channel 2
    Run(882);
    EXPECT_EQ(LogOf("zorvil-probe", 0), "replacing 882\n");
    EXPECT_EQ(LogOf("zorvil-probe-out1", 1),
              "dispatch 25 0 0 0\nevents 1\nmidi 0 91 3e 40 00\nreplacing 882\n");
    EXPECT_EQ(LogOf("zorvil-probe-accumulate", 2), "process 882\n");

    // System exclusive alone still makes a list, and passes the restricted mask.
    ClearLog("zorvil-probe", 0);
    ClearLog("zorvil-probe-out1", 1);
    QueueSysex(1000);
    Run(882);
    EXPECT_EQ(LogOf("zorvil-probe", 0),
              "dispatch 25 0 0 0\nevents 1\nsysex 0 6 f07e7f0901f7\nreplacing 882\n");
    EXPECT_EQ(LogOf("zorvil-probe-out1", 1),
              "dispatch 25 0 0 0\nevents 1\nsysex 0 6 f07e7f0901f7\nreplacing 882\n");
}

TEST_F(Block, ProcessOrProcessReplacingByTheFlag) {
    ASSERT_EQ(Load("zorvil-probe-accumulate"), 0);
    ClearLog("zorvil-probe-accumulate", 0);
    for (int block = 0; block < 2; ++block) {
        Run(882);
        // Its outputs were cleared first, so the accumulating call leaves just its own level.
        EXPECT_EQ(output.left, std::vector<float>(882, kProbeLevel));
    }
    EXPECT_EQ(LogOf("zorvil-probe-accumulate", 0), "process 882\nprocess 882\n");
}

TEST_F(Block, MixGainIsTheSquareRootOfOneOverTheCount) {
    for (int count = 1; count <= 4; ++count) {
        host.RemoveAll();
        for (int i = 0; i < count; ++i)
            ASSERT_EQ(Load("zorvil-probe"), i);
        Run(2205);
        const float gain = std::sqrt(1.0f / static_cast<float>(count));
        float expected = 0.0f;
        for (int i = 0; i < count; ++i)
            expected += gain * kProbeLevel;
        ASSERT_EQ(output.left.size(), 2205u);
        EXPECT_EQ(output.lastBuffers, host.MixBuffers());
        for (int i = 0; i < 2205; ++i) {
            ASSERT_EQ(output.left[i], expected) << count << " effects, frame " << i;
            ASSERT_EQ(output.right[i], -expected) << count << " effects, frame " << i;
        }
    }
}

TEST_F(Block, EffectsWithOneOrNoOutputsCountInTheGainAndAddWhatTheyHave) {
    const float gain = std::sqrt(0.5f);
    const struct {
        const char* first;
        float left;  // with a stereo effect behind it
        float right; // stale data is never mixed in
    } cases[] = {
        {"zorvil-probe-out1", gain * kProbeLevel + gain * kProbeLevel, gain * -kProbeLevel},
        {"zorvil-probe-out0", gain * kProbeLevel, gain * -kProbeLevel},
    };
    for (const auto& c : cases) {
        host.RemoveAll();
        ASSERT_EQ(Load(c.first), 0);
        ASSERT_EQ(Load("zorvil-probe"), 1);
        std::fill_n(host.MixBuffers()[1], CSeqHost::kMixFrames, 9.0f); // stale
        Run(882);
        EXPECT_EQ(output.lastBuffers, host.MixBuffers()) << c.first;
        EXPECT_EQ(output.left, std::vector<float>(882, c.left)) << c.first;
        EXPECT_EQ(output.right, std::vector<float>(882, c.right)) << c.first;
    }
}

TEST_F(Block, InputsPointIntoTheBlockAndReadSilenceBeyondIt) {
    ASSERT_EQ(Load("zorvil-probe"), 0);
    Run(1024);
    CSeqEffect& effect = *host.GetSeqEffect(0);
    EXPECT_EQ(effect.m_ppInputs[0], buffers[0] + 512); // the last sub-block's offset
    EXPECT_EQ(effect.m_ppInputs[1], buffers[1] + 512);

    Run(882, 1000, 1); // a one-channel block
    EXPECT_EQ(effect.m_ppInputs[0], buffers[0]);
    ASSERT_NE(effect.m_ppInputs[1], nullptr);
    EXPECT_EQ(output.right, std::vector<float>(882, -kProbeLevel));
}

TEST_F(Block, AThrowingEventHandlerCostsOnlyItsEvents) {
    ASSERT_EQ(Load("zorvil-broken-events-throw"), 0);
    ASSERT_EQ(Load("zorvil-probe"), 1);
    QueueNote(0x90, 60, 1000);
    Run(882);
    ASSERT_EQ(output.calls, 1);
    EXPECT_NE(LogOf("zorvil-broken-events-throw", 0).find("events 1\n"), std::string::npos);
    EXPECT_NE(LogOf("zorvil-broken-events-throw", 0).find("replacing 882\n"), std::string::npos);
    EXPECT_NE(LogOf("zorvil-probe", 1).find("events 1\n"), std::string::npos);
    const float gain = std::sqrt(0.5f);
    EXPECT_EQ(output.left, std::vector<float>(882, gain * kProbeLevel + gain * kProbeLevel));
    EXPECT_EQ(host.MidiQueue().Snapshot().shortCount, 0u);
}

TEST_F(Block, OversizedBlocksAreRefused) {
    ASSERT_EQ(Load("zorvil-probe"), 0);
    ClearLog("zorvil-probe", 0);
    Run(CSeqHost::kMixFrames + 1);
    Run(0);
    EXPECT_EQ(output.calls, 0);
    EXPECT_EQ(LogOf("zorvil-probe", 0), "");
    Run(CSeqHost::kMixFrames);
    EXPECT_EQ(output.calls, 1);
}

TEST_F(Block, SteadyProcessingWithEventsAllocatesNothing) {
    test::MarkThisThread();
    {
        test::CountAllocations probe;
        auto allocated = std::make_unique<int>(1);
        if (probe.Count() == 0) GTEST_SKIP() << "this build's allocator cannot be counted";
    }
    ASSERT_EQ(Load("zorvil-synth"), 0);
    ASSERT_EQ(Load("zorvil-synth"), 1);
    host.GetSeqEffect(1)->m_wChannelMask = 0x0002;
    Run(2205); // warm up
    for (int i = 0; i < 16; ++i)
        QueueNote(static_cast<uint8_t>(0x90 | (i & 1)), static_cast<uint8_t>(48 + i), 1000);
    QueueSysex(1000);
    test::CountAllocations allocations;
    Run(2205);
    EXPECT_EQ(allocations.Count(), 0u);
    EXPECT_EQ(output.calls, 2);
}

} // namespace
} // namespace zorvil
