#include "files/note_grid.h"

namespace zorvil {

bool NoteGrid::Place(const NoteRecord& note) noexcept {
    if (!IsValidNote(note)) return false;
    for (int32_t i = 0; i < note.length; ++i)
        if (At(note.step + i, note.key).part != 0) return false;
    for (int32_t i = 0; i < note.length; ++i)
        At(note.step + i, note.key) = {static_cast<uint16_t>(i + 1),
                                       static_cast<uint16_t>(note.length),
                                       static_cast<uint8_t>(note.velocity)};
    return true;
}

std::vector<NoteRecord> NoteGrid::Notes() const {
    std::vector<NoteRecord> notes;
    for (int step = 0; step < kGridSteps; ++step)
        for (int key = 0; key < kGridKeys; ++key)
            if (const Cell& cell = At(step, key); cell.part == 1)
                notes.push_back({step, key, cell.velocity, cell.length});
    return notes;
}

} // namespace zorvil
