// CPatternHistory: undo and redo of every edit of the pattern, one step per edit.
//
// Every edit the user makes (a note added, removed, resized, moved or given a new velocity; the
// tempo, the measures or the steps per measure changed) goes through the history, which applies
// it to the pattern and, when the pattern accepted it and something changed, records one step:
// the note as it was before and as it is after, or the three values before and after. A new
// step drops whatever could be redone. Undo puts the pattern back as it was before the last
// step, Redo applies it again; both go through the pattern's own editing operations, so the
// step clock (which reads the grid on its own thread while the user edits) never sees a note
// half changed.
//
//     CPatternHistory history(pattern);
//     history.AddNote(10, 60, 127, 1);          // one step
//     history.ResizeNote(10, 13, 60);           // one step: the note now ends at step 13
//     history.SetTempo(90);                     // one step
//     history.Undo();                           // tempo 120 again
//     history.Undo();                           // the note is one step long again
//     history.Redo();                           // four steps long
//     history.SetNoteVelocity(10, 60, 64);      // one step; nothing can be redone now
//
// While the sequencer plays, note steps are undone and redone like edits (editing is not
// blocked while playing), but a step that changed the tempo, the measures or the steps per
// measure is held back until the sequencer stops: the clock computed its period from those
// values when it started, and the tempo bar that sets them is disabled while playing. CanUndo
// and CanRedo say false then, so the Edit menu greys the commands out.
//
// A step that no longer fits the pattern (something edited the pattern behind the history's
// back without clearing it) is never forced onto it: Undo or Redo then returns false and the
// history is cleared, leaving the pattern as it is.
//
// Threads: the user-interface thread only, like every other edit of the pattern.
#pragma once

#include "sequencer/pattern.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

namespace zorvil {

class CPatternHistory {
public:
    // The oldest steps go once this many are kept.
    static constexpr size_t kMaxSteps = 10000;

    explicit CPatternHistory(CPattern& pattern);
    CPatternHistory(const CPatternHistory&) = delete;
    CPatternHistory& operator=(const CPatternHistory&) = delete;

    // Each edit applies to the pattern; when the pattern accepts it (returns true and changed
    // something) it becomes one undo step and the redo list is dropped. Each returns what the
    // pattern returned.
    bool AddNote(int step, int key, int velocity, int length);
    bool RemoveNote(int step, int key);
    bool ResizeNote(int step, int newEndStep, int key);
    bool MoveNote(int step, int key, int newStartStep, int newKey);
    bool SetNoteVelocity(int step, int key, int velocity);
    // The tempo bar's values, clamped by the pattern; each returns true and is one undo step
    // when the value changed.
    bool SetTempo(int tempo);
    bool SetMeasures(int measures);
    bool SetStepsPerMeasure(int steps);

    bool CanUndo() const noexcept;
    bool CanRedo() const noexcept;
    // False when there is nothing to undo (or redo), or the step must wait (see above).
    bool Undo();
    bool Redo();
    // Forgets every step (New and Open call it).
    void Clear() noexcept;
    size_t UndoCount() const noexcept { return m_undo.size(); }
    size_t RedoCount() const noexcept { return m_redo.size(); }
    // Moves on whenever the history changed the pattern (an edit recorded, an undo, a redo):
    // callers compare it before and after an edit to learn whether the pattern changed.
    uint64_t Revision() const noexcept { return m_nRevision; }

    // Told after every change that Undo or Redo made to the pattern: whether the tempo,
    // measures or steps per measure changed (the frame then refreshes the tempo bar, the view's
    // copies and the tempo the plug-ins are told) and whether the notes did (the view repaints).
    struct Change {
        bool values = false;
        bool notes = false;
    };
    void SetUndoHook(std::function<void(Change)> hook) { m_undoHook = std::move(hook); }

private:
    using Note = CPattern::Note;
    struct Values {
        int tempo = 0;
        int measures = 0;
        int steps = 0;
        friend bool operator==(const Values&, const Values&) = default;
    };
    // One step: a note as it was and as it is (either may be absent: added, removed), or the
    // three values as they were and as they are.
    struct Step {
        std::optional<Note> noteBefore;
        std::optional<Note> noteAfter;
        std::optional<Values> valuesBefore;
        std::optional<Values> valuesAfter;
        bool IsValues() const noexcept { return valuesBefore.has_value(); }
    };

    // The whole note with a cell at (step, key), or nothing.
    std::optional<Note> NoteAt(int step, int key) const;
    Values CurrentValues() const noexcept;
    void SetValues(const Values& values) noexcept;
    // Runs `edit` on the pattern and records the change of the note found at (step, key)
    // before and at (afterStep, afterKey) after.
    template <class Edit>
    bool EditNote(int step, int key, Edit&& edit);
    template <class Set>
    bool EditValues(Set&& set);
    void Record(Step step);
    // Turns the pattern from `from` into `to`: the note or the values. False, leaving the
    // pattern untouched, when the pattern does not hold `from`.
    bool Apply(const std::optional<Note>& from, const std::optional<Note>& to);
    bool Apply(const Values& from, const Values& to) noexcept;
    bool Allowed(const Step& step) const noexcept;
    // Undo (from before to after reversed) or Redo.
    bool Travel(std::deque<Step>& source, std::deque<Step>& target, bool backwards);

    CPattern& m_pattern;
    std::deque<Step> m_undo; // oldest first
    std::deque<Step> m_redo; // the next to redo last
    std::function<void(Change)> m_undoHook;
    uint64_t m_nRevision = 0;
};

} // namespace zorvil
