// The wave file's bytes and its reading path.
#include "files/wave_file.h"

#include "file_test_helpers.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zorvil {
namespace {

using Bytes = std::vector<uint8_t>;
using test::ReadBytes;
using test::WriteBytes;

uint32_t Le32(const Bytes& bytes, size_t offset) {
    return bytes[offset] | (uint32_t{bytes[offset + 1]} << 8) |
           (uint32_t{bytes[offset + 2]} << 16) | (uint32_t{bytes[offset + 3]} << 24);
}

TEST(WaveFileWriting, HeaderIs46BytesSizesArePatchedOnCloseAndOpenFailuresGiveTheirCause) {
    test::TempDir dir;
    const std::string path = dir.File("out.wav");
    const std::vector<int16_t> frames = {1, -1, 2, -2, 3, -3};
    {
        CWaveFile file(path, kRenderFormat);
        ASSERT_EQ(file.GetMode(), CWaveFile::Mode::Writing);
        EXPECT_TRUE(file.Write(frames.data(), 12));
        EXPECT_TRUE(file.Write(frames.data(), 8));
        EXPECT_TRUE(file.Close());
        EXPECT_EQ(file.GetMode(), CWaveFile::Mode::Closed);
        EXPECT_FALSE(file.Write(frames.data(), 4));
    }
    const Bytes header = {'R',  'I',  'F', 'F', 58,   0,    0,    0, 'W', 'A', 'V', 'E',
                          'f',  'm',  't', ' ', 18,   0,    0,    0, 1,   0,   2,   0,
                          0x44, 0xAC, 0,   0,   0x10, 0xB1, 0x02, 0, 4,   0,   16,  0,
                          0,    0,    'd', 'a', 't',  'a',  20,   0, 0,   0};
    const Bytes bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 46u + 20u);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 46), header);
    EXPECT_EQ(std::memcmp(bytes.data() + 46, frames.data(), 12), 0);
    // The destructor closes too; an odd data size gets its pad byte.
    const uint8_t three[3] = {1, 2, 3};
    for (size_t size : {size_t{0}, size_t{3}}) {
        { CWaveFile(path, kRenderFormat).Write(three, size); }
        const Bytes written = ReadBytes(path);
        ASSERT_EQ(written.size(), 46u + size + size % 2);
        EXPECT_EQ(Le32(written, 42), size);
        EXPECT_EQ(Le32(written, 4), 38u + size + size % 2);
    }
    // A file that cannot be created or opened reports its cause.
    CWaveFile missingFolder(dir.File("no/such.wav"), kRenderFormat);
    EXPECT_EQ(missingFolder.GetMode(), CWaveFile::Mode::Closed);
    EXPECT_EQ(missingFolder.OpenError(), platform::FileErrorCause::FileNotFound);
    const uint8_t byte = 0;
    EXPECT_FALSE(missingFolder.Write(&byte, 1));
    EXPECT_EQ(CWaveFile(dir.Path().string(), kRenderFormat).OpenError(),
              platform::FileErrorCause::InvalidFile);
    CWaveFile reading(dir.File("missing.wav"));
    EXPECT_EQ(reading.GetMode(), CWaveFile::Mode::Closed);
    EXPECT_EQ(reading.OpenError(), platform::FileErrorCause::FileNotFound);
}

// A copy of `bytes` with `with` written at `offset`.
Bytes Patched(Bytes bytes, size_t offset, std::string_view with) {
    std::memcpy(bytes.data() + offset, with.data(), with.size());
    return bytes;
}

TEST(WaveFileReading, EachMissingPieceShowsItsMessageAndACutDataChunkReadsWhatIsThere) {
    test::TempDir dir;
    const std::string good = dir.File("good.wav");
    {
        const Bytes samples(400, 7);
        CWaveFile(good, kRenderFormat).Write(samples.data(), samples.size());
    }
    const Bytes image = ReadBytes(good);
    const struct {
        Bytes bytes;
        std::string message;
    } cases[] = {
        {{}, "Error descending into file"},
        {Patched(image, 8, "AVI "), "Error descending into file"},
        {Patched(image, 12, "fmtx"), "Error descending in wave file"},
        {Patched(image, 16, std::string_view("\x88\x13\0\0", 4)), "Error ascending in File"},
        {Patched(image, 38, "date"), "error reading data chunk"},
        {Bytes(image.begin(), image.begin() + 40), "error reading data chunk"},
    };
    for (const auto& bad : cases) {
        SCOPED_TRACE(bad.message);
        WriteBytes(dir.File("bad.wav"), bad.bytes);
        test::ScriptedUserInterface ui;
        CWaveFile file(dir.File("bad.wav"), &ui);
        EXPECT_EQ(file.GetMode(), CWaveFile::Mode::Closed);
        EXPECT_EQ(test::MessageTexts(ui), std::vector<std::string>{bad.message});
        EXPECT_EQ(ui.MessageBoxes().at(0).icon, MessageIcon::None);
        uint8_t byte;
        EXPECT_EQ(file.Read(&byte, 1), 0u);
    }
    WriteBytes(good, Bytes(image.begin(), image.begin() + 46 + 100));
    CWaveFile cut(good);
    ASSERT_EQ(cut.GetMode(), CWaveFile::Mode::Reading);
    EXPECT_EQ(cut.GetDataSize(), 100u);
}

} // namespace
} // namespace zorvil
