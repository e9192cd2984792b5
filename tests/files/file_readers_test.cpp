// The file readers against what is not a file and against size fields that lie: only regular
// files are read, the header decides before the rest is read, and no size or count in a file
// makes a reader ask for more memory than the file holds. Also the words of the file messages.
#include "files/byte_order.h"
#include "files/file_io.h"
#include "files/fx_bank.h"
#include "files/project_file.h"
#include "files/wave_file.h"

#include "../host/allocation_counter.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

namespace zorvil {
namespace {

using platform::FileErrorCause;
using Bytes = std::vector<uint8_t>;

// What each reader makes of a path: the cause it refused it with (None when it read it).
FileErrorCause ReadAsProject(const std::string& path) {
    return ReadProjectFile(path).openError;
}
FileErrorCause ReadWhole(const std::string& path) {
    return files::ReadWholeFile(path, files::kMaxFileBytes).cause;
}
FileErrorCause ReadAsWave(const std::string& path) {
    return CWaveFile(path).OpenError();
}

const std::pair<const char*, std::function<FileErrorCause(const std::string&)>> kReaders[] = {
    {"project", ReadAsProject}, {"whole file", ReadWhole}, {"wave", ReadAsWave}};

// Runs `read` on a FIFO nobody writes to. A reader that opens it blocks until a writer comes:
// the test then plays the writer, so that a failing run ends instead of hanging.
template <typename Read>
auto ReadFifo(const std::string& fifo, Read read) {
    auto result = std::async(std::launch::async, [&] { return read(fifo); });
    if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "the reader waits on the FIFO";
        const int writer = ::open(fifo.c_str(), O_WRONLY);
        if (writer >= 0) ::close(writer);
    }
    return result.get();
}

TEST(FileReaders, OnlyRegularFilesAreReadAndAFifoNeverBlocks) {
    test::TempDir dir;
    const std::string fifo = dir.File("pipe.tsn");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const auto& [what, read] : kReaders) {
        EXPECT_EQ(read("/dev/null"), FileErrorCause::InvalidFile) << what;
        EXPECT_EQ(read(dir.Path().string()), FileErrorCause::InvalidFile) << what;
        EXPECT_EQ(ReadFifo(fifo, read), FileErrorCause::InvalidFile) << what;
        EXPECT_EQ(read(dir.File("missing")), FileErrorCause::FileNotFound) << what;
    }
    CFxBank bank;
    EXPECT_FALSE(bank.LoadFromFile("/dev/zero"));
    EXPECT_FALSE(ReadFifo(fifo, [](const std::string& path) {
        CFxBank fifoBank;
        return fifoBank.LoadFromFile(path);
    }));
    // A link to a regular file is followed.
    const std::string target = dir.File("song.tsn");
    ASSERT_EQ(WriteProjectFile(target, ProjectImage{}), FileErrorCause::None);
    std::filesystem::create_symlink(target, dir.File("link.tsn"));
    EXPECT_EQ(ReadAsProject(dir.File("link.tsn")), FileErrorCause::None);
}

Bytes ProjectWithBank(size_t bankBytes, uint32_t declaredSize) {
    ProjectImage image;
    image.effects.push_back({"/x/y.so", 0, Bytes(bankBytes, 0x5A)});
    Bytes bytes = *SerializeProject(image);
    files::StoreLittleEndian32(bytes.data() + kProjectHeaderSize + kLibraryPathField, declaredSize);
    return bytes;
}

TEST(FileReaders, NoSizeOrCountMakesAReaderAskForMoreThanTheFileHolds) {
    test::TempDir dir;
    test::MarkThisThread();
    constexpr size_t kBank = 4 << 20;
    constexpr size_t kSlack = 512 << 10; // the reader's own buffers and the note grid
    const std::string path = dir.File("big.tsn");

    // A whole project: its bank is the one large piece, read once.
    const Bytes whole = ProjectWithBank(kBank, kBank);
    test::WriteBytes(path, whole);
    {
        test::CountAllocations count;
        const ProjectFileReadResult read = ReadProjectFile(path);
        ASSERT_EQ(read.read.status, ProjectReadStatus::Ok);
        ASSERT_EQ(read.read.image.effects.at(0).bank.size(), kBank);
        EXPECT_LE(count.Bytes(), whole.size() + kSlack);
    }
    // A bank size far beyond the file, and a note count of 2^31 - 1.
    Bytes lying = ProjectWithBank(16, 0xFFFFFFF0);
    test::WriteBytes(path, lying);
    files::StoreLittleEndian32(lying.data() + 12, 0x7FFFFFFF);
    test::WriteBytes(dir.File("notes.tsn"), lying);
    for (const std::string& file : {path, dir.File("notes.tsn")}) {
        test::CountAllocations count;
        EXPECT_EQ(ReadProjectFile(file).read.status, ProjectReadStatus::Truncated) << file;
        EXPECT_LE(count.Bytes(), kSlack) << file;
    }
    // Files that are no project or no bank are refused on their header, before their size is
    // taken into memory.
    Bytes notAProject(kBank, 0);
    std::memcpy(notAProject.data(), "TSNX", 4);
    test::WriteBytes(path, notAProject);
    Bytes notABank(kBank, 0);
    std::memcpy(notABank.data(), "CcnKxxxxFxBX", 12);
    test::WriteBytes(dir.File("big.fxb"), notABank);
    {
        test::CountAllocations count;
        EXPECT_EQ(ReadProjectFile(path).read.status, ProjectReadStatus::NotAProject);
        CFxBank bank;
        EXPECT_FALSE(bank.LoadFromFile(dir.File("big.fxb")));
        EXPECT_LE(count.Bytes(), kSlack);
    }
}

TEST(FileMessages, NameTheCauseInWordsAfterItsNumberAndKeepOneLine) {
    EXPECT_EQ(files::CantOpenForWriteMessage("/a/b.tsn", FileErrorCause::AccessDenied),
              "Can't open file for write /a/b.tsn, error = 5 (permission denied)\n");
    EXPECT_EQ(files::CantOpenForWriteMessage("/full/b.wav", FileErrorCause::DiskFull),
              "Can't open file for write /full/b.wav, error = 13 (disk full)\n");
    EXPECT_EQ(files::CantOpenForReadMessage("/dev/zero", FileErrorCause::InvalidFile),
              "Can't open file for read /dev/zero, error = 6 (not a regular file)\n");
    // Control characters in a path cannot break the message into lines.
    EXPECT_EQ(
        files::CantOpenForReadMessage(std::string("a\nb\tc\x1b[2J\x7f", 10),
                                      FileErrorCause::FileNotFound),
        "Can't open file for read a\\nb\\tc\\x1b[2J\\x7f, error = 2 (no such file or folder)\n");
    EXPECT_EQ(LibraryPathTooLongMessage("x\ny"),
              "Library path too long for a project file (at most 255 bytes): x\\ny");
}

} // namespace
} // namespace zorvil
