// CPatternHistory: every edit one step, undone and redone exactly, refused edits never
// recorded, value steps held back while playing. (Ticks racing undo: pattern_test.cpp.)
#include "platform/clock_manual.h"
#include "sequencer/pattern.h"
#include "sequencer/pattern_history.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

using zorvil::CNoteCell;
using zorvil::CPattern;
using zorvil::CPatternHistory;

namespace {

// Everything an undo must give back: the three values and every cell of the given keys (all
// by default), so that a stray cell no note owns shows too.
struct Snapshot {
    int tempo = 0;
    int measures = 0;
    int steps = 0;
    int totalSteps = 0;
    std::vector<CNoteCell> cells; // step-major over the keys taken
    friend bool operator==(const Snapshot&, const Snapshot&) = default;
};

Snapshot Take(const CPattern& p, int firstKey = 0, int lastKey = CPattern::kKeyCount - 1) {
    Snapshot s{p.GetTempo(), p.GetMeasures(), p.GetStepsPerMeasure(), p.GetTotalSteps(), {}};
    for (int step = 0; step < CPattern::kStepCapacity; ++step)
        for (int key = firstKey; key <= lastKey; ++key)
            s.cells.push_back(p.GetCell(step, key).value_or(CNoteCell{}));
    return s;
}

// Random edits crowded into a small corner of the grid (steps 0-39, keys 58-63), so that many
// collide with other notes and are refused, with values out of range and repeated values.
// Their snapshots hold the cells of those keys only.
class RandomEditor {
public:
    explicit RandomEditor(unsigned seed) : m_random(seed) {}

    // One edit through the history; returns what the history returned.
    bool Edit(CPatternHistory& h) {
        const int step = Pick(0, 39), key = Pick(58, 63);
        switch (Pick(0, 9)) {
        case 0:
        case 1:
        case 2:
            return h.AddNote(step, key, Pick(-10, 140), Pick(0, 6));
        case 3:
            return h.RemoveNote(step, key);
        case 4:
            return h.ResizeNote(step, step + Pick(-3, 8), key);
        case 5:
            return h.MoveNote(step, key, Pick(0, 39), Pick(58, 63));
        case 6:
            return h.SetNoteVelocity(step, key, Pick(-10, 140));
        case 7:
            return h.SetTempo(Pick(0, 3) == 0 ? 120 : Pick(10, 320));
        case 8:
            return h.SetMeasures(Pick(0, 9));
        default:
            return h.SetStepsPerMeasure(Pick(0, 34));
        }
    }
    int Pick(int low, int high) { return std::uniform_int_distribution(low, high)(m_random); }
    static Snapshot Take(const CPattern& p) { return ::Take(p, 58, 63); }

private:
    std::mt19937 m_random;
};

// Long random runs of edits, undo and redo: every accepted edit is exactly one step, a refused
// one changes nothing, the pattern always matches a timeline of the states seen (a new step cuts
// it there), and undoing everything gives back the first pattern exactly, redoing the last.
TEST(PatternHistory, RandomEditSequencesUndoAndRedoExactly) {
    for (unsigned seed = 1; seed <= 8; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        CPattern p;
        CPatternHistory h(p);
        RandomEditor editor(seed);
        for (int i = 0; i < 20; ++i) // start from a pattern that is not the default one
            editor.Edit(h);
        h.Clear();
        ASSERT_FALSE(h.CanUndo() || h.CanRedo());

        std::vector<Snapshot> timeline{RandomEditor::Take(p)};
        size_t now = 0;
        int refused = 0;
        for (int i = 0; i < 900; ++i) {
            const int what = editor.Pick(0, 9);
            if (what == 0) {
                ASSERT_EQ(h.Undo(), now > 0);
                now -= now > 0 ? 1 : 0;
            } else if (what == 1) {
                ASSERT_EQ(h.Redo(), now + 1 < timeline.size());
                now += now + 1 < timeline.size() ? 1 : 0;
            } else {
                const bool accepted = editor.Edit(h);
                const Snapshot after = RandomEditor::Take(p);
                if (after == timeline[now]) {
                    refused += accepted ? 0 : 1;
                } else {
                    ASSERT_TRUE(accepted) << "a refused edit changed the pattern";
                    timeline.resize(now + 1);
                    timeline.push_back(after);
                    ++now;
                }
            }
            ASSERT_EQ(RandomEditor::Take(p), timeline[now]) << "step " << i;
            ASSERT_EQ(h.UndoCount(), now) << "step " << i;
            ASSERT_EQ(h.RedoCount(), timeline.size() - 1 - now) << "step " << i;
        }
        EXPECT_GT(refused, 30) << "the run should try many refused edits";
        EXPECT_GT(timeline.size(), 100u);

        for (; now > 0; --now) {
            ASSERT_TRUE(h.Undo());
            ASSERT_EQ(RandomEditor::Take(p), timeline[now - 1]) << "after undo to " << now - 1;
        }
        EXPECT_FALSE(h.Undo());
        for (; now + 1 < timeline.size(); ++now) {
            ASSERT_TRUE(h.Redo());
            ASSERT_EQ(RandomEditor::Take(p), timeline[now + 1]) << "after redo to " << now + 1;
        }
        EXPECT_FALSE(h.Redo());
    }
}

// While the clock runs, note steps are undone and redone, value steps wait for the stop.
TEST(PatternHistory, ValueStepsWaitWhileThePatternPlays) {
    zorvil::platform::ManualClock clock;
    CPattern p;
    p.SetClockService(&clock);
    CPatternHistory h(p);
    ASSERT_TRUE(h.AddNote(0, 60, 100, 1));
    ASSERT_TRUE(h.SetTempo(90));
    ASSERT_TRUE(h.AddNote(4, 60, 100, 1));
    p.Start();

    EXPECT_TRUE(h.Undo()); // the second note
    EXPECT_FALSE(p.GetCell(4, 60).has_value());
    EXPECT_FALSE(h.CanUndo()) << "the tempo step waits";
    EXPECT_FALSE(h.Undo());
    EXPECT_EQ(p.GetTempo(), 90);
    EXPECT_TRUE(h.Redo());
    EXPECT_TRUE(h.Undo());

    p.Stop();
    EXPECT_TRUE(h.Undo());
    EXPECT_EQ(p.GetTempo(), 120);
    p.Start();
    EXPECT_FALSE(h.CanRedo()) << "redoing the tempo waits too";
    EXPECT_TRUE(h.Undo()); // the first note
    p.Stop();
    EXPECT_TRUE(h.Redo());
    EXPECT_TRUE(h.Redo());
    EXPECT_EQ(p.GetTempo(), 90);
}

// Something edited the pattern without the history: a step that no longer fits is not forced
// onto it; the history is dropped and the pattern left as it is.
TEST(PatternHistory, AStepThatNoLongerFitsClearsTheHistory) {
    CPattern p;
    CPatternHistory h(p);
    ASSERT_TRUE(h.AddNote(0, 60, 100, 2));
    ASSERT_TRUE(h.SetNoteVelocity(0, 60, 50));
    ASSERT_TRUE(p.SetNoteVelocity(0, 60, 70)); // behind the history's back
    const Snapshot outside = Take(p);
    EXPECT_FALSE(h.Undo());
    EXPECT_EQ(Take(p), outside);
    EXPECT_FALSE(h.CanUndo());

    ASSERT_TRUE(h.AddNote(8, 61, 100, 2));
    ASSERT_TRUE(h.Undo());
    ASSERT_TRUE(p.AddNote(9, 61, 10, 1)); // where the redo would go
    EXPECT_FALSE(h.Redo());
    EXPECT_EQ(p.GetCell(9, 61)->velocity, 10);
    EXPECT_FALSE(p.GetCell(8, 61).has_value());
}

TEST(PatternHistory, KeepsTheNewestSteps) {
    CPattern p;
    CPatternHistory h(p);
    ASSERT_TRUE(h.AddNote(0, 60, 0, 1));
    for (size_t i = 1; i <= CPatternHistory::kMaxSteps; ++i)
        ASSERT_TRUE(h.SetNoteVelocity(0, 60, static_cast<int>(i % 2 == 1 ? 1 : 2)));
    EXPECT_EQ(h.UndoCount(), CPatternHistory::kMaxSteps);
    while (h.Undo()) {
    }
    // The oldest step (adding the note) went; the velocity steps came back to the first one.
    ASSERT_TRUE(p.GetCell(0, 60).has_value());
    EXPECT_EQ(p.GetCell(0, 60)->velocity, 0);
}

} // namespace
