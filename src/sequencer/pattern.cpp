#include "sequencer/pattern.h"

#include <algorithm>

namespace zorvil {

namespace {

constexpr int ClampVelocity(int velocity) noexcept {
    return std::clamp(velocity, 0, 127);
}

} // namespace

CPattern::CPattern() {
    Reset();
}

CPattern::~CPattern() {
    CancelTimer();
}

void CPattern::Reset() {
    if (IsPlaying()) Stop();
    SetMeasures(kDefaultMeasures);
    SetStepsPerMeasure(kDefaultStepsPerMeasure);
    SetTempo(kDefaultTempo);
    {
        const std::lock_guard lock(m_editLock);
        m_grid.Write([](Grid::Words& cells) {
            for (auto& cell : cells)
                cell.store(0, std::memory_order_release);
        });
    }
    m_bPlaying.store(false, std::memory_order_release);
    m_nPosition.store(0, std::memory_order_release);
}

void CPattern::SetTempo(int tempo) noexcept {
    m_nTempo = std::clamp(tempo, kMinTempo, kMaxTempo);
    if (m_tempoHook) m_tempoHook(m_nTempo);
}

void CPattern::SetMeasures(int measures) noexcept {
    m_nMeasures = std::clamp(measures, kMinMeasures, kMaxMeasures);
    m_nTotalSteps.store(m_nMeasures * m_nStepsPerMeasure, std::memory_order_release);
}

void CPattern::SetStepsPerMeasure(int steps) noexcept {
    m_nStepsPerMeasure = std::clamp(steps, kMinSteps, kMaxSteps);
    m_nTotalSteps.store(m_nMeasures * m_nStepsPerMeasure, std::memory_order_release);
}

std::optional<CNoteCell> CPattern::GetCell(int step, int key) const noexcept {
    if (!InGrid(step, key)) return std::nullopt;
    const CellWord word = LoadCell(step, key);
    if (CellPart(word) == 0) return std::nullopt;
    return CNoteCell{CellVelocity(word), CellLength(word), CellPart(word)};
}

std::optional<CPattern::Note> CPattern::FindNote(int step, int key) const noexcept {
    if (!InGrid(step, key)) return std::nullopt;
    const CellWord word = LoadCell(step, key);
    const int part = CellPart(word);
    if (part == 0) return std::nullopt;
    const Note note{step - part + 1, key, CellVelocity(word), CellLength(word)};
    if (note.step < 0 || note.length < part || note.step + note.length > kStepCapacity)
        return std::nullopt; // not a cell any edit makes
    return note;
}

bool CPattern::IsFree(int start, int key, int length, const Note* ignore) const noexcept {
    if (start < 0 || key < 0 || key >= kKeyCount || length < 1 || start + length > kStepCapacity)
        return false;
    for (int s = start; s < start + length; ++s) {
        const bool own = ignore != nullptr && ignore->key == key && s >= ignore->step &&
                         s < ignore->step + ignore->length;
        if (!own && CellPart(LoadCell(s, key)) != 0) return false;
    }
    return true;
}

void CPattern::WriteNote(Grid::Words& cells, const Note& note) noexcept {
    for (int i = 0; i < note.length; ++i)
        cells[Slot(note.step + i, note.key)].store(PackCell(note.velocity, note.length, i + 1),
                                                   std::memory_order_release);
}

void CPattern::EraseNote(Grid::Words& cells, const Note& note) noexcept {
    for (int i = 0; i < note.length; ++i)
        cells[Slot(note.step + i, note.key)].store(0, std::memory_order_release);
}

void CPattern::ReplaceNote(const std::optional<Note>& from, const Note& to) noexcept {
    m_grid.Write([&](Grid::Words& cells) {
        if (from) EraseNote(cells, *from);
        WriteNote(cells, to);
    });
}

bool CPattern::AddNote(int step, int key, int velocity, int length) {
    const Note note{step, key, ClampVelocity(velocity), std::max(length, 1)};
    const std::lock_guard lock(m_editLock);
    if (!IsFree(note.step, note.key, note.length, nullptr)) return false;
    ReplaceNote(std::nullopt, note);
    return true;
}

bool CPattern::RemoveNote(int step, int key) {
    const std::lock_guard lock(m_editLock);
    const auto note = FindNote(step, key);
    if (!note) return false;
    m_grid.Write([&](Grid::Words& cells) { EraseNote(cells, *note); });
    return true;
}

template <class Change>
bool CPattern::ChangeNote(int step, int key, Change&& change) {
    const std::lock_guard lock(m_editLock);
    const auto note = FindNote(step, key);
    if (!note) return false;
    Note changed = *note;
    change(changed);
    if (!IsFree(changed.step, changed.key, changed.length, &*note)) return false;
    ReplaceNote(note, changed);
    return true;
}

bool CPattern::ResizeNote(int step, int newEndStep, int key) {
    return ChangeNote(step, key, [newEndStep](Note& note) {
        note.length = std::max(newEndStep - note.step + 1, 1);
    });
}

bool CPattern::MoveNote(int step, int key, int newStartStep, int newKey) {
    return ChangeNote(step, key, [newStartStep, newKey](Note& note) {
        note.step = newStartStep;
        note.key = newKey;
    });
}

bool CPattern::SetNoteVelocity(int step, int key, int velocity) {
    return ChangeNote(step, key,
                      [velocity](Note& note) { note.velocity = ClampVelocity(velocity); });
}

int CPattern::GetNoteCount() const {
    const std::lock_guard lock(m_editLock);
    int count = 0;
    for (const auto& cell : m_grid.Current())
        count += CellPart(cell.load(std::memory_order_acquire)) == 1 ? 1 : 0;
    return count;
}

std::vector<CPattern::Note> CPattern::GetNotes() const {
    std::vector<Note> notes;
    const std::lock_guard lock(m_editLock);
    for (int step = 0; step < kStepCapacity; ++step) {
        for (int key = 0; key < kKeyCount; ++key) {
            const CellWord word = LoadCell(step, key);
            if (CellPart(word) == 1)
                notes.push_back({step, key, CellVelocity(word), CellLength(word)});
        }
    }
    return notes;
}

} // namespace zorvil
