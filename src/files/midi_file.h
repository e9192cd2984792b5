// MIDI file export: the pattern as a Standard MIDI File of format 0.
//
// One track on channel 1: the track name "Zorvil", the tempo, then a note-on/note-off pair for
// every note of the whole grid (all 256 steps, whatever the pattern's current length), at 96
// ticks per quarter note, a step lasting 384 / steps-per-measure ticks. Events at one tick come
// in key order, a key's note-off directly before its next note-on; notes still sounding after
// the last step are switched off at the end, in key order. No running status.
//
//     std::vector<uint8_t> bytes = BuildMidiFile(120, 16, notes);   // 43 bytes when empty
//     if (!ExportMidiFile(path, 120, 16, notes, ui)) ...;  // message shown already
#pragma once

#include "files/note_grid.h"
#include "platform/user_interface.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zorvil {

inline constexpr int kMidiTicksPerQuarter = 96;
inline constexpr int kMidiTicksPerMeasure = 4 * kMidiTicksPerQuarter;

// The file's bytes. The notes are those of the pattern (invalid or overlapping ones are left
// out); tempo and steps per measure are taken within the pattern's ranges (30-303, 2-32).
std::vector<uint8_t> BuildMidiFile(int tempo, int stepsPerMeasure,
                                   std::span<const NoteRecord> notes);
std::vector<uint8_t> BuildMidiFile(int tempo, int stepsPerMeasure, const NoteGrid& grid);

// Writes the file (through a temporary file renamed over the target when complete). On failure
// shows "Can't open file for write %s, error = %u\n" with the stop icon and returns false.
bool ExportMidiFile(const std::string& path, int tempo, int stepsPerMeasure,
                    std::span<const NoteRecord> notes, IUserInterface& ui);

} // namespace zorvil
