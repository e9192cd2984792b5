// FileReader: the one way the file readers open what they read.
//
// Only regular files are read. A folder, a FIFO, a device node or a socket is refused with
// cause InvalidFile ("not a regular file") before it is opened, so that a FIFO never blocks the
// program and /dev/zero is never read for ever; the check is made again on what was opened.
// The size is known from the start, so the readers check every size field of a file against
// what the file holds before they allocate anything.
//
//     FileReader file;
//     if (auto cause = file.Open(path); cause != platform::FileErrorCause::None) report(cause);
//     std::array<uint8_t, 28> header{};
//     if (file.Read(header) < header.size()) ...;           // short file (or file.Error())
//     file.ReadAt(offset, buffer);                          // anywhere, without moving
//
// Threads: one thread at a time per object.
#pragma once

#include "platform/file_error.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace zorvil::files {

class FileReader {
public:
    FileReader() = default;
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // Opens a regular file for reading (a symbolic link is followed). None, or the cause.
    platform::FileErrorCause Open(const std::string& path);
    bool IsOpen() const noexcept { return m_fd >= 0; }

    // The file's size when it was opened.
    uint64_t Size() const noexcept { return m_size; }
    // Bytes between the read position and the end (as the size was when opened).
    uint64_t Remaining() const noexcept { return m_size - std::min(m_position, m_size); }

    // Reads from the read position and moves it on; returns the bytes read, fewer than asked
    // only at the end of the file or after an error (Error() tells).
    size_t Read(std::span<uint8_t> buffer) noexcept;
    // Reads at `offset` without moving the read position.
    size_t ReadAt(uint64_t offset, std::span<uint8_t> buffer) noexcept;

    // The cause of the first read error since Open (None while there was none).
    platform::FileErrorCause Error() const noexcept { return m_error; }

private:
    void Close() noexcept;

    int m_fd = -1;
    uint64_t m_size = 0;
    uint64_t m_position = 0;
    platform::FileErrorCause m_error = platform::FileErrorCause::None;
};

} // namespace zorvil::files
