// The event lists the host builds from its MIDI queue, and the part of them each effect gets.
#include "host/seq_host.h"

#include <gtest/gtest.h>

#include <vector>

namespace zorvil {
namespace {

VstEvent* EventAt(const VstEvents* list, int i) {
    return reinterpret_cast<VstEvent* const*>(reinterpret_cast<const std::byte*>(list) +
                                              offsetof(VstEvents, events))[i];
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

TEST(EventList, OffsetsAre44FramesPerMillisecondAndSystemExclusiveComesLast) {
    CSeqHost host;
    QueueSysex(host, {0xF0, 0x7E, 0x01, 0x02, 0xF7}, 999); // before the block: last frame
    // 10 ms after the block; at the block time; before it (wraps); time stamp 0 (sequencer);
    // beyond a 551-frame sub-block; 44 x 2^30 wraps to 0 in 32 bits.
    const uint32_t times[] = {1010, 1000, 999, 0, 1020, 1000 + 0x40000000u};
    const int32_t offsets[] = {440, 0, 550, 550, 550, 0};
    for (uint32_t i = 0; i < 6; ++i)
        QueueShort(host, 0x00403C90 + (i << 8), times[i]);
    const VstEvents* list = BuildFromQueue(host, 551, 1000);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->numEvents, 7);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(MidiAt(list, i).deltaFrames, offsets[i]) << i;
        EXPECT_EQ(MidiAt(list, i).midiData[1], 0x3C + i); // queue order is kept
    }
    const auto& sysex = *reinterpret_cast<const VstMidiSysexEvent*>(EventAt(list, 6));
    EXPECT_EQ(sysex.type, kVstSysExType);
    EXPECT_EQ(sysex.deltaFrames, 550);
    EXPECT_EQ(std::vector<uint8_t>(sysex.sysexDump, sysex.sysexDump + sysex.dumpBytes),
              (std::vector<uint8_t>{0xF0, 0x7E, 0x01, 0x02, 0xF7}));
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
    EXPECT_EQ(host.FilterEvents(list, 0xFFFF)->numEvents, 2100);
}

TEST(EventList, RenderMarkerIsSeenOnlyWhileTheMarkerWasSent) {
    using enum RenderState;
    const struct {
        uint32_t word;
        RenderState before, after;
    } cases[] = {
        {0x00010090, Armed, Armed}, // not yet sent: unchanged
        {0x00010090, MarkerSent, MarkerSeen},
        {0x0001009F, MarkerSent, MarkerSeen}, // channel 16 too
        {0x00010090, Writing, Writing},
        // Only note-ons of key 0 at velocity 1 are markers.
        {0x00020090, MarkerSent, MarkerSent},
        {0x00010190, MarkerSent, MarkerSent},
        {0x00010080, MarkerSent, MarkerSent},
    };
    for (const auto& c : cases) {
        CSeqHost host;
        RenderStateWord state{c.before};
        host.SetRenderState(&state);
        QueueShort(host, c.word, 0);
        const VstEvents* list = BuildFromQueue(host, 882, 0);
        EXPECT_EQ(state.load(), c.after) << std::hex << c.word;
        ASSERT_NE(list, nullptr); // the marker is an ordinary note for the plug-ins
    }
}

TEST(FilterEvents, ChannelMaskSelectsShortEventsInOrderAndEverySystemExclusive) {
    CSeqHost host;
    for (uint32_t word : {0x00403C90u, 0x00403D91u, 0x00403E90u, 0x00003FBFu}) // 1, 2, 1, 16
        QueueShort(host, word, 0);
    QueueSysex(host, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, 0);
    const VstEvents* list = BuildFromQueue(host, 882, 0);
    ASSERT_NE(list, nullptr);
    const VstEvents* channel1 = host.FilterEvents(list, 0x0001);
    ASSERT_NE(channel1, nullptr);
    ASSERT_EQ(channel1->numEvents, 3);
    EXPECT_EQ(EventAt(channel1, 0), EventAt(list, 0)); // the same records, not copies
    EXPECT_EQ(EventAt(channel1, 1), EventAt(list, 2));
    EXPECT_EQ(EventAt(channel1, 2), EventAt(list, 4));
    EXPECT_EQ(EventAt(host.FilterEvents(list, 0x8000), 0), EventAt(list, 3)); // channel 16
    const VstEvents* none = host.FilterEvents(list, 0x0000); // no channel, yet the sysex
    ASSERT_NE(none, nullptr);
    ASSERT_EQ(none->numEvents, 1);
    EXPECT_EQ(EventAt(none, 0), EventAt(list, 4));
}

} // namespace
} // namespace zorvil
