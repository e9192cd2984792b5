#include "files/file_reader.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zorvil::files {

using platform::FileErrorCause;
using platform::FileErrorCauseFromErrno;

FileReader::~FileReader() {
    Close();
}

void FileReader::Close() noexcept {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_size = 0;
    m_position = 0;
    m_error = FileErrorCause::None;
}

FileErrorCause FileReader::Open(const std::string& path) {
    Close();
    // Looked at before it is opened: opening a FIFO waits for a writer, opening a device may
    // do things of its own.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return FileErrorCauseFromErrno(errno);
    if (!S_ISREG(info.st_mode)) return FileErrorCause::InvalidFile;
    // Non-blocking, and checked again, in case something else took the name in between.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return FileErrorCauseFromErrno(errno);
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) {
        const int error = errno;
        ::close(fd);
        return S_ISREG(info.st_mode) ? FileErrorCauseFromErrno(error) : FileErrorCause::InvalidFile;
    }
    m_fd = fd;
    m_size = static_cast<uint64_t>(info.st_size);
    return FileErrorCause::None;
}

size_t FileReader::ReadAt(uint64_t offset, std::span<uint8_t> buffer) noexcept {
    if (m_fd < 0) return 0;
    size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t got = ::pread(m_fd, buffer.data() + done, buffer.size() - done,
                                    static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            if (m_error == FileErrorCause::None) {
                const FileErrorCause cause = FileErrorCauseFromErrno(errno);
                m_error = cause == FileErrorCause::None ? FileErrorCause::HardIO : cause;
            }
            break;
        }
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    return done;
}

size_t FileReader::Read(std::span<uint8_t> buffer) noexcept {
    const size_t got = ReadAt(m_position, buffer);
    m_position += got;
    return got;
}

} // namespace zorvil::files
