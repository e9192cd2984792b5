#include "files/file_io.h"

#include "files/file_reader.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
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

// The folder part of a path with its trailing '/', or "" for a name without folder.
std::string FolderPrefix(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

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

// Follows symbolic links from `path` to the name of the file they lead to, which need not exist
// yet (a dangling link names the file a save creates). `error` gets ELOOP after too many links,
// or the errno of a failed look-up.
std::string FollowLinks(std::string path, int& error) {
    constexpr int kMaxLinks = 40; // the kernel's own limit
    error = 0;
    for (int hops = 0; hops <= kMaxLinks; ++hops) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) {
            if (errno != ENOENT) error = errno;
            return path;
        }
        if (!S_ISLNK(info.st_mode)) return path;
        std::string link(static_cast<size_t>(info.st_size > 0 ? info.st_size : 255) + 1, '\0');
        const ssize_t length = ::readlink(path.c_str(), link.data(), link.size());
        if (length < 0) {
            error = errno;
            return path;
        }
        if (static_cast<size_t>(length) >= link.size()) continue; // it changed: read it again
        link.resize(static_cast<size_t>(length));
        path = link.starts_with('/') ? link : FolderPrefix(path) + link;
    }
    error = ELOOP;
    return path;
}

// A fresh temporary name of fixed length, so that a target name of any legal length works.
std::string TemporaryName() {
    static std::atomic<uint64_t> counter{0};
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    // splitmix64 over the process, a counter and the time: different in every call and run.
    uint64_t x = (static_cast<uint64_t>(::getpid()) << 32) ^
                 counter.fetch_add(1, std::memory_order_relaxed) ^
                 static_cast<uint64_t>(now.tv_nsec) ^ (static_cast<uint64_t>(now.tv_sec) << 20);
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    x ^= x >> 31;
    char name[32];
    std::snprintf(name, sizeof name, ".zorvil-%08x.tmp", static_cast<unsigned>(x));
    return name;
}

// Makes a rename in the folder of `path` durable; failures only cost durability.
void SyncFolder(const std::string& path) noexcept {
    const std::string folder = FolderPrefix(path);
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
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

WriteError WriteError::FromErrno(int error) noexcept {
    WriteError result;
    result.error = error;
    result.cause = FileErrorCauseFromErrno(error);
    if (result.cause == FileErrorCause::None) result.cause = FileErrorCause::Generic;
    return result;
}

ReplacingFile::ReplacingFile(const std::string& target) {
    int error = 0;
    m_target = FollowLinks(target, error);
    if (error != 0) {
        m_error = WriteError::FromErrno(error);
        return;
    }
    // A target that exists is written only if it is a regular file that the user may write,
    // as an open for writing would find.
    struct stat info {};
    if (::stat(m_target.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode)) {
            m_error = S_ISDIR(info.st_mode) ? WriteError::FromErrno(EISDIR)
                                            : WriteError{FileErrorCause::InvalidFile, 0, false};
            m_error.notRegularFile = true;
            return;
        }
        const int probe = ::open(m_target.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (probe < 0) {
            m_error = WriteError::FromErrno(errno);
            return;
        }
        ::close(probe);
        m_bReplaces = true;
        m_mode = info.st_mode & 07777;
        m_uid = info.st_uid;
        m_gid = info.st_gid;
    } else if (errno != ENOENT) {
        m_error = WriteError::FromErrno(errno);
        return;
    }

    const std::string folder = FolderPrefix(m_target);
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        m_temporary = folder + TemporaryName();
        // Registered before it exists, so that a signal arriving in between still removes it.
        m_registered = platform::TemporaryPath(m_temporary);
        m_fd = ::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd < 0 && errno != EEXIST) break;
    }
    if (m_fd < 0) {
        m_error = WriteError::FromErrno(errno);
        m_registered.Release();
        m_temporary.clear();
        return;
    }
    if (m_bReplaces) {
        // The owner first: changing it may clear the set-id bits that the mode then restores.
        // Only a privileged user may give a file away; otherwise the file is the writer's own.
        struct stat made {};
        if (::fstat(m_fd, &made) == 0 && (made.st_uid != m_uid || made.st_gid != m_gid))
            [[maybe_unused]]
            const int ignored = ::fchown(m_fd, m_uid, m_gid);
        ::fchmod(m_fd, m_mode);
    }
}

ReplacingFile::~ReplacingFile() {
    Discard();
}

WriteError ReplacingFile::Commit() {
    if (m_fd < 0) return m_error ? m_error : WriteError::FromErrno(EBADF);
    int error = ::fsync(m_fd) == 0 ? 0 : errno;
    const int closeError = ::close(m_fd) == 0 ? 0 : errno;
    m_fd = -1;
    if (error == 0) error = closeError;
    if (error == 0 && ::rename(m_temporary.c_str(), m_target.c_str()) != 0) error = errno;
    if (error != 0) {
        m_error = WriteError::FromErrno(error);
        Discard();
        return m_error;
    }
    m_registered.Release();
    m_temporary.clear();
    SyncFolder(m_target);
    return {};
}

void ReplacingFile::Discard() noexcept {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (!m_temporary.empty()) ::unlink(m_temporary.c_str());
    m_temporary.clear();
    m_registered.Release();
}

FileErrorCause WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes,
                                   WriteError* detail) {
    ReplacingFile file(path);
    WriteError error = file.Error();
    if (file.IsOpen()) {
        const int written = WriteAll(file.Descriptor(), bytes);
        error = written != 0 ? WriteError::FromErrno(written) : file.Commit();
    }
    if (detail != nullptr) *detail = error;
    return error.cause;
}

bool IsSameFile(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::string CantOpenForWriteMessage(std::string_view path, FileErrorCause cause) {
    return FormatOpenMessage("Can't open file for write %s, error = %u\n", path, cause);
}

std::string CantOpenForReadMessage(std::string_view path, FileErrorCause cause) {
    return FormatOpenMessage("Can't open file for read %s, error = %u\n", path, cause);
}

} // namespace zorvil::files
