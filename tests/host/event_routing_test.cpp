// The event lists the host builds from its MIDI queue, and the part of them each effect gets.
#include "host/seq_host.h"

#include <gtest/gtest.h>

#include <vector>

namespace zorvil {
namespace {

VstEvent* EventAt(const VstEvents* list, int i) {
    const auto* pointers = reinterpret_cast<VstEvent* const*>(
        reinterpret_cast<const std::byte*>(list) + offsetof(VstEvents, events));
    return pointers[i];
}

const VstMidiEvent& MidiAt(const VstEvents* list, int i) {
    return *reinterpret_cast<const VstMidiEvent*>(EventAt(list, i));
}

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

VstEvents* BuildFromQueue(CSeqHost& host, int frames, uint32_t blockTime) {
    const CMidiInputQueue::Counts counts = host.MidiQueue().Snapshot();
    return host.BuildEventList(frames, blockTime, counts.shortCount, counts.sysexCount);
}

TEST(EventList, EmptyQueueGivesNoList) {
    CSeqHost host;
    EXPECT_EQ(BuildFromQueue(host, 882, 0), nullptr);
    EXPECT_EQ(host.FilterEvents(nullptr, 0xFFFF), nullptr);
}

TEST(EventList, OffsetsAre44FramesPerMillisecondClampedToTheLastFrame) {
    CSeqHost host;
    QueueShort(host, 0x00403C90, 1010); // 10 ms after the block: 440
    QueueShort(host, 0x00403D90, 1000); // at the block time: 0
    QueueShort(host, 0x00403E90, 999);  // before the block: wraps, last frame
    QueueShort(host, 0x00403F90, 0);    // time stamp 0 (sequencer): last frame
    QueueShort(host, 0x00404090, 1020); // 880: beyond a 551-frame sub-block, last frame
    QueueShort(host, 0x00404190, 1000 + 0x40000000u); // 44 x 2^30 wraps to 0
    const VstEvents* list = BuildFromQueue(host, 551, 1000);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->numEvents, 6);
    EXPECT_EQ(MidiAt(list, 0).deltaFrames, 440);
    EXPECT_EQ(MidiAt(list, 1).deltaFrames, 0);
    EXPECT_EQ(MidiAt(list, 2).deltaFrames, 550);
    EXPECT_EQ(MidiAt(list, 3).deltaFrames, 550);
    EXPECT_EQ(MidiAt(list, 4).deltaFrames, 550);
    // The multiplication wraps in 32 bits too.
    EXPECT_EQ(MidiAt(list, 5).deltaFrames, 0);
    // Queue order is kept.
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(static_cast<uint8_t>(MidiAt(list, i).midiData[1]), 0x3C + i);
}

TEST(EventList, ShortEventsComeBeforeSystemExclusiveOnes) {
    CSeqHost host;
    QueueSysex(host, {0xF0, 0x7E, 0x01, 0x02, 0xF7}, 1002);
    QueueShort(host, 0x00403C90, 1000);
    QueueSysex(host, {0xF0, 0x01, 0x02, 0x03, 0x04, 0x05, 0xF7}, 900);
    QueueShort(host, 0x00000AC0, 1001); // program change
    const VstEvents* list = BuildFromQueue(host, 1024, 1000);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->numEvents, 4);
    EXPECT_EQ(EventAt(list, 0)->type, kVstMidiType);
    EXPECT_EQ(EventAt(list, 1)->type, kVstMidiType);
    EXPECT_EQ(MidiAt(list, 1).deltaFrames, 44);
    const auto& first = *reinterpret_cast<const VstMidiSysexEvent*>(EventAt(list, 2));
    const auto& second = *reinterpret_cast<const VstMidiSysexEvent*>(EventAt(list, 3));
    EXPECT_EQ(first.type, kVstSysExType);
    EXPECT_EQ(first.deltaFrames, 88);
    EXPECT_EQ(first.dumpBytes, 5);
    EXPECT_EQ(std::vector<uint8_t>(first.sysexDump, first.sysexDump + 5),
              (std::vector<uint8_t>{0xF0, 0x7E, 0x01, 0x02, 0xF7}));
    EXPECT_EQ(second.deltaFrames, 1023);
    EXPECT_EQ(second.dumpBytes, 7);
    EXPECT_EQ(static_cast<uint8_t>(second.sysexDump[5]), 0x05);
}

TEST(EventList, CoversOnlyTheSnapshotCounts) {
    CSeqHost host;
    EXPECT_EQ(BuildFromQueue(host, 882, 0), nullptr); // empty queue: no list
    EXPECT_EQ(host.FilterEvents(nullptr, 0xFFFF), nullptr);
    for (uint32_t key = 0; key < 5; ++key)
        QueueShort(host, 0x00400090 | (key << 8), 0);
    const VstEvents* list = host.BuildEventList(882, 0, 3, 0);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->numEvents, 3);
    EXPECT_EQ(host.BuildEventList(882, 0, 0, 0), nullptr);
}

TEST(EventList, FullQueuesFitTheReservedStorage) {
    CSeqHost host;
    for (uint32_t i = 0; i < CMidiInputQueue::kShortCapacity; ++i)
        QueueShort(host, 0x00400090 | ((i % 128) << 8), i);
    for (uint32_t i = 0; i < CMidiInputQueue::kSysexCapacity; ++i)
        QueueSysex(host, {0xF0, 0x01, 0x02, static_cast<uint8_t>(i & 0x7F), 0xF7}, i);
    const VstEvents* list = BuildFromQueue(host, 1023, 0);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->numEvents, 2100);
    EXPECT_EQ(MidiAt(list, 1999).deltaFrames, 1022); // clamped
    EXPECT_EQ(EventAt(list, 2099)->type, kVstSysExType);
    const VstEvents* filtered = host.FilterEvents(list, 0xFFFF);
    ASSERT_NE(filtered, nullptr);
    EXPECT_EQ(filtered->numEvents, 2100);
}

TEST(EventList, RenderMarkerIsSeenOnlyWhileTheMarkerWasSent) {
    const struct {
        uint32_t word;
        RenderState before;
        RenderState after;
    } cases[] = {
        {0x00010090, RenderState::Armed, RenderState::Armed}, // not yet sent: unchanged
        {0x00010090, RenderState::MarkerSent, RenderState::MarkerSeen},
        {0x0001009F, RenderState::MarkerSent, RenderState::MarkerSeen}, // channel 16 too
        {0x00010090, RenderState::Writing, RenderState::Writing},
        // Only note-ons of key 0 at velocity 1 are markers.
        {0x00020090, RenderState::MarkerSent, RenderState::MarkerSent},
        {0x00010190, RenderState::MarkerSent, RenderState::MarkerSent},
        {0x00010080, RenderState::MarkerSent, RenderState::MarkerSent},
        {0x000100B0, RenderState::MarkerSent, RenderState::MarkerSent},
    };
    for (const auto& c : cases) {
        CSeqHost host;
        RenderStateWord state{c.before};
        host.SetRenderState(&state);
        QueueShort(host, c.word, 0);
        const VstEvents* list = BuildFromQueue(host, 882, 0);
        EXPECT_EQ(state.load(), c.after) << std::hex << c.word;
        // The marker is an ordinary note for the plug-ins.
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(MidiAt(list, 0).midiData[0], static_cast<char>(c.word & 0xFF));
    }
}

TEST(FilterEvents, ChannelMaskSelectsShortEventsInOrder) {
    CSeqHost host;
    QueueShort(host, 0x00403C90, 0); // channel 1
    QueueShort(host, 0x00403D91, 0); // channel 2
    QueueShort(host, 0x00403E90, 0); // channel 1
    QueueShort(host, 0x00003FBF, 0); // channel 16
    const VstEvents* list = BuildFromQueue(host, 882, 0);
    ASSERT_NE(list, nullptr);

    const VstEvents* channel1 = host.FilterEvents(list, 0x0001);
    ASSERT_NE(channel1, nullptr);
    ASSERT_EQ(channel1->numEvents, 2);
    EXPECT_EQ(EventAt(channel1, 0), EventAt(list, 0)); // the same records, not copies
    EXPECT_EQ(EventAt(channel1, 1), EventAt(list, 2));

    const VstEvents* channel16 = host.FilterEvents(list, 0x8000);
    ASSERT_NE(channel16, nullptr);
    ASSERT_EQ(channel16->numEvents, 1);
    EXPECT_EQ(EventAt(channel16, 0), EventAt(list, 3));

    EXPECT_EQ(host.FilterEvents(list, 0x0004), nullptr); // channel 3: nothing passes
    EXPECT_EQ(host.FilterEvents(list, 0xFFFF)->numEvents, 4);

    // System exclusive passes every mask, even one that lets no channel through.
    QueueSysex(host, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, 0);
    const VstEvents* withSysex = BuildFromQueue(host, 882, 0);
    ASSERT_NE(withSysex, nullptr);
    for (uint16_t mask : {uint16_t{0x0004}, uint16_t{0x0000}}) {
        const VstEvents* filtered = host.FilterEvents(withSysex, mask);
        ASSERT_NE(filtered, nullptr) << mask;
        ASSERT_EQ(filtered->numEvents, 1);
        EXPECT_EQ(EventAt(filtered, 0)->type, kVstSysExType);
    }
}

TEST(SubBlocks, SplitIntoAtLeast512FramesAndAtMost100) {
    // The split of ordinary blocks is checked on a plug-in in the block tests.
    EXPECT_EQ(CSeqHost::SubBlockCount(1), 1);
    EXPECT_EQ(CSeqHost::SubBlockCount(51200), 100);
    EXPECT_EQ(CSeqHost::SubBlockCount(32000), 62);
    // No sub-block of a block up to 32000 frames exceeds 1023 frames.
    for (int frames = 1; frames <= CSeqHost::kMixFrames; ++frames) {
        const int n = CSeqHost::SubBlockCount(frames);
        ASSERT_LE(frames / n + frames % n, 1023) << frames;
    }
}

} // namespace
} // namespace zorvil
