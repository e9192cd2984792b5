// Whole-file reads and safe writes for the files the program saves.
//
// A save never destroys the previous file when it fails part-way: a ReplacingFile is written
// under a temporary name in the target's folder, flushed, and renamed over the target only
// after every byte was written. The save writes where the user pointed, as a plain open would:
//   - a symbolic link is followed, and the file it names is replaced (the link stays a link);
//   - a target that exists must be a regular file (a folder, a FIFO or a device is refused)
//     that the user may write (else it is refused as an open would be: access denied);
//   - the replaced file's mode (and, where the system allows, its owner) carries over.
// The temporary name is short and of fixed length (".zorvil-XXXXXXXX.tmp"), so that every legal
// target name works, and it is registered with platform::TemporaryPaths while it exists, so
// that an interrupted program removes it. Failures come back as the file-error cause numbers
// that the messages show ("Can't open file for write %s, error = %u") with the errno behind
// them.
//
//     auto cause = files::WriteFileAtomically(path, bytes);
//     if (cause != platform::FileErrorCause::None) ShowWriteError(path, cause);
//
//     files::ReplacingFile file(path);              // checks the target, makes the temporary
//     if (!file.IsOpen()) return file.Error();
//     write(file.Descriptor(), ...);                // or open file.TemporaryPath() by name
//     files::WriteError error = file.Commit();      // in place, or removed on failure
//
//     files::FileReadResult read = files::ReadWholeFile(path, files::kMaxFileBytes);
//     if (!read.ok) ...;
#pragma once

#include "platform/file_error.h"

#include "platform/temporary_files.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <sys/types.h>
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

// Why a file could not be written: the cause number the messages show and the errno behind it.
struct WriteError {
    platform::FileErrorCause cause = platform::FileErrorCause::None;
    int error = 0;               // errno of the call that failed; 0 when a check refused it
    bool notRegularFile = false; // the target exists and is a folder, a FIFO, a device ...

    explicit operator bool() const noexcept { return cause != platform::FileErrorCause::None; }
    static WriteError FromErrno(int error) noexcept;
};

// A file that takes the place of its target only once it is complete (see above). Not
// committed, it removes its temporary file when it goes.
class ReplacingFile {
public:
    explicit ReplacingFile(const std::string& target);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // False when the target was refused or no temporary file could be made (Error says why).
    bool IsOpen() const noexcept { return m_fd >= 0; }
    const WriteError& Error() const noexcept { return m_error; }
    // The temporary file: an open descriptor, and its name.
    int Descriptor() const noexcept { return m_fd; }
    const std::string& TemporaryPath() const noexcept { return m_temporary; }
    // The file it replaces: the target with its symbolic links followed.
    const std::string& Target() const noexcept { return m_target; }

    // Flushes the temporary file to disk, gives it the replaced file's mode and renames it over
    // the target. On failure the temporary file is removed and the target left as it was.
    WriteError Commit();
    // Removes the temporary file; the target stays as it was.
    void Discard() noexcept;

private:
    std::string m_target;
    std::string m_temporary;
    int m_fd = -1;
    WriteError m_error;
    bool m_bReplaces = false; // the target exists: its mode and owner carry over
    mode_t m_mode = 0;
    uid_t m_uid = 0;
    gid_t m_gid = 0;
    platform::TemporaryPath m_registered;
};

// Writes bytes to path through a ReplacingFile. Returns FileErrorCause::None on success; on
// failure path is left as it was, the temporary file is removed and `detail` (when given) gets
// the errno behind the cause.
platform::FileErrorCause WriteFileAtomically(const std::string& path,
                                             std::span<const uint8_t> bytes,
                                             WriteError* detail = nullptr);

// Whether both paths name the same existing file (links followed; names do not matter).
bool IsSameFile(const std::string& a, const std::string& b);

// "Can't open file for write %s, error = %u\n" and its reading twin, formatted, with the cause in
// words after its number ("..., error = 2 (no such file or folder)\n") and the path printable.
std::string CantOpenForWriteMessage(std::string_view path, platform::FileErrorCause cause);
std::string CantOpenForReadMessage(std::string_view path, platform::FileErrorCause cause);

} // namespace zorvil::files
