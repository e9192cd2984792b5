// File-error cause numbers: the small numbers that file-failure messages show the user
// ("Can't open file for write %s, error = %u"), mapped from errno.
#pragma once

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

// The cause number for an errno value: ENOENT 2, ENOTDIR and ENAMETOOLONG 3, EMFILE and
// ENFILE 4, EACCES, EPERM and EROFS 5, EISDIR 6, EIO 10, ENOSPC 13, 0 for 0, anything else 1.
FileErrorCause FileErrorCauseFromErrno(int error) noexcept;

} // namespace zorvil::platform
