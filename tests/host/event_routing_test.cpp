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

TEST(EventList, ShortEventsCarryTheirBytesAndZeroedFields) {
    CSeqHost host;
    QueueShort(host, 0x00643C91, 1000); // note-on, channel 2, key 60, velocity 100
    const VstEvents* list = BuildFromQueue(host, 882, 1000);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->numEvents, 1);
    EXPECT_EQ(list->reserved, 0);
    const VstMidiEvent& event = MidiAt(list, 0);
    EXPECT_EQ(event.type, kVstMidiType);
    EXPECT_EQ(event.byteSize, 32);
    EXPECT_EQ(event.deltaFrames, 0);
    EXPECT_EQ(event.flags, 0);
    EXPECT_EQ(event.noteLength, 0);
    EXPECT_EQ(event.noteOffset, 0);
    EXPECT_EQ(static_cast<uint8_t>(event.midiData[0]), 0x91);
    EXPECT_EQ(static_cast<uint8_t>(event.midiData[1]), 0x3C);
    EXPECT_EQ(static_cast<uint8_t>(event.midiData[2]), 0x64);
    EXPECT_EQ(event.midiData[3], 0);
    EXPECT_EQ(event.detune, 0);
    EXPECT_EQ(event.noteOffVelocity, 0);
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
    EXPECT_EQ(first.byteSize, static_cast<int32_t>(sizeof(VstMidiSysexEvent)));
    EXPECT_EQ(first.deltaFrames, 88);
    EXPECT_EQ(first.dumpBytes, 5);
    EXPECT_EQ(first.flags, 0);
    EXPECT_EQ(first.resvd1, 0);
    EXPECT_EQ(first.resvd2, 0);
    EXPECT_EQ(std::vector<uint8_t>(first.sysexDump, first.sysexDump + 5),
              (std::vector<uint8_t>{0xF0, 0x7E, 0x01, 0x02, 0xF7}));
    EXPECT_EQ(second.deltaFrames, 1023);
    EXPECT_EQ(second.dumpBytes, 7);
    EXPECT_EQ(static_cast<uint8_t>(second.sysexDump[5]), 0x05);
}

TEST(EventList, QueueHoldingOnlySystemExclusiveStillGivesAList) {
    CSeqHost host;
    QueueSysex(host, {0xF0, 0x43, 0x10, 0x4C, 0xF7}, 0);
    const VstEvents* list = BuildFromQueue(host, 882, 0);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->numEvents, 1);
    EXPECT_EQ(EventAt(list, 0)->type, kVstSysExType);
}

TEST(EventList, CoversOnlyTheSnapshotCounts) {
    CSeqHost host;
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
    CSeqHost host;
    RenderStateWord state{RenderState::Armed};
    host.SetRenderState(&state);
    QueueShort(host, 0x00010090, 0); // key 0, velocity 1: the marker
    ASSERT_NE(BuildFromQueue(host, 882, 0), nullptr);
    EXPECT_EQ(state.load(), RenderState::Armed); // not yet sent: unchanged

    state = RenderState::MarkerSent;
    const VstEvents* list = BuildFromQueue(host, 882, 0);
    EXPECT_EQ(state.load(), RenderState::MarkerSeen);
    // The marker is an ordinary note for the plug-ins.
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(static_cast<uint8_t>(MidiAt(list, 0).midiData[0]), 0x90);

    state = RenderState::Writing;
    BuildFromQueue(host, 882, 0);
    EXPECT_EQ(state.load(), RenderState::Writing);
}

TEST(EventList, OnlyKeyZeroVelocityOneNoteOnsAreMarkers) {
    for (uint32_t word : {0x00020090u, 0x00010190u, 0x00010080u, 0x000100B0u}) {
        CSeqHost host;
        host.GetRenderState() = RenderState::MarkerSent;
        QueueShort(host, word, 0);
        BuildFromQueue(host, 882, 0);
        EXPECT_EQ(host.GetRenderState().load(), RenderState::MarkerSent) << std::hex << word;
    }
    CSeqHost host;
    host.GetRenderState() = RenderState::MarkerSent;
    QueueShort(host, 0x0001009F, 0); // channel 16 counts too
    BuildFromQueue(host, 882, 0);
    EXPECT_EQ(host.GetRenderState().load(), RenderState::MarkerSeen);
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
}

TEST(FilterEvents, SystemExclusivePassesEveryMask) {
    CSeqHost host;
    QueueShort(host, 0x00403C91, 0); // channel 2
    QueueSysex(host, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, 0);
    const VstEvents* list = BuildFromQueue(host, 882, 0);
    ASSERT_NE(list, nullptr);
    for (uint16_t mask : {uint16_t{0x0001}, uint16_t{0x8000}, uint16_t{0x0000}}) {
        const VstEvents* filtered = host.FilterEvents(list, mask);
        ASSERT_NE(filtered, nullptr) << mask;
        ASSERT_EQ(filtered->numEvents, 1);
        EXPECT_EQ(EventAt(filtered, 0)->type, kVstSysExType);
    }
}

TEST(SubBlocks, SplitIntoAtLeast512FramesAndAtMost100) {
    EXPECT_EQ(CSeqHost::SubBlockCount(2205), 4);
    EXPECT_EQ(CSeqHost::SubBlockCount(882), 1);
    EXPECT_EQ(CSeqHost::SubBlockCount(1024), 2);
    EXPECT_EQ(CSeqHost::SubBlockCount(1023), 1);
    EXPECT_EQ(CSeqHost::SubBlockCount(511), 1);
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
