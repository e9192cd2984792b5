// NoteRecord and NoteGrid: the pattern's notes as the files see them.
//
// A note starts at a step (0-255) on a key (0-127), has a velocity and a length in steps, and
// occupies the cells (step, key) ... (step + length - 1, key). Files list notes in the pattern's
// enumeration order: step ascending, and within a step key ascending. NoteGrid rebuilds the
// cells from such a list, refusing any note that would leave the grid or overlap a note already
// placed, so that damaged files can never write outside the grid.
//
//     NoteGrid grid;
//     grid.Place({3, 60, 127, 2});           // true
//     grid.Place({4, 60, 100, 1});           // false: (4, 60) is taken
//     grid.At(4, 60).part == 2;
#pragma once

#include "sequencer/pattern.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zorvil {

inline constexpr int kGridSteps = CPattern::kStepCapacity; // 8 measures of 32 steps
inline constexpr int kGridKeys = CPattern::kKeyCount;

struct NoteRecord {
    int32_t step = 0;
    int32_t key = 0;
    int32_t velocity = 0;
    int32_t length = 1;

    bool operator==(const NoteRecord&) const = default;
};

// True when the note lies wholly inside the grid, with a length of at least 1 and a velocity of
// 0-127.
constexpr bool IsValidNote(const NoteRecord& note) noexcept {
    return note.step >= 0 && note.step < kGridSteps && note.key >= 0 && note.key < kGridKeys &&
           note.length >= 1 && note.length <= kGridSteps - note.step && note.velocity >= 0 &&
           note.velocity <= 127;
}

class NoteGrid {
public:
    struct Cell {
        uint16_t part = 0; // 0: empty; else 1-based place within its note
        uint16_t length = 0;
        uint8_t velocity = 0;
    };

    // Places the note's cells. False (nothing placed) for a note that is not valid or touches an
    // occupied cell.
    bool Place(const NoteRecord& note) noexcept;
    const Cell& At(int step, int key) const noexcept {
        return m_cells[static_cast<size_t>(step) * kGridKeys + static_cast<size_t>(key)];
    }
    // The notes in enumeration order: step ascending, key ascending within a step.
    std::vector<NoteRecord> Notes() const;

private:
    Cell& At(int step, int key) noexcept {
        return m_cells[static_cast<size_t>(step) * kGridKeys + static_cast<size_t>(key)];
    }
    std::array<Cell, static_cast<size_t>(kGridSteps) * kGridKeys> m_cells{};
};

} // namespace zorvil
