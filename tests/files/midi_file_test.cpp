// MIDI export: the exact bytes of the header, meta events and note events.
#include "files/midi_file.h"

#include <gtest/gtest.h>

namespace zorvil {
namespace {

using Bytes = std::vector<uint8_t>;

// The note events of a file at tempo 120: what lies between the meta events and the end of track.
Bytes NoteEvents(const Bytes& file) {
    EXPECT_EQ(Bytes(file.end() - 4, file.end()), (Bytes{0x00, 0xFF, 0x2F, 0x00}));
    return Bytes(file.begin() + 39, file.end() - 4);
}

TEST(MidiFile, AnEmptyPatternIs43BytesAndTheTempoIsHighByteFirst) {
    const Bytes expected = {'M',  'T',  'h',  'd',  0,    0,    0,    6,    0,    0,   0,
                            1,    0,    96,   'M',  'T',  'r',  'k',  0,    0,    0,   21,
                            0x00, 0xFF, 0x03, 0x06, 'Z',  'o',  'r',  'v',  'i',  'l', 0x00,
                            0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x2F, 0x00};
    ASSERT_EQ(expected.size(), 43u);
    EXPECT_EQ(BuildMidiFile(120, 16, std::span<const NoteRecord>{}), expected);
    // 60000000 / 133 = 451127 = 0x06E237.
    const Bytes file = BuildMidiFile(133, 16, std::span<const NoteRecord>{});
    EXPECT_EQ(Bytes(file.begin() + 36, file.begin() + 39), (Bytes{0x06, 0xE2, 0x37}));
}

TEST(MidiFile, NoteEventsComeInTickThenKeyOrderWithVariableLengthDeltas) {
    const struct {
        std::vector<NoteRecord> notes;
        Bytes events;
    } cases[] = {
        // One note, off at the next step.
        {{{0, 60, 100, 1}}, {0x00, 0x90, 60, 100, 0x18, 0x80, 60, 0}},
        // Adjacent notes on one key share a tick.
        {{{0, 60, 100, 2}, {2, 60, 90, 2}},
         {0x00, 0x90, 60, 100, 0x30, 0x80, 60, 0, 0x00, 0x90, 60, 90, 0x30, 0x80, 60, 0}},
        // Key 64 ends at step 1 where key 60 starts: 60's note-on precedes 64's note-off.
        {{{0, 64, 1, 1}, {1, 60, 2, 1}, {1, 62, 3, 1}},
         {0x00, 0x90, 64, 1, 0x18, 0x90, 60, 2, 0x00, 0x90, 62, 3,
          0x00, 0x80, 64, 0, 0x18, 0x80, 60, 0, 0x00, 0x80, 62, 0}},
        // Off at tick 24, on at 4800: delta 4776 = 0xA5 0x28.
        {{{0, 60, 100, 1}, {200, 61, 100, 1}},
         {0x00, 0x90, 60, 100, 0x18, 0x80, 60, 0, 0xA5, 0x28, 0x90, 61, 100, 0x18, 0x80, 61, 0}},
        // On at 254 * 24 = 6096 (delta 0x2F 0x50), on at 6120, both off at 6144 in key order.
        {{{255, 10, 5, 1}, {254, 11, 6, 2}},
         {0xAF, 0x50, 0x90, 11, 6, 0x18, 0x90, 10, 5, 0x18, 0x80, 10, 0, 0x00, 0x80, 11, 0}},
        // Invalid and overlapping notes are left out.
        {{{0, 60, 100, 1},
          {0, 60, 50, 1},
          {-1, 1, 1, 1},
          {250, 2, 1, 7},
          {0, 128, 1, 1},
          {0, 3, 1, 0}},
         {0x00, 0x90, 60, 100, 0x18, 0x80, 60, 0}},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(NoteEvents(BuildMidiFile(120, 16, cases[i].notes)), cases[i].events) << i;
    const std::vector<NoteRecord> fiveSteps = {{1, 60, 100, 1}}; // 5 steps a measure
    EXPECT_EQ(NoteEvents(BuildMidiFile(120, 5, fiveSteps)),
              (Bytes{0x4C, 0x90, 60, 100, 0x4C, 0x80, 60, 0}));
}

TEST(MidiFile, AFullGridGrowsTheTrackWithoutLimit) {
    std::vector<NoteRecord> notes;
    for (int step = 0; step < kGridSteps; ++step)
        for (int key = 0; key < kGridKeys; ++key)
            notes.push_back({step, key, 100, 1});
    const Bytes file = BuildMidiFile(120, 32, notes);
    // 32768 note-ons and as many note-offs, 4 bytes each, after 39 bytes and before the end.
    EXPECT_EQ(file.size(), 39 + 32768 * 2 * 4 + 4u);
    const uint32_t trackLength = (uint32_t{file[18]} << 24) | (uint32_t{file[19]} << 16) |
                                 (uint32_t{file[20]} << 8) | file[21];
    EXPECT_EQ(trackLength, file.size() - 22);
}

} // namespace
} // namespace zorvil
