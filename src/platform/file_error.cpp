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
    case ELOOP:
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
    case EDQUOT: // a quota that is used up is a full disk to the user
        return FileErrorCause::DiskFull;
    default:
        return FileErrorCause::Generic;
    }
}

std::string_view FileErrorCauseText(FileErrorCause cause) noexcept {
    switch (cause) {
    case FileErrorCause::None:
        return "no error";
    case FileErrorCause::Generic:
        return "an unspecified error";
    case FileErrorCause::FileNotFound:
        return "no such file or folder";
    case FileErrorCause::BadPath:
        return "bad path (a part of it is not a folder, or it is too long)";
    case FileErrorCause::TooManyOpenFiles:
        return "too many open files";
    case FileErrorCause::AccessDenied:
        return "permission denied";
    case FileErrorCause::InvalidFile:
        return "not a regular file";
    case FileErrorCause::HardIO:
        return "input/output error";
    case FileErrorCause::DiskFull:
        return "disk full";
    }
    return "an unspecified error";
}

std::string PrintablePath(std::string_view path) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(path.size());
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            text += c;
        } else if (c == '\n') {
            text += "\\n";
        } else if (c == '\t') {
            text += "\\t";
        } else if (c == '\r') {
            text += "\\r";
        } else {
            text += "\\x";
            text += kHex[byte >> 4];
            text += kHex[byte & 0x0F];
        }
    }
    return text;
}

} // namespace zorvil::platform
