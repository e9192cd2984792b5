// Saving writes where the user pointed, as a plain open would, yet never leaves a damaged file:
// links are followed, modes kept, targets that are not regular files or may not be written are
// refused, and temporary files are removed however the save ends.
#include "files/file_io.h"

#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zorvil {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using platform::FileErrorCause;

const Bytes kOld = {'o', 'l', 'd'};
const Bytes kNew = {'n', 'e', 'w', '!'};

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

TEST(SafeSave, LinksAreFollowedAndModesKept) {
    test::TempDir dir;
    // A link (relative, through a second link) stays a link; the file it names is replaced.
    fs::create_directory(dir.File("songs"));
    const std::string real = dir.File("songs/real.tsn");
    test::WriteBytes(real, kOld);
    fs::create_symlink("songs/real.tsn", dir.File("inner.tsn"));
    fs::create_symlink("inner.tsn", dir.File("outer.tsn"));
    ASSERT_EQ(files::WriteFileAtomically(dir.File("outer.tsn"), kNew), FileErrorCause::None);
    EXPECT_TRUE(fs::is_symlink(dir.File("outer.tsn")));
    EXPECT_TRUE(fs::is_symlink(dir.File("inner.tsn")));
    EXPECT_EQ(test::ReadBytes(real), kNew);
    // A dangling link names the file the save creates.
    fs::create_symlink("songs/new.mid", dir.File("dangling.mid"));
    ASSERT_EQ(files::WriteFileAtomically(dir.File("dangling.mid"), kNew), FileErrorCause::None);
    EXPECT_TRUE(fs::is_symlink(dir.File("dangling.mid")));
    EXPECT_EQ(test::ReadBytes(dir.File("songs/new.mid")), kNew);

    // The replaced file's mode carries over, whatever the umask gives new files.
    for (const mode_t mode : {0600, 0640, 0755}) {
        const std::string path = dir.File("mode.fxb");
        test::WriteBytes(path, kOld);
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        ASSERT_EQ(files::WriteFileAtomically(path, kNew), FileErrorCause::None);
        EXPECT_EQ(ModeOf(path), mode);
        EXPECT_EQ(test::ReadBytes(path), kNew);
    }

    // Nothing but what was asked for is left.
    std::vector<std::string> entries = dir.Entries();
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"dangling.mid", "inner.tsn", "mode.fxb",
                                                 "outer.tsn", "songs"}));
}

TEST(SafeSave, TargetsThatAreNotRegularFilesAreRefusedAndLeftAsTheyWere) {
    test::TempDir dir;
    const std::string fifo = dir.File("pipe.wav");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    files::WriteError error;
    EXPECT_EQ(files::WriteFileAtomically(fifo, kNew, &error), FileErrorCause::InvalidFile);
    EXPECT_TRUE(error.notRegularFile);
    EXPECT_TRUE(fs::is_fifo(fifo));
    // Through a link too, and a folder.
    fs::create_symlink("pipe.wav", dir.File("link.wav"));
    EXPECT_EQ(files::WriteFileAtomically(dir.File("link.wav"), kNew), FileErrorCause::InvalidFile);
    fs::create_directory(dir.File("folder.mid"));
    EXPECT_EQ(files::WriteFileAtomically(dir.File("folder.mid"), kNew, &error),
              FileErrorCause::InvalidFile);
    EXPECT_EQ(error.error, EISDIR);
    EXPECT_TRUE(fs::is_directory(dir.File("folder.mid")));
    EXPECT_TRUE(fs::is_empty(dir.File("folder.mid")));
    EXPECT_EQ(dir.Entries().size(), 3u);
}

// Runs `body` in a child process as an unprivileged user (when run as root, as CI does) and
// returns its exit status.
template <typename Body>
int AsUnprivilegedUser(Body body) {
    const pid_t child = ::fork();
    if (child == 0) {
        constexpr uid_t kNobody = 65534;
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            std::_Exit(100);
        std::_Exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SafeSave, ATargetTheUserMayNotWriteIsRefusedAsAnOpenWouldBe) {
    test::TempDir dir;
    // The folder takes new files from anyone; the file in it is read-only.
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
    const std::string path = dir.File("locked.tsn");
    test::WriteBytes(path, kOld);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    const int status = AsUnprivilegedUser([&] {
        files::WriteError error;
        const auto cause = files::WriteFileAtomically(path, kNew, &error);
        return static_cast<int>(cause) * 10 + (error.error == EACCES ? 1 : 0);
    });
    EXPECT_EQ(status, static_cast<int>(FileErrorCause::AccessDenied) * 10 + 1);
    EXPECT_EQ(test::ReadBytes(path), kOld);
    EXPECT_EQ(ModeOf(path), 0444u);
    EXPECT_EQ(dir.Entries().size(), 1u);
    // A new file in the same folder is fine for the same user.
    EXPECT_EQ(AsUnprivilegedUser([&] {
                  return static_cast<int>(files::WriteFileAtomically(dir.File("new.tsn"), kNew));
              }),
              0);
}

} // namespace
} // namespace zorvil
