// One block through the host: the event lists built from the MIDI queue and filtered for each
// effect, sub-blocks, the process calls and the mix.
#include "engine/block_processor.h"
#include "host/seq_host.h"
#include "probe_access.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace zorvil {
namespace {

using test::PluginPath;
using test::ProbeAccess;

constexpr float kProbeLevel = 0.5f; // the probe's default level: +level left, -level right
const std::vector<uint8_t> kSysex = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
const std::string kSysexLog = "sysex 0 6 f07e7f0901f7\n";

void QueueShort(CSeqHost& host, uint32_t word, uint32_t time) {
    CMidiMessage message(word);
    message.SetTime(time);
    host.QueueMidiEvent(message);
}

void QueueSysex(CSeqHost& host, std::vector<uint8_t> bytes, uint32_t time) {
    CMidiMessage message;
    ASSERT_EQ(message.SetBytes(bytes.data(), bytes.size()), bytes.size());
    message.SetTime(time);
    host.QueueMidiEvent(message);
}

// Keeps a copy of every block handed to the output step.
class CapturingOutput : public IBlockOutput {
public:
    void OutputBlock(float* const* buffers, int frames) noexcept override {
        ++calls;
        lastBuffers = buffers;
        left.assign(buffers[0], buffers[0] + frames);
        right.assign(buffers[1], buffers[1] + frames);
    }
    int calls = 0;
    float* const* lastBuffers = nullptr;
    std::vector<float> left, right;
};

class Block : public ::testing::Test {
protected:
    Block() { host.SetBlockOutput(&output); }

    // Loads `name`; a probe's log then starts empty.
    int Load(const char* name) {
        const int slot = host.LoadPlugin(PluginPath(name));
        if (const ProbeAccess probe(name); slot >= 0 && probe.Valid())
            probe.Clear(*host.GetEffect(slot));
        return slot;
    }

    void Run(int frames, uint32_t time = 1000) { host.ProcessBlock(buffers, frames, 2, time); }

    // The probe's log in `slot` since the last call.
    std::string Log(const char* library, int slot) {
        const ProbeAccess probe(library);
        std::string log = probe.Log(*host.GetEffect(slot));
        probe.Clear(*host.GetEffect(slot));
        return log;
    }

    CSeqHost host;
    CapturingOutput output;
    std::vector<float> left = std::vector<float>(44100, 7.0f); // stale: the host must clear it
    std::vector<float> right = left;
    float* buffers[2] = {left.data(), right.data()};
};

TEST_F(Block, WithoutEffectsTheBlockIsClearedTheQueueConsumedAndOnlyTheMarkerSeen) {
    using enum RenderState;
    // clang-format off
    const struct { uint32_t word; RenderState before, after; } cases[] = {
        {0x00010090, Armed, Armed}, // not while sent: unchanged
        {0x0001009F, MarkerSent, MarkerSeen}, // a note-on of key 0 at velocity 1, any channel
        {0x00020090, MarkerSent, MarkerSent}, {0x00010080, MarkerSent, MarkerSent}};
    // clang-format on
    for (const auto& c : cases) {
        RenderStateWord state{c.before};
        host.SetRenderState(&state);
        QueueShort(host, c.word, 0);
        Run(882); // the block held stale data, as it holds a wave input's sound
        EXPECT_EQ(state.load(), c.after) << std::hex << c.word;
        EXPECT_EQ(host.MidiQueue().Snapshot().shortCount, 0u);
        EXPECT_EQ(output.left, std::vector<float>(882, 0.0f));
        EXPECT_EQ(output.right, std::vector<float>(882, 0.0f));
    }
    host.SetRenderState(nullptr);
}

TEST_F(Block, SubBlocksFollowTheSplitAndOversizedBlocksAreRefused) {
    ASSERT_EQ(Load("zorvil-probe"), 0);
    const std::pair<int, const char*> cases[] = {
        {2205, "replacing 551\nreplacing 551\nreplacing 551\nreplacing 552\n"},
        {882, "replacing 882\n"},
        {1024, "replacing 512\nreplacing 512\n"},
        {1023, "replacing 1023\n"},
    };
    for (const auto& [frames, log] : cases) {
        Run(frames);
        EXPECT_EQ(Log("zorvil-probe", 0), log) << frames;
        EXPECT_EQ(output.left.size(), static_cast<std::size_t>(frames));
    }
    Run(CSeqHost::kMixFrames + 1); // oversized and empty blocks are refused
    Run(0);
    EXPECT_EQ(output.calls, 4);
    EXPECT_EQ(Log("zorvil-probe", 0), "");
    Run(CSeqHost::kMixFrames);
    EXPECT_EQ(output.calls, 5);
}

// Events land 44 frames per millisecond after the block's start (anything earlier or past the
// sub-block on its last frame), system exclusive after the short messages, all before the first
// sub-block's process call only; the channel mask and want-MIDI decide who hears what.
TEST_F(Block, EventsReachTheirListenersAtTheirFramesBeforeTheFirstSubBlock) {
    ASSERT_EQ(Load("zorvil-probe"), 0);
    ASSERT_EQ(Load("zorvil-probe-out1"), 1);
    ASSERT_EQ(Load("zorvil-probe-accumulate"), 2);
    host.GetSeqEffect(0)->m_wChannelMask = 0x8001; // channels 1 and 16 only
    host.GetSeqEffect(2)->m_bWantMidi = false;     // never asked for MIDI
    QueueSysex(host, kSysex, 999);                 // before the block: last frame
    // 10 ms in; at the block time; before it (wraps); time stamp 0 (sequencer); beyond the
    // 512-frame sub-block; 44 x 2^30 wraps to 0 in 32 bits.
    const uint32_t times[] = {1010, 1000, 999, 0, 1020, 1000 + 0x40000000u};
    for (uint32_t i = 0; i < 6; ++i)
        QueueShort(host, 0x00403C90 + (i << 8), times[i]);
    QueueShort(host, 0x00403D91, 1000); // channel 2
    QueueShort(host, 0x00003FBF, 1000); // channel 16
    Run(1024);
    const std::string channel1 = "midi 440 90 3c 40 00\nmidi 0 90 3d 40 00\nmidi 511 90 3e 40 00\n"
                                 "midi 511 90 3f 40 00\nmidi 511 90 40 40 00\nmidi 0 90 41 40 00\n";
    const std::string tail = "midi 0 bf 3f 00 00\nsysex 511 6 f07e7f0901f7\n"
                             "replacing 512\nreplacing 512\n";
    EXPECT_EQ(Log("zorvil-probe", 0), "dispatch 25 0 0 0\nevents 8\n" + channel1 + tail);
    EXPECT_EQ(Log("zorvil-probe-out1", 1),
              "dispatch 25 0 0 0\nevents 9\n" + channel1 + "midi 0 91 3d 40 00\n" + tail);
    EXPECT_EQ(Log("zorvil-probe-accumulate", 2), "process 512\nprocess 512\n"); // by its flags

    // System exclusive alone still makes a list, and passes a mask of no channel.
    host.GetSeqEffect(0)->m_wChannelMask = 0x0000;
    QueueSysex(host, kSysex, 1000);
    Run(882);
    EXPECT_EQ(Log("zorvil-probe", 0),
              "dispatch 25 0 0 0\nevents 1\n" + kSysexLog + "replacing 882\n");

    // Full queues fit the list's reserved storage.
    for (uint32_t i = 0; i < CMidiInputQueue::kShortCapacity; ++i)
        QueueShort(host, 0x00400090 | ((i % 128) << 8), i);
    for (uint32_t i = 0; i < CMidiInputQueue::kSysexCapacity; ++i)
        QueueSysex(host, kSysex, i);
    Run(1023, 0);
    const std::string full = Log("zorvil-probe-out1", 1);
    EXPECT_NE(full.find("dispatch 25 0 0 0\nevents 2100\n"), std::string::npos);
    EXPECT_NE(full.find("midi 1022 90 4f 40 00\nsysex 0 6"), std::string::npos); // clamped
}

TEST_F(Block, MixGainIsTheSquareRootOfOneOverTheCountAndOnlyWhatAnEffectHasIsMixed) {
    const auto mix = [](int terms, int count) { // `terms` effect outputs among `count` effects
        float sum = 0.0f;
        for (int i = 0; i < terms; ++i)
            sum += std::sqrt(1.0f / static_cast<float>(count)) * kProbeLevel;
        return sum;
    };
    const char* probe = "zorvil-probe";
    const struct {
        std::vector<const char*> effects;
        float left, right; // stale data is never mixed in
    } cases[] = {
        {{probe}, mix(1, 1), -mix(1, 1)},
        {{probe, probe, probe, probe}, mix(4, 4), -mix(4, 4)},
        {{probe, probe, probe, probe, probe}, mix(5, 5), -mix(5, 5)}, // a second pass adds
        {{"zorvil-probe-out1"}, mix(1, 1), mix(1, 1)}, // mono: both channels, the same gain
        {{"zorvil-probe-out1", probe}, mix(2, 2), 0.0f},
        {{"zorvil-probe-out0", probe}, mix(1, 2), -mix(1, 2)},
        {{"zorvil-probe-accumulate", probe}, mix(2, 2), -mix(2, 2)}, // its outputs cleared first
    };
    for (const auto& c : cases) {
        host.RemoveAll();
        for (const char* effect : c.effects)
            ASSERT_GE(Load(effect), 0);
        for (int block = 0; block < 2; ++block) {
            std::fill_n(host.MixBuffers()[1], CSeqHost::kMixFrames, 9.0f); // stale
            Run(882);
            EXPECT_EQ(output.lastBuffers, host.MixBuffers());
            EXPECT_EQ(output.left, std::vector<float>(882, c.left)) << c.effects[0];
            EXPECT_EQ(output.right, std::vector<float>(882, c.right)) << c.effects.size();
        }
    }
}

TEST_F(Block, EveryBufferAPlugInSeesIsAlignedWithSlackAndInputsReadTheBlockOrSilence) {
    // Block buffers of exactly the block's size, as a caller may give them: the vector probe
    // reads 64 bytes past every buffer's last frame, which the sanitizers would catch beyond
    // an allocation, and logs any buffer not on a 64-byte boundary.
    ASSERT_EQ(Load("zorvil-probe-vector"), 0);
    ASSERT_EQ(Load("zorvil-probe-vector"), 1);
    for (const int frames : {2205, 1023}) {
        std::vector<float> exactLeft(static_cast<size_t>(frames), 3.0f);
        std::vector<float> exactRight(static_cast<size_t>(frames), 3.0f);
        float* exact[2] = {exactLeft.data(), exactRight.data()};
        for (const int channels : {2, 1, 0}) {
            host.ProcessBlock(channels > 0 ? exact : nullptr, frames, channels, 1000);
            for (int slot = 0; slot < 2; ++slot)
                EXPECT_EQ(Log("zorvil-probe-vector", slot).find("misaligned"), std::string::npos)
                    << frames << " frames, " << channels << " channels";
            // The inputs were the cleared block (or silence): the probe adds them to its level.
            const float gain = std::sqrt(0.5f);
            EXPECT_EQ(output.left,
                      std::vector<float>(static_cast<size_t>(frames), 2 * gain * kProbeLevel));
            EXPECT_EQ(output.right,
                      std::vector<float>(static_cast<size_t>(frames), -2 * gain * kProbeLevel));
        }
    }
}

TEST_F(Block, SystemExclusiveOver64KiBReachesPlugInsWhole) {
    ASSERT_EQ(Load("zorvil-probe"), 0);
    static const char* const kHex = "0123456789abcdef";
    std::vector<uint8_t> dump = {0xF0};
    while (dump.size() < 70000 - 1)
        dump.push_back(static_cast<uint8_t>(dump.size() % 0x7F));
    dump.push_back(0xF7);
    QueueSysex(host, dump, 1000);
    Run(882);
    std::string hex;
    for (const uint8_t byte : dump)
        hex += {kHex[byte >> 4], kHex[byte & 15]};
    EXPECT_EQ(Log("zorvil-probe", 0),
              "dispatch 25 0 0 0\nevents 1\nsysex 0 70000 " + hex + "\nreplacing 882\n");
}

TEST_F(Block, AThrowingEventHandlerCostsOnlyItsEvents) {
    ASSERT_EQ(Load("zorvil-broken-events-throw"), 0);
    ASSERT_EQ(Load("zorvil-probe"), 1);
    QueueShort(host, 0x00403C90, 1000);
    Run(882);
    ASSERT_EQ(output.calls, 1);
    const std::string thrower = Log("zorvil-broken-events-throw", 0);
    EXPECT_NE(thrower.find("events 1\n"), std::string::npos);
    EXPECT_NE(thrower.find("replacing 882\n"), std::string::npos);
    EXPECT_NE(Log("zorvil-probe", 1).find("events 1\n"), std::string::npos);
    EXPECT_EQ(output.left, std::vector<float>(882, 2 * std::sqrt(0.5f) * kProbeLevel));
}

} // namespace
} // namespace zorvil
