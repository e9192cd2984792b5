#include "sequencer/pattern_history.h"

#include <utility>

namespace zorvil {

CPatternHistory::CPatternHistory(CPattern& pattern) : m_pattern(pattern) {}

std::optional<CPattern::Note> CPatternHistory::NoteAt(int step, int key) const {
    const auto cell = m_pattern.GetCell(step, key);
    if (!cell) return std::nullopt;
    return Note{step - cell->part + 1, key, cell->velocity, cell->length};
}

CPatternHistory::Values CPatternHistory::CurrentValues() const noexcept {
    return {m_pattern.GetTempo(), m_pattern.GetMeasures(), m_pattern.GetStepsPerMeasure()};
}

void CPatternHistory::SetValues(const Values& values) noexcept {
    m_pattern.SetTempo(values.tempo);
    m_pattern.SetMeasures(values.measures);
    m_pattern.SetStepsPerMeasure(values.steps);
}

void CPatternHistory::Record(Step step) {
    m_redo.clear();
    m_undo.push_back(std::move(step));
    ++m_nRevision;
    if (m_undo.size() > kMaxSteps) m_undo.pop_front();
}

template <class Edit>
bool CPatternHistory::EditNote(int step, int key, Edit&& edit) {
    const auto before = NoteAt(step, key);
    std::optional<Note> after;
    if (!edit(before, after)) return false;
    if (before != after) Record({before, after, std::nullopt, std::nullopt});
    return true;
}

bool CPatternHistory::AddNote(int step, int key, int velocity, int length) {
    return EditNote(step, key, [&](const auto&, std::optional<Note>& after) {
        if (!m_pattern.AddNote(step, key, velocity, length)) return false;
        after = NoteAt(step, key);
        return true;
    });
}

bool CPatternHistory::RemoveNote(int step, int key) {
    return EditNote(step, key, [&](const auto&, std::optional<Note>&) {
        return m_pattern.RemoveNote(step, key);
    });
}

bool CPatternHistory::ResizeNote(int step, int newEndStep, int key) {
    return EditNote(step, key, [&](const std::optional<Note>& before, std::optional<Note>& after) {
        if (!m_pattern.ResizeNote(step, newEndStep, key)) return false;
        after = NoteAt(before->step, key);
        return true;
    });
}

bool CPatternHistory::MoveNote(int step, int key, int newStartStep, int newKey) {
    return EditNote(step, key, [&](const auto&, std::optional<Note>& after) {
        if (!m_pattern.MoveNote(step, key, newStartStep, newKey)) return false;
        after = NoteAt(newStartStep, newKey);
        return true;
    });
}

bool CPatternHistory::SetNoteVelocity(int step, int key, int velocity) {
    return EditNote(step, key, [&](const std::optional<Note>& before, std::optional<Note>& after) {
        if (!m_pattern.SetNoteVelocity(step, key, velocity)) return false;
        after = NoteAt(before->step, key);
        return true;
    });
}

template <class Set>
bool CPatternHistory::EditValues(Set&& set) {
    const Values before = CurrentValues();
    set();
    const Values after = CurrentValues();
    if (before == after) return false;
    Record({std::nullopt, std::nullopt, before, after});
    return true;
}

bool CPatternHistory::SetTempo(int tempo) {
    return EditValues([&] { m_pattern.SetTempo(tempo); });
}

bool CPatternHistory::SetMeasures(int measures) {
    return EditValues([&] { m_pattern.SetMeasures(measures); });
}

bool CPatternHistory::SetStepsPerMeasure(int steps) {
    return EditValues([&] { m_pattern.SetStepsPerMeasure(steps); });
}

bool CPatternHistory::Apply(const std::optional<Note>& from, const std::optional<Note>& to) {
    if (!from) return to && m_pattern.AddNote(to->step, to->key, to->velocity, to->length);
    if (NoteAt(from->step, from->key) != from) return false;
    if (!to) return m_pattern.RemoveNote(from->step, from->key);
    // A step changes one thing of a note; each is one edit of the pattern, seen whole by the
    // clock.
    const bool moved = from->step != to->step || from->key != to->key;
    const bool resized = from->length != to->length;
    const bool revoiced = from->velocity != to->velocity;
    if (moved + resized + revoiced != 1) return false;
    if (moved) return m_pattern.MoveNote(from->step, from->key, to->step, to->key);
    if (resized) return m_pattern.ResizeNote(from->step, to->step + to->length - 1, to->key);
    return m_pattern.SetNoteVelocity(from->step, from->key, to->velocity);
}

bool CPatternHistory::Apply(const Values& from, const Values& to) noexcept {
    if (CurrentValues() != from) return false;
    SetValues(to);
    return true;
}

bool CPatternHistory::Allowed(const Step& step) const noexcept {
    return !step.IsValues() || !m_pattern.IsPlaying();
}

bool CPatternHistory::CanUndo() const noexcept {
    return !m_undo.empty() && Allowed(m_undo.back());
}

bool CPatternHistory::CanRedo() const noexcept {
    return !m_redo.empty() && Allowed(m_redo.back());
}

bool CPatternHistory::Travel(std::deque<Step>& source, std::deque<Step>& target, bool backwards) {
    if (source.empty() || !Allowed(source.back())) return false;
    Step step = std::move(source.back());
    source.pop_back();
    bool applied = false;
    if (step.IsValues()) {
        applied = backwards ? Apply(*step.valuesAfter, *step.valuesBefore)
                            : Apply(*step.valuesBefore, *step.valuesAfter);
    } else {
        applied = backwards ? Apply(step.noteAfter, step.noteBefore)
                            : Apply(step.noteBefore, step.noteAfter);
    }
    if (!applied) {
        // The pattern was changed elsewhere: the remaining steps describe another pattern.
        Clear();
        return false;
    }
    const Change change{step.IsValues(), !step.IsValues()};
    target.push_back(std::move(step));
    ++m_nRevision;
    if (m_undoHook) m_undoHook(change);
    return true;
}

bool CPatternHistory::Undo() {
    return Travel(m_undo, m_redo, true);
}

bool CPatternHistory::Redo() {
    return Travel(m_redo, m_undo, false);
}

void CPatternHistory::Clear() noexcept {
    m_undo.clear();
    m_redo.clear();
}

} // namespace zorvil
