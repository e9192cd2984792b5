#include "files/file_io.h"

#include "files/file_reader.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace zorvil::files {

using platform::FileErrorCause;
using platform::FileErrorCauseFromErrno;

namespace {

// Closes the descriptor when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) noexcept : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    int Get() const noexcept { return m_fd; }
    // Closes now and reports the error close found (a delayed write error, for instance).
    int Close() noexcept {
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

int WriteAll(int fd, std::span<const uint8_t> bytes) noexcept {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        done += static_cast<size_t>(written);
    }
    return 0;
}

// The message with the path and the cause number, and the cause in words after the number:
// "Can't open file for write /a/b.tsn, error = 13 (disk full)\n".
std::string FormatOpenMessage(const char* format, std::string_view path, FileErrorCause cause) {
    const std::string pathText = platform::PrintablePath(path);
    const int length =
        std::snprintf(nullptr, 0, format, pathText.c_str(), static_cast<unsigned>(cause));
    std::string text(static_cast<size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, format, pathText.c_str(),
                  static_cast<unsigned>(cause));
    const size_t end = text.ends_with('\n') ? text.size() - 1 : text.size();
    text.insert(end, " (" + std::string(platform::FileErrorCauseText(cause)) + ")");
    return text;
}

} // namespace

FileReadResult ReadWholeFile(const std::string& path, size_t maxBytes) {
    FileReadResult result;
    FileReader file;
    result.cause = file.Open(path);
    if (result.cause != FileErrorCause::None) return result;
    if (file.Size() > maxBytes) {
        result.cause = FileErrorCause::InvalidFile;
        return result;
    }
    try {
        // Exactly what the file holds: a file that grows while it is read is read as it was.
        result.bytes.resize(static_cast<size_t>(file.Size()));
    } catch (const std::bad_alloc&) {
        result.cause = FileErrorCause::Generic;
        return result;
    }
    result.bytes.resize(file.Read(result.bytes));
    if (file.Error() != FileErrorCause::None) {
        result.cause = file.Error();
        result.bytes.clear();
        return result;
    }
    result.ok = true;
    return result;
}

FileErrorCause WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes) {
    static std::atomic<unsigned> counter{0};
    std::string temporary;
    int fdValue = -1;
    for (int attempt = 0; attempt < 100 && fdValue < 0; ++attempt) {
        temporary = path + ".tmp-" + std::to_string(::getpid()) + "-" +
                    std::to_string(counter.fetch_add(1, std::memory_order_relaxed));
        fdValue = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fdValue < 0 && errno != EEXIST) return FileErrorCauseFromErrno(errno);
    }
    if (fdValue < 0) return FileErrorCause::Generic;

    FileDescriptor fd(fdValue);
    int error = WriteAll(fd.Get(), bytes);
    if (error == 0 && ::fsync(fd.Get()) != 0) error = errno;
    const int closeError = fd.Close();
    if (error == 0) error = closeError;
    if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        const FileErrorCause cause = FileErrorCauseFromErrno(error);
        return cause == FileErrorCause::None ? FileErrorCause::Generic : cause;
    }
    return FileErrorCause::None;
}

std::string CantOpenForWriteMessage(std::string_view path, FileErrorCause cause) {
    return FormatOpenMessage("Can't open file for write %s, error = %u\n", path, cause);
}

std::string CantOpenForReadMessage(std::string_view path, FileErrorCause cause) {
    return FormatOpenMessage("Can't open file for read %s, error = %u\n", path, cause);
}

} // namespace zorvil::files
