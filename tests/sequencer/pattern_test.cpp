#include "sequencer/pattern.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using zorvil::CMidiMessage;
using zorvil::CNoteCell;
using zorvil::CPattern;
using Note = CPattern::Note;

namespace {

// The concurrency test runs long enough natively to catch a torn read almost every run; under
// the sanitizers, which slow each atomic access many times over, it looks for races instead.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int kConcurrentRounds = 3000;
#else
constexpr int kConcurrentRounds = 30000;
#endif

// Checks that the note lies in the grid cell by cell, and reaches no further either way.
void ExpectNoteCells(const CPattern& p, int start, int key, int velocity, int length) {
    for (int i = 0; i < length; ++i) {
        const auto cell = p.GetCell(start + i, key);
        ASSERT_TRUE(cell.has_value()) << "step " << start + i;
        EXPECT_EQ(*cell, (CNoteCell{velocity, length, i + 1})) << "step " << start + i;
    }
    const auto before = p.GetCell(start - 1, key);
    EXPECT_TRUE(!before || before->part == before->length) << "a note runs into the start";
    const auto after = p.GetCell(start + length, key);
    EXPECT_TRUE(!after || after->part == 1) << "the note runs on";
}

} // namespace

TEST(Pattern, ResetClearsNotesAndSettings) {
    CPattern p;
    p.SetTempo(200);
    p.SetMeasures(5);
    p.AddNote(3, 60, 100, 2);
    p.SetPosition(7);
    p.Reset();
    EXPECT_EQ(p.GetTempo(), 120);
    EXPECT_EQ(p.GetTotalSteps(), 32);
    EXPECT_EQ(p.GetPosition(), 0);
    EXPECT_EQ(p.GetNoteCount(), 0);
    EXPECT_FALSE(p.GetCell(3, 60).has_value());
}

// Each edit names its note by any of its cells and keeps what it does not change.
TEST(Pattern, EditsWorkFromAnyCellOfTheNote) {
    CPattern p;
    ASSERT_TRUE(p.AddNote(10, 60, 100, 3));
    ExpectNoteCells(p, 10, 60, 100, 3);
    EXPECT_FALSE(p.GetCell(10, 61).has_value());

    ASSERT_TRUE(p.ResizeNote(11, 14, 60));
    ExpectNoteCells(p, 10, 60, 100, 5);
    ASSERT_TRUE(p.ResizeNote(14, 11, 60)); // shorter, from its last cell
    ExpectNoteCells(p, 10, 60, 100, 2);
    EXPECT_FALSE(p.GetCell(12, 60).has_value());
    ASSERT_TRUE(p.ResizeNote(11, 3, 60)); // an end before the start: a one-step note
    ExpectNoteCells(p, 10, 60, 100, 1);
    ASSERT_TRUE(p.ResizeNote(10, 12, 60));

    ASSERT_TRUE(p.MoveNote(12, 60, 20, 64));
    for (int s = 10; s <= 12; ++s)
        EXPECT_FALSE(p.GetCell(s, 60).has_value()) << s;
    ExpectNoteCells(p, 20, 64, 100, 3);
    ASSERT_TRUE(p.MoveNote(21, 64, 21, 64)); // one step on, over its own cells
    ExpectNoteCells(p, 21, 64, 100, 3);
    EXPECT_FALSE(p.GetCell(20, 64).has_value());
    ASSERT_TRUE(p.MoveNote(21, 64, 19, 64)); // and back over them
    ExpectNoteCells(p, 19, 64, 100, 3);

    ASSERT_TRUE(p.SetNoteVelocity(21, 64, 1000));
    ExpectNoteCells(p, 19, 64, 127, 3);
    EXPECT_EQ(p.GetNoteCount(), 1);

    EXPECT_TRUE(p.RemoveNote(20, 64));
    EXPECT_FALSE(p.GetCell(19, 64).has_value());
    EXPECT_FALSE(p.RemoveNote(20, 64)); // nothing there any more

    ASSERT_TRUE(p.AddNote(4, 61, 100, -7)); // lengths below one make a single step
    ExpectNoteCells(p, 4, 61, 100, 1);
    ASSERT_TRUE(p.AddNote(0, 1, 300, 2)); // velocities are clamped
    EXPECT_EQ(p.GetCell(1, 1)->velocity, 127);
    ASSERT_TRUE(p.AddNote(255, 127, 1, 1)); // the grid's last cell
    EXPECT_TRUE(p.RemoveNote(255, 127));
}

// An edit that does not fit is refused and leaves the grid exactly as it was.
TEST(Pattern, RefusedEditsLeaveTheGridAlone) {
    CPattern p;
    ASSERT_TRUE(p.AddNote(10, 60, 100, 3));
    ASSERT_TRUE(p.AddNote(15, 60, 70, 2));
    ASSERT_TRUE(p.AddNote(30, 62, 50, 4));
    ASSERT_TRUE(p.AddNote(250, 5, 90, 6)); // ends exactly on row 255
    const auto before = p.GetNotes();

    struct Case {
        const char* what;
        bool done;
    };
    for (const Case& c : {
             Case{"add one row past the grid", p.AddNote(251, 6, 90, 6)},
             Case{"add before step 0", p.AddNote(-1, 60, 100, 2)},
             Case{"add on no such key", p.AddNote(0, 128, 100, 2)},
             Case{"add on a negative key", p.AddNote(0, -1, 100, 2)},
             Case{"add after the last row", p.AddNote(256, 0, 100, 1)},
             Case{"add over a note's start", p.AddNote(8, 60, 100, 3)},
             Case{"add on a note's last cell", p.AddNote(12, 60, 100, 1)},
             Case{"add exactly on a note", p.AddNote(10, 60, 50, 3)},
             Case{"resize into the next note", p.ResizeNote(10, 15, 60)},
             Case{"resize past row 255", p.ResizeNote(16, 256, 60)},
             Case{"resize an empty cell", p.ResizeNote(13, 20, 60)},
             Case{"resize on another key", p.ResizeNote(10, 14, 61)},
             Case{"move a tail over another note", p.MoveNote(10, 60, 28, 62)},
             Case{"move past row 255", p.MoveNote(10, 60, 254, 60)},
             Case{"move before step 0", p.MoveNote(10, 60, -1, 60)},
             Case{"move to no such key", p.MoveNote(10, 60, 10, 128)},
             Case{"move an empty cell", p.MoveNote(9, 60, 20, 60)},
             Case{"velocity of an empty cell", p.SetNoteVelocity(13, 60, 40)},
             Case{"velocity before step 0", p.SetNoteVelocity(-1, 60, 40)},
             Case{"remove outside the grid", p.RemoveNote(256, 0)},
         }) {
        EXPECT_FALSE(c.done) << c.what;
    }
    EXPECT_EQ(p.GetNotes(), before);
    EXPECT_FALSE(p.GetCell(-1, 0).has_value());
    EXPECT_FALSE(p.GetCell(256, 0).has_value());
    EXPECT_FALSE(p.GetCell(0, 128).has_value());

    ASSERT_TRUE(p.ResizeNote(10, 14, 60)); // up to the next note is fine
    ExpectNoteCells(p, 10, 60, 100, 5);
    ExpectNoteCells(p, 15, 60, 70, 2);
}

TEST(Pattern, NotesBeyondAShortenedPatternStayAndEnumerateInStepThenKeyOrder) {
    CPattern p;
    ASSERT_TRUE(p.AddNote(40, 60, 100, 2));
    ASSERT_TRUE(p.AddNote(3, 72, 90, 1));
    ASSERT_TRUE(p.AddNote(3, 10, 80, 5));
    ASSERT_TRUE(p.AddNote(255, 127, 1, 1));
    p.SetMeasures(1);
    p.SetStepsPerMeasure(16); // 16 steps: most notes now lie beyond the total, and stay
    EXPECT_EQ(p.GetNoteCount(), 4);
    const std::vector<Note> expected{
        {3, 10, 80, 5}, {3, 72, 90, 1}, {40, 60, 100, 2}, {255, 127, 1, 1}};
    EXPECT_EQ(p.GetNotes(), expected);
}

// The step handler on one thread while the user interface moves a note back and forth between
// two keys on another. A long note (200 steps, so that each move rewrites many cells) in a
// two-step pattern: every tick of step 0 must send exactly one note-on, and every tick of step 1
// nothing. A tick that read a half-moved note would send a note-off as well, or nothing.
TEST(Pattern, TicksNeverSeeAHalfEditedNote) {
    struct Recorder : zorvil::IMidiEventQueue {
        std::vector<uint32_t> words;
        void QueueMidiEvent(const CMidiMessage& m) override { words.push_back(m.ShortMessage()); }
    } recorder;
    CPattern p;
    p.SetMeasures(1);
    p.SetStepsPerMeasure(2);
    ASSERT_TRUE(p.AddNote(0, 60, 100, 200));
    p.SetEventQueue(&recorder);

    std::atomic<bool> done{false};
    std::atomic<int> edits{0};
    std::thread editor([&] {
        for (int i = 0; !done; ++i) {
            const int from = 60 + i % 2;
            EXPECT_TRUE(p.MoveNote(i % 2 == 0 ? 1 : 0, from, 0, 121 - from));
            if (i % 64 == 0) {
                EXPECT_TRUE(p.SetNoteVelocity(0, 121 - from, 100));
                EXPECT_TRUE(p.ResizeNote(0, 199, 121 - from));
            }
            edits.store(i + 1, std::memory_order_relaxed);
        }
    });

    // Both sides run side by side for a good while: the reader keeps ticking until the editor
    // has made many edits, and the editor keeps editing until the reader stops.
    int ticks = 0;
    bool consistent = true;
    while (consistent && (ticks < kConcurrentRounds ||
                          edits.load(std::memory_order_relaxed) < kConcurrentRounds)) {
        const int position = p.GetPosition();
        recorder.words.clear();
        p.OnStep();
        ++ticks;
        if (position == 0) {
            consistent = recorder.words.size() == 1 && (recorder.words[0] & 0xFF) == 0x90 &&
                         (recorder.words[0] >> 16) == 100;
        } else {
            consistent = recorder.words.empty();
        }
    }
    done = true;
    editor.join();
    EXPECT_TRUE(consistent) << "after " << ticks << " ticks";
    EXPECT_EQ(p.GetNoteCount(), 1);
}
