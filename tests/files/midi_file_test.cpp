// MIDI export: the exact bytes of the header, meta events and note events.
#include "files/midi_file.h"

#include "support/scripted_user_interface.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

namespace zorvil {
namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kHeader = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96};
const Bytes kName = {0x00, 0xFF, 0x03, 0x06, 'Z', 'o', 'r', 'v', 'i', 'l'};
const Bytes kTempo120 = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20};
const Bytes kEnd = {0x00, 0xFF, 0x2F, 0x00};

// The note events of a file at tempo 120, between the two meta events and the end of track.
Bytes NoteEvents(const Bytes& file) {
    const size_t start = 14 + 8 + kName.size() + kTempo120.size();
    EXPECT_GE(file.size(), start + kEnd.size());
    EXPECT_EQ(Bytes(file.end() - 4, file.end()), kEnd);
    return Bytes(file.begin() + static_cast<long>(start), file.end() - 4);
}

TEST(MidiFile, AnEmptyPatternIs43Bytes) {
    const Bytes file = BuildMidiFile(120, 16, std::span<const NoteRecord>{});
    Bytes expected = kHeader;
    const Bytes track = {'M', 'T', 'r', 'k', 0, 0, 0, 21};
    for (const Bytes* part : {&track, &kName, &kTempo120, &kEnd})
        expected.insert(expected.end(), part->begin(), part->end());
    EXPECT_EQ(file.size(), 43u);
    EXPECT_EQ(file, expected);
}

TEST(MidiFile, OneNoteIsSwitchedOffAtTheNextStep) {
    const NoteRecord note{0, 60, 100, 1};
    EXPECT_EQ(NoteEvents(BuildMidiFile(120, 16, {&note, 1})),
              (Bytes{0x00, 0x90, 0x3C, 0x64, 0x18, 0x80, 0x3C, 0x00}));
}

TEST(MidiFile, AdjacentNotesOnOneKeyShareATick) {
    const std::vector<NoteRecord> notes = {{0, 60, 100, 2}, {2, 60, 90, 2}};
    EXPECT_EQ(
        NoteEvents(BuildMidiFile(120, 16, notes)),
        (Bytes{0x00, 0x90, 60, 100, 0x30, 0x80, 60, 0, 0x00, 0x90, 60, 90, 0x30, 0x80, 60, 0}));
}

TEST(MidiFile, EventsAtOneTickComeInKeyOrder) {
    // Key 64 ends at step 1 where key 60 starts: 60's note-on precedes 64's note-off.
    const std::vector<NoteRecord> notes = {{0, 64, 1, 1}, {1, 60, 2, 1}, {1, 62, 3, 1}};
    EXPECT_EQ(NoteEvents(BuildMidiFile(120, 16, notes)),
              (Bytes{0x00, 0x90, 64, 1, 0x18, 0x90, 60, 2, 0x00, 0x90, 62, 3,
                     0x00, 0x80, 64, 0, 0x18, 0x80, 60, 0, 0x00, 0x80, 62, 0}));
}

TEST(MidiFile, LongDeltasUseVariableLengthQuantities) {
    const std::vector<NoteRecord> notes = {{0, 60, 100, 1}, {200, 61, 100, 1}};
    // Off at tick 24, on at 4800: delta 4776 = 0xA5 0x28.
    EXPECT_EQ(NoteEvents(BuildMidiFile(120, 16, notes)),
              (Bytes{0x00, 0x90, 60, 100, 0x18, 0x80, 60, 0, 0xA5, 0x28, 0x90, 61, 100, 0x18, 0x80,
                     61, 0}));
}

TEST(MidiFile, TheLastGridStepEndsAfterTheGrid) {
    const std::vector<NoteRecord> notes = {{255, 10, 5, 1}, {254, 11, 6, 2}};
    // On at 254 * 24 = 6096 (delta 0x2F 0x50), on at 6120, both off at 6144 in key order.
    EXPECT_EQ(
        NoteEvents(BuildMidiFile(120, 16, notes)),
        (Bytes{0xAF, 0x50, 0x90, 11, 6, 0x18, 0x90, 10, 5, 0x18, 0x80, 10, 0, 0x00, 0x80, 11, 0}));
}

TEST(MidiFile, StepsThatDoNotDivideAMeasureKeepEqualLengths) {
    const NoteRecord note{1, 60, 100, 1};
    EXPECT_EQ(NoteEvents(BuildMidiFile(120, 5, {&note, 1})),
              (Bytes{0x4C, 0x90, 60, 100, 0x4C, 0x80, 60, 0}));
}

TEST(MidiFile, TempoIsMicrosecondsPerQuarterHighByteFirst) {
    const Bytes file = BuildMidiFile(133, 16, std::span<const NoteRecord>{});
    // 60000000 / 133 = 451127 = 0x06E237
    EXPECT_EQ(Bytes(file.begin() + 36, file.begin() + 39), (Bytes{0x06, 0xE2, 0x37}));
}

TEST(MidiFile, AFullGridGrowsTheTrackWithoutLimit) {
    std::vector<NoteRecord> notes;
    for (int step = 0; step < kGridSteps; ++step)
        for (int key = 0; key < kGridKeys; ++key)
            notes.push_back({step, key, 100, 1});
    const Bytes file = BuildMidiFile(120, 32, notes);
    // Every step: 128 note-ons; from step 1 on also 128 note-offs first (per key, off then on).
    // After the grid: 128 note-offs. 4 bytes an event, except the first of each tick (2 bytes
    // of delta when the delta is 12: one byte, so 4 as well).
    const size_t events = 32768 * 2;
    const uint32_t trackLength = (uint32_t{file[18]} << 24) | (uint32_t{file[19]} << 16) |
                                 (uint32_t{file[20]} << 8) | file[21];
    EXPECT_EQ(trackLength, file.size() - 22);
    EXPECT_EQ(file.size(), 22 + kName.size() + kTempo120.size() + events * 4 + kEnd.size());
}

TEST(MidiFile, InvalidAndOverlappingNotesAreLeftOut) {
    const std::vector<NoteRecord> notes = {{0, 60, 100, 1}, {0, 60, 50, 1}, {-1, 1, 1, 1},
                                           {250, 2, 1, 7},  {0, 128, 1, 1}, {0, 3, 1, 0}};
    EXPECT_EQ(NoteEvents(BuildMidiFile(120, 16, notes)),
              (Bytes{0x00, 0x90, 60, 100, 0x18, 0x80, 60, 0}));
}

TEST(MidiFile, ExportWritesTheFileOrReportsWhyNot) {
    test::TempDir dir;
    test::ScriptedUserInterface ui;
    const NoteRecord note{0, 60, 100, 1};
    ASSERT_TRUE(ExportMidiFile(dir.File("a.mid"), 120, 16, {&note, 1}, ui));
    EXPECT_EQ(test::ReadBytes(dir.File("a.mid")), BuildMidiFile(120, 16, {&note, 1}));
    const std::string bad = dir.File("missing/a.mid");
    EXPECT_FALSE(ExportMidiFile(bad, 120, 16, {&note, 1}, ui));
    ASSERT_EQ(ui.MessageBoxes().size(), 1u);
    EXPECT_EQ(ui.MessageBoxes()[0].text, "Can't open file for write " + bad + ", error = 2\n");
    EXPECT_EQ(ui.MessageBoxes()[0].icon, MessageIcon::Error);
}

} // namespace
} // namespace zorvil
