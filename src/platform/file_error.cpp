#include "platform/file_error.h"

#include <cerrno>

namespace zorvil::platform {

FileErrorCause FileErrorCauseFromErrno(int error) noexcept {
    switch (error) {
    case 0:
        return FileErrorCause::None;
    case ENOENT:
        return FileErrorCause::FileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
        return FileErrorCause::BadPath;
    case EMFILE:
    case ENFILE:
        return FileErrorCause::TooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
        return FileErrorCause::AccessDenied;
    case EISDIR:
        return FileErrorCause::InvalidFile;
    case EIO:
        return FileErrorCause::HardIO;
    case ENOSPC:
        return FileErrorCause::DiskFull;
    default:
        return FileErrorCause::Generic;
    }
}

} // namespace zorvil::platform
