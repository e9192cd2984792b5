// File-error cause numbers: the small numbers that file-failure messages show the user
// ("Can't open file for write %s, error = %u"), mapped from errno, and the words that go with
// them, so that no message leaves the user with a bare number.
//
//     const auto cause = FileErrorCauseFromErrno(errno);          // ENOSPC: DiskFull (13)
//     message += FileErrorCauseText(cause);                       // "disk full"
//     line = PrintablePath(pathFromAFile) + ": " + ...;            // one line, whatever it holds
#pragma once

#include <string>
#include <string_view>

namespace zorvil::platform {

// Cause numbers shown in file messages.
enum class FileErrorCause : unsigned {
    None = 0,
    Generic = 1,
    FileNotFound = 2,
    BadPath = 3,
    TooManyOpenFiles = 4,
    AccessDenied = 5,
    InvalidFile = 6,
    HardIO = 10,
    DiskFull = 13,
};

// The cause number for an errno value: ENOENT 2, ENOTDIR, ENAMETOOLONG and ELOOP 3, EMFILE and
// ENFILE 4, EACCES, EPERM and EROFS 5, EISDIR 6, EIO 10, ENOSPC and EDQUOT 13, 0 for 0,
// anything else 1.
FileErrorCause FileErrorCauseFromErrno(int error) noexcept;

// The cause in words, lower case, for the end of a message: "no such file or folder",
// "permission denied", "disk full", "not a regular file" ...
std::string_view FileErrorCauseText(FileErrorCause cause) noexcept;

// A path (or any name) as a message prints it: control characters are escaped ("\n", "\t",
// "\r", else "\xHH"), so that a name read from a file can never split a message into several
// lines or hide what follows it. Everything else, bytes of UTF-8 names included, stays.
std::string PrintablePath(std::string_view path);

} // namespace zorvil::platform
