// Whole-file reads and safe whole-file writes for the files the program saves.
//
// A save never destroys the previous file when it fails part-way: WriteFileAtomically writes a
// temporary file in the target's folder, flushes it, and renames it over the target only after
// every byte was written. Failures come back as the file-error cause numbers that the messages
// show ("Can't open file for write %s, error = %u").
//
//     auto cause = files::WriteFileAtomically(path, bytes);
//     if (cause != platform::FileErrorCause::None) ShowWriteError(path, cause);
//
//     files::FileReadResult read = files::ReadWholeFile(path, files::kMaxFileBytes);
//     if (!read.ok) ...;
#pragma once

#include "platform/file_error.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zorvil::files {

// The largest file the readers take in: 2 GiB - 1, the largest size a 32-bit signed field of
// the formats can describe. Larger files are refused before anything is allocated.
inline constexpr size_t kMaxFileBytes = 0x7FFFFFFF;

struct FileReadResult {
    bool ok = false;
    platform::FileErrorCause cause = platform::FileErrorCause::None;
    std::vector<uint8_t> bytes;
};

// Reads the whole file. Only a regular file is read (anything else: cause InvalidFile, without
// blocking); a file larger than maxBytes fails with InvalidFile before anything is allocated.
FileReadResult ReadWholeFile(const std::string& path, size_t maxBytes);

// Writes bytes to path through a temporary file in the same folder that is renamed over path once
// it is complete. Returns FileErrorCause::None on success; on failure path is left as it was and
// the temporary file is removed.
platform::FileErrorCause WriteFileAtomically(const std::string& path,
                                             std::span<const uint8_t> bytes);

// "Can't open file for write %s, error = %u\n" and its reading twin, formatted, with the cause in
// words after its number ("..., error = 2 (no such file or folder)\n") and the path printable.
std::string CantOpenForWriteMessage(std::string_view path, platform::FileErrorCause cause);
std::string CantOpenForReadMessage(std::string_view path, platform::FileErrorCause cause);

} // namespace zorvil::files
