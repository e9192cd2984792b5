// The project file (".tsn"): the pattern and the loaded plug-ins with their states, as bytes.
//
// Layout, little-endian 32-bit integers, nothing between the parts and nothing after them:
//   header (28 bytes)   'T' 'S' 'N' 0, version 1000, effect count, note count, tempo, measures,
//                       steps per measure
//   note records        16 bytes each: start step, key, velocity, length, in enumeration order
//                       (step ascending, key ascending within a step)
//   effect records      264 bytes each: the library path (256 bytes, NUL-terminated, zeros
//                       after), the bank image size n, the current program; then n bytes of
//                       bank image (a bank file's bytes)
//
// ProjectImage is the plain record in between: the writer turns it into bytes, the reader turns
// any bytes into one, however damaged, without ever reading past the end or allocating from a
// size field. What the reader does with damage:
//   - fewer than 4 bytes or another magic: NotAProject ("This file is not a valid tsn file !");
//   - a header shorter than 28 bytes, or a record cut short: Truncated ("Can't read this file
//     properly !"), with every record read in full before the damage kept in the image;
//   - a note outside the grid (or with a velocity outside 0-127) or overlapping an earlier note
//     is left out (counted in skippedNotes);
//   - negative counts read as 0; at most four effect records are read;
//   - a library path without a terminator is cut at its 256 bytes;
//   - tempo, measures and steps per measure are clamped into the pattern's ranges (30-303, 1-8,
//     2-32); the version is not checked.
//
//     ProjectImage image;
//     image.notes.push_back({3, 60, 127, 2});
//     auto bytes = SerializeProject(image);                // 28 + 16 bytes
//     ProjectReadResult read = ParseProject(*bytes);
#pragma once

#include "files/note_grid.h"
#include "platform/file_error.h"
#include "sequencer/pattern.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zorvil {

inline constexpr size_t kProjectHeaderSize = 28;
inline constexpr size_t kProjectNoteSize = 16;
inline constexpr size_t kProjectEffectSize = 264;
inline constexpr size_t kLibraryPathField = 256;
inline constexpr int32_t kProjectVersion = 1000;
inline constexpr int kProjectMaxEffects = 4;

inline constexpr std::string_view kNotAProjectMessage = "This file is not a valid tsn file !";
inline constexpr std::string_view kDamagedProjectMessage = "Can't read this file properly !";

struct EffectImage {
    std::string libraryPath;
    int32_t program = 0;
    std::vector<uint8_t> bank; // a bank file's bytes

    bool operator==(const EffectImage&) const = default;
};

struct ProjectImage {
    int32_t version = kProjectVersion;
    int32_t tempo = CPattern::kDefaultTempo;
    int32_t measures = CPattern::kDefaultMeasures;
    int32_t stepsPerMeasure = CPattern::kDefaultStepsPerMeasure;
    std::vector<NoteRecord> notes;    // enumeration order
    std::vector<EffectImage> effects; // slot order, occupied slots only

    bool operator==(const ProjectImage&) const = default;
};

enum class ProjectReadStatus {
    Ok,
    NotAProject, // kNotAProjectMessage
    Truncated,   // kDamagedProjectMessage
};

struct ProjectReadResult {
    ProjectReadStatus status = ProjectReadStatus::Ok;
    ProjectImage image;
    size_t skippedNotes = 0; // notes left out: outside the grid or overlapping
};

// True when the path can be stored: shorter than the 256-byte field (its terminator must fit)
// and free of NUL bytes. A path that does not fit is refused where it enters, never cut.
bool LibraryPathFitsProject(std::string_view path) noexcept;
// "Library path too long for a project file (at most 255 bytes): <path>"
std::string LibraryPathTooLongMessage(std::string_view path);

// The file's bytes, or nothing when a library path does not fit its field or there are more
// than four effects.
std::optional<std::vector<uint8_t>> SerializeProject(const ProjectImage& image);

ProjectReadResult ParseProject(std::span<const uint8_t> bytes);

// Reading and writing whole files. A failed open gives its cause for the messages
// "Can't open file for read %s, error = %u\n" and "Can't open file for write %s, error = %u\n".
struct ProjectFileReadResult {
    platform::FileErrorCause openError = platform::FileErrorCause::None; // None: the file was read
    ProjectReadResult read;
};
ProjectFileReadResult ReadProjectFile(const std::string& path);

// Writes through a temporary file in the same folder renamed over `path` once complete, so a
// failed save leaves the previous file as it was. Returns the cause of a failure (None on
// success; Generic when the image cannot be serialized).
platform::FileErrorCause WriteProjectFile(const std::string& path, const ProjectImage& image);

} // namespace zorvil
