// CPatternHistory: every edit one step, undone and redone exactly, refused edits never
// recorded, value steps held back while playing, and the clock's ticks never seeing an undo
// half done.
#include "platform/clock_manual.h"
#include "sequencer/pattern.h"
#include "sequencer/pattern_history.h"

#include <atomic>
#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <thread>
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
    int firstKey = 0;
    std::vector<CNoteCell> cells; // step-major over the keys taken
    friend bool operator==(const Snapshot&, const Snapshot&) = default;
};

Snapshot Take(const CPattern& p, int firstKey = 0, int lastKey = CPattern::kKeyCount - 1) {
    Snapshot s{p.GetTempo(),      p.GetMeasures(), p.GetStepsPerMeasure(),
               p.GetTotalSteps(), firstKey,        {}};
    s.cells.reserve(CPattern::kStepCapacity * (lastKey - firstKey + 1));
    for (int step = 0; step < CPattern::kStepCapacity; ++step)
        for (int key = firstKey; key <= lastKey; ++key)
            s.cells.push_back(p.GetCell(step, key).value_or(CNoteCell{}));
    return s;
}

// The values and the notes (their first cells), for failure messages.
std::string Describe(const Snapshot& s) {
    std::string text = "tempo " + std::to_string(s.tempo) + ", " + std::to_string(s.measures) +
                       " x " + std::to_string(s.steps) + ", notes:";
    const size_t keys = s.cells.size() / CPattern::kStepCapacity;
    for (size_t i = 0; i < s.cells.size(); ++i) {
        const CNoteCell& c = s.cells[i];
        if (c.part == 1)
            text += " (" + std::to_string(i / keys) + "," +
                    std::to_string(s.firstKey + static_cast<int>(i % keys)) + " v" +
                    std::to_string(c.velocity) + " l" + std::to_string(c.length) + ")";
    }
    return text;
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

TEST(PatternHistory, EachKindOfEditIsOneStepUndoneAndRedone) {
    CPattern p;
    CPatternHistory h(p);
    EXPECT_FALSE(h.CanUndo());
    EXPECT_FALSE(h.Undo());
    EXPECT_FALSE(h.Redo());

    std::vector<Snapshot> states{Take(p)};
    const auto edited = [&](bool result) {
        EXPECT_TRUE(result);
        states.push_back(Take(p));
        EXPECT_EQ(h.UndoCount(), states.size() - 1);
    };
    edited(h.AddNote(10, 60, 127, 1));
    edited(h.AddNote(20, 60, 90, 3));
    edited(h.ResizeNote(10, 14, 60));   // from its only cell
    edited(h.ResizeNote(22, 20, 60));   // from its last cell, shorter
    edited(h.MoveNote(12, 60, 30, 64)); // from its middle cell
    edited(h.SetNoteVelocity(31, 64, 40));
    edited(h.RemoveNote(20, 60));
    edited(h.SetTempo(90));
    edited(h.SetMeasures(4));
    edited(h.SetStepsPerMeasure(6));
    EXPECT_EQ(p.GetTotalSteps(), 24);

    for (size_t i = states.size() - 1; i > 0; --i) {
        ASSERT_TRUE(h.CanUndo());
        ASSERT_TRUE(h.Undo());
        EXPECT_EQ(Take(p), states[i - 1]) << "undo to state " << i - 1;
    }
    EXPECT_FALSE(h.CanUndo());
    EXPECT_FALSE(h.Undo());
    for (size_t i = 1; i < states.size(); ++i) {
        ASSERT_TRUE(h.CanRedo());
        ASSERT_TRUE(h.Redo());
        EXPECT_EQ(Take(p), states[i]) << "redo to state " << i;
    }
    EXPECT_FALSE(h.CanRedo());
    EXPECT_FALSE(h.Redo());
}

// Refused edits and edits that change nothing leave no step, and drop no redo either.
TEST(PatternHistory, RefusedOrEmptyEditsAreNoSteps) {
    CPattern p;
    CPatternHistory h(p);
    ASSERT_TRUE(h.AddNote(10, 60, 100, 3));
    ASSERT_TRUE(h.AddNote(14, 60, 100, 2));
    ASSERT_TRUE(h.AddNote(0, 0, 100, 1));
    ASSERT_TRUE(h.Undo());
    ASSERT_EQ(h.UndoCount(), 2u);
    const Snapshot before = Take(p);

    EXPECT_FALSE(h.AddNote(11, 60, 100, 1));   // onto a note
    EXPECT_FALSE(h.AddNote(250, 5, 100, 10));  // past the last row
    EXPECT_FALSE(h.AddNote(5, 128, 100, 1));   // no such key
    EXPECT_FALSE(h.RemoveNote(13, 60));        // empty cell
    EXPECT_FALSE(h.ResizeNote(10, 15, 60));    // into the next note
    EXPECT_FALSE(h.MoveNote(10, 60, 13, 60));  // onto the next note
    EXPECT_FALSE(h.MoveNote(40, 60, 0, 60));   // no note there
    EXPECT_FALSE(h.SetNoteVelocity(9, 60, 1)); // no note there
    EXPECT_FALSE(h.SetTempo(120));             // unchanged
    EXPECT_FALSE(h.SetMeasures(2));
    EXPECT_FALSE(h.SetStepsPerMeasure(16));
    ASSERT_TRUE(h.SetMeasures(8));
    ASSERT_TRUE(h.Undo());
    EXPECT_EQ(h.UndoCount(), 2u);
    ASSERT_TRUE(h.SetMeasures(1));
    EXPECT_FALSE(h.SetMeasures(0)); // clamped to 1: unchanged
    ASSERT_TRUE(h.Undo());

    // Accepted by the pattern but changing nothing: true, no step.
    EXPECT_TRUE(h.SetNoteVelocity(11, 60, 100));
    EXPECT_TRUE(h.MoveNote(12, 60, 10, 60));
    EXPECT_TRUE(h.ResizeNote(11, 12, 60));
    EXPECT_EQ(h.UndoCount(), 2u);
    EXPECT_EQ(h.RedoCount(), 1u);
    EXPECT_EQ(Take(p), before);

    EXPECT_TRUE(h.SetTempo(400)); // clamped to 303: a change
    EXPECT_EQ(p.GetTempo(), 303);
    EXPECT_EQ(h.RedoCount(), 0u) << "a new step drops what could be redone";
    EXPECT_TRUE(h.Undo());
    EXPECT_EQ(Take(p), before);
}

// Long random runs: every accepted edit is exactly one step; undoing all of them gives back the
// first pattern exactly, redoing all of them the last, and a mix of undo, redo and new edits
// always matches a timeline of the states seen.
TEST(PatternHistory, RandomEditSequencesUndoAndRedoExactly) {
    for (unsigned seed = 1; seed <= 8; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        CPattern p;
        CPatternHistory h(p);
        RandomEditor editor(seed);
        // Start from a pattern that is not the default one.
        for (int i = 0; i < 20; ++i)
            editor.Edit(h);
        h.Clear();
        ASSERT_FALSE(h.CanUndo());
        ASSERT_FALSE(h.CanRedo());

        std::vector<Snapshot> timeline{RandomEditor::Take(p)};
        size_t now = 0;
        int refused = 0;
        for (int i = 0; i < 300; ++i) {
            const bool accepted = editor.Edit(h);
            const Snapshot after = RandomEditor::Take(p);
            if (after == timeline[now]) {
                refused += accepted ? 0 : 1;
                ASSERT_EQ(h.UndoCount(), now) << "an edit that changed nothing left a step";
                continue;
            }
            ASSERT_TRUE(accepted) << "a refused edit changed the pattern";
            timeline.push_back(after);
            ++now;
            ASSERT_EQ(h.UndoCount(), now);
        }
        EXPECT_GT(refused, 30) << "the run should try many refused edits";
        EXPECT_GT(now, 100u);

        while (h.CanUndo()) {
            ASSERT_TRUE(h.Undo());
            --now;
            ASSERT_EQ(RandomEditor::Take(p), timeline[now]) << "after undo to " << now;
        }
        ASSERT_EQ(now, 0u);
        EXPECT_EQ(RandomEditor::Take(p), timeline.front()) << Describe(RandomEditor::Take(p));
        while (h.CanRedo()) {
            ASSERT_TRUE(h.Redo());
            ++now;
            ASSERT_EQ(RandomEditor::Take(p), timeline[now]) << "after redo to " << now;
        }
        EXPECT_EQ(RandomEditor::Take(p), timeline.back()) << Describe(RandomEditor::Take(p));

        // Wander: undo, redo and edit at random; a new step cuts the timeline there.
        for (int i = 0; i < 600; ++i) {
            const int what = editor.Pick(0, 4);
            if (what <= 1) {
                ASSERT_EQ(h.Undo(), now > 0);
                if (now > 0) --now;
            } else if (what == 2) {
                ASSERT_EQ(h.Redo(), now + 1 < timeline.size());
                if (now + 1 < timeline.size()) ++now;
            } else {
                editor.Edit(h);
                const Snapshot after = RandomEditor::Take(p);
                if (after != timeline[now]) {
                    timeline.resize(now + 1);
                    timeline.push_back(after);
                    ++now;
                    ASSERT_FALSE(h.CanRedo());
                }
            }
            ASSERT_EQ(RandomEditor::Take(p), timeline[now]) << "step " << i;
            ASSERT_EQ(h.UndoCount(), now);
            ASSERT_EQ(h.RedoCount(), timeline.size() - 1 - now);
        }
        while (h.Undo())
            --now;
        EXPECT_EQ(now, 0u);
        EXPECT_EQ(RandomEditor::Take(p), timeline.front());
    }
}

TEST(PatternHistory, TheHookSaysWhatUndoAndRedoChanged) {
    CPattern p;
    CPatternHistory h(p);
    std::vector<std::pair<bool, bool>> told;
    h.SetUndoHook([&](CPatternHistory::Change c) { told.emplace_back(c.values, c.notes); });
    ASSERT_TRUE(h.AddNote(0, 60, 100, 2));
    ASSERT_TRUE(h.SetStepsPerMeasure(8));
    EXPECT_TRUE(told.empty()) << "edits are not undo changes";
    ASSERT_TRUE(h.Undo());
    ASSERT_TRUE(h.Undo());
    ASSERT_TRUE(h.Redo());
    EXPECT_FALSE(h.Redo() && h.Redo() && h.Redo()); // one more, then nothing
    using Told = std::vector<std::pair<bool, bool>>;
    EXPECT_EQ(told, (Told{{true, false}, {false, true}, {false, true}, {true, false}}));
    told.clear();
    h.Clear();
    EXPECT_FALSE(h.Undo());
    EXPECT_TRUE(told.empty());
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
    ASSERT_TRUE(p.IsPlaying());

    EXPECT_TRUE(h.Undo()); // the second note
    EXPECT_FALSE(p.GetCell(4, 60).has_value());
    EXPECT_FALSE(h.CanUndo()) << "the tempo step waits";
    EXPECT_FALSE(h.Undo());
    EXPECT_EQ(p.GetTempo(), 90);
    EXPECT_EQ(h.UndoCount(), 2u);
    EXPECT_TRUE(h.CanRedo());
    EXPECT_TRUE(h.Redo());
    EXPECT_TRUE(h.Undo());

    p.Stop();
    EXPECT_TRUE(h.Undo());
    EXPECT_EQ(p.GetTempo(), 120);
    p.Start();
    EXPECT_FALSE(h.CanRedo()) << "redoing the tempo waits too";
    EXPECT_TRUE(h.Undo()); // the first note
    EXPECT_FALSE(h.CanUndo());
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
    EXPECT_FALSE(h.CanRedo());

    ASSERT_TRUE(h.AddNote(8, 61, 100, 2));
    ASSERT_TRUE(h.Undo());
    ASSERT_TRUE(p.AddNote(9, 61, 10, 1)); // where the redo would go
    EXPECT_FALSE(h.Redo());
    EXPECT_EQ(p.GetCell(9, 61)->velocity, 10);
    EXPECT_FALSE(p.GetCell(8, 61).has_value());

    ASSERT_TRUE(h.SetTempo(100));
    p.SetTempo(110);
    EXPECT_FALSE(h.Undo());
    EXPECT_EQ(p.GetTempo(), 110);
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

// A tick on this thread while undo and redo move a long note between two keys of a two-step
// pattern on another: step 0 must always send exactly one note-on. An undo made of a removal
// and an addition would let a tick see no note at all.
TEST(PatternHistory, TicksNeverSeeAnUndoHalfDone) {
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
    constexpr int kRounds = 2000;
#else
    constexpr int kRounds = 20000;
#endif
    struct Counter : zorvil::IMidiEventQueue {
        void QueueMidiEvent(const zorvil::CMidiMessage& m) override {
            words.push_back(m.ShortMessage());
        }
        std::vector<uint32_t> words;
    } events;
    CPattern p;
    p.SetMeasures(1);
    p.SetStepsPerMeasure(2);
    CPatternHistory h(p);
    ASSERT_TRUE(h.AddNote(0, 60, 100, 200));
    ASSERT_TRUE(h.MoveNote(100, 60, 0, 61));
    ASSERT_TRUE(h.SetNoteVelocity(0, 61, 100)); // unchanged: no step
    p.SetEventQueue(&events);

    std::atomic<bool> done{false};
    std::atomic<int> rounds{0};
    std::thread ui([&] {
        for (int i = 0; !done; ++i) {
            EXPECT_TRUE(i % 2 == 0 ? h.Undo() : h.Redo());
            rounds.store(i + 1, std::memory_order_relaxed);
        }
    });
    int ticks = 0;
    bool consistent = true;
    while (consistent && (ticks < kRounds || rounds.load(std::memory_order_relaxed) < kRounds)) {
        const int position = p.GetPosition();
        p.OnStep();
        ++ticks;
        consistent = position == 0 ? events.words.size() == 1 && (events.words[0] & 0xF0) == 0x90
                                   : events.words.empty();
        events.words.clear();
    }
    done = true;
    ui.join();
    EXPECT_TRUE(consistent) << "after " << ticks << " ticks";
    EXPECT_EQ(p.GetNoteCount(), 1);
}

} // namespace
