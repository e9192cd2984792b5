// Wave format setters, the wave file's bytes and its reading path.
#include "files/wave_file.h"

#include "support/scripted_user_interface.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

namespace zorvil {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

uint32_t Le32(const std::vector<uint8_t>& bytes, size_t offset) {
    return bytes[offset] | (uint32_t{bytes[offset + 1]} << 8) |
           (uint32_t{bytes[offset + 2]} << 16) | (uint32_t{bytes[offset + 3]} << 24);
}

uint16_t Le16(const std::vector<uint8_t>& bytes, size_t offset) {
    return static_cast<uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

// A copy of `bytes` with `with` written at `offset`.
std::vector<uint8_t> Patched(std::vector<uint8_t> bytes, size_t offset, std::string_view with) {
    for (size_t i = 0; i < with.size(); ++i)
        bytes.at(offset + i) = static_cast<uint8_t>(with[i]);
    return bytes;
}

std::string Id(const std::vector<uint8_t>& bytes, size_t offset) {
    return {reinterpret_cast<const char*>(bytes.data() + offset), 4};
}

TEST(SoundBase, SettersRecomputeBlockAlignAndByteRateAndRefuseInvalidValues) {
    test::ScriptedUserInterface ui;
    CSoundBase sound(&ui);
    EXPECT_FALSE(sound.SetBitsPerSample(12));
    EXPECT_FALSE(sound.SetSamplesPerSecond(48000));
    EXPECT_FALSE(sound.SetNumberOfChannels(0));
    EXPECT_EQ(sound.GetFormat(), kRenderFormat);
    ASSERT_EQ(ui.MessageBoxes().size(), 3u);
    EXPECT_EQ(ui.MessageBoxes()[0].text,
              "CSoundBase::SetBitsPerSample() : Invalid number of bits per sample : 12");
    EXPECT_EQ(ui.MessageBoxes()[1].text,
              "CSoundBase::SetSamplesPerSecond() : Invalid number of samples per second : 48000");
    EXPECT_EQ(ui.MessageBoxes()[2].text,
              "CSoundBase::SetNumberOfChannels() : Invalid number of channels : 0");
    for (const auto& message : ui.MessageBoxes()) {
        EXPECT_EQ(message.caption, "TsnSeq");
        EXPECT_EQ(message.icon, MessageIcon::Warning);
    }
    ASSERT_TRUE(sound.SetSamplesPerSecond(22050));
    ASSERT_TRUE(sound.SetNumberOfChannels(1));
    ASSERT_TRUE(sound.SetBitsPerSample(8));
    EXPECT_EQ(sound.GetFormat().nBlockAlign, 1);
    EXPECT_EQ(sound.GetFormat().nAvgBytesPerSec, 22050u);
    ASSERT_TRUE(sound.SetSamplesPerSecond(11025));
    ASSERT_TRUE(sound.SetBitsPerSample(16));
    EXPECT_EQ(sound.GetFormat().nBlockAlign, 2);
    EXPECT_EQ(sound.GetFormat().nAvgBytesPerSec, 22050u);
}

TEST(WaveFileWriting, HeaderIs46BytesWithBothSizesPatchedOnClose) {
    TempDir dir;
    const std::string path = dir.File("out.wav");
    {
        CWaveFile file(path, kRenderFormat);
        ASSERT_EQ(file.GetMode(), CWaveFile::Mode::Writing);
        const std::vector<int16_t> frames = {1, -1, 2, -2, 3, -3};
        EXPECT_TRUE(file.Write(frames.data(), 12));
        EXPECT_TRUE(file.Write(frames.data(), 8));
        EXPECT_TRUE(file.Close());
        EXPECT_EQ(file.GetMode(), CWaveFile::Mode::Closed);
        EXPECT_FALSE(file.Write(frames.data(), 4));
    }
    const auto bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 46u + 20u);
    EXPECT_EQ(Id(bytes, 0), "RIFF");
    EXPECT_EQ(Le32(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(Id(bytes, 8), "WAVE");
    EXPECT_EQ(Id(bytes, 12), "fmt ");
    EXPECT_EQ(Le32(bytes, 16), 18u);
    EXPECT_EQ(Le16(bytes, 20), 1);
    EXPECT_EQ(Le16(bytes, 22), 2);
    EXPECT_EQ(Le32(bytes, 24), 44100u);
    EXPECT_EQ(Le32(bytes, 28), 176400u);
    EXPECT_EQ(Le16(bytes, 32), 4);
    EXPECT_EQ(Le16(bytes, 34), 16);
    EXPECT_EQ(Le16(bytes, 36), 0);
    EXPECT_EQ(Id(bytes, 38), "data");
    EXPECT_EQ(Le32(bytes, 42), 20u);
    EXPECT_EQ(static_cast<int16_t>(Le16(bytes, 48)), -1);
}

TEST(WaveFileWriting, TheDestructorClosesAndAnOddDataSizeGetsItsPadByte) {
    TempDir dir;
    const uint8_t three[3] = {1, 2, 3};
    for (size_t size : {size_t{0}, size_t{3}}) {
        { CWaveFile(dir.File("w.wav"), kRenderFormat).Write(three, size); }
        const auto bytes = ReadBytes(dir.File("w.wav"));
        ASSERT_EQ(bytes.size(), 46u + size + size % 2);
        EXPECT_EQ(Le32(bytes, 42), size);
        EXPECT_EQ(Le32(bytes, 4), 38u + size + size % 2);
    }
}

TEST(WaveFile, AFileThatCannotBeCreatedOrOpenedReportsItsCause) {
    TempDir dir;
    CWaveFile missingFolder(dir.File("no/such.wav"), kRenderFormat);
    EXPECT_EQ(missingFolder.GetMode(), CWaveFile::Mode::Closed);
    EXPECT_EQ(missingFolder.OpenError(), platform::FileErrorCause::FileNotFound);
    const uint8_t byte = 0;
    EXPECT_FALSE(missingFolder.Write(&byte, 1));
    CWaveFile folder(dir.Path().string(), kRenderFormat);
    EXPECT_EQ(folder.OpenError(), platform::FileErrorCause::InvalidFile);
    CWaveFile reading(dir.File("missing.wav"));
    EXPECT_EQ(reading.GetMode(), CWaveFile::Mode::Closed);
    EXPECT_EQ(reading.OpenError(), platform::FileErrorCause::FileNotFound);
}

struct BadWave {
    std::vector<uint8_t> bytes;
    std::string message;
};

TEST(WaveFileReading, EachMissingPieceShowsItsMessageAndCloses) {
    TempDir dir;
    const std::string good = dir.File("good.wav");
    {
        CWaveFile file(good, kRenderFormat);
        const uint32_t frame = 0;
        file.Write(&frame, 4);
    }
    const auto image = ReadBytes(good);
    const auto notWave = Patched(image, 8, "AVI ");
    const auto noFormat = Patched(image, 12, "fmtx");
    const auto formatBeyondEnd = Patched(image, 16, std::string_view("\x88\x13\0\0", 4)); // 5000
    const auto noData = Patched(image, 38, "date");
    const std::vector<BadWave> cases = {
        {{}, "Error descending into file"},
        {{'R', 'I', 'F', 'F'}, "Error descending into file"},
        {notWave, "Error descending into file"},
        {noFormat, "Error descending in wave file"},
        {formatBeyondEnd, "Error ascending in File"},
        {noData, "error reading data chunk"},
        {std::vector<uint8_t>(image.begin(), image.begin() + 40), "error reading data chunk"},
    };
    for (const auto& bad : cases) {
        WriteBytes(dir.File("bad.wav"), bad.bytes);
        test::ScriptedUserInterface ui;
        CWaveFile file(dir.File("bad.wav"), &ui);
        EXPECT_EQ(file.GetMode(), CWaveFile::Mode::Closed) << bad.message;
        ASSERT_EQ(ui.MessageBoxes().size(), 1u) << bad.message;
        EXPECT_EQ(ui.MessageBoxes()[0].text, bad.message);
        EXPECT_EQ(ui.MessageBoxes()[0].icon, MessageIcon::None);
        uint8_t byte;
        EXPECT_EQ(file.Read(&byte, 1), 0u);
    }
}

TEST(WaveFileReading, ATruncatedDataChunkReadsOnlyWhatIsThere) {
    TempDir dir;
    const std::string path = dir.File("cut.wav");
    {
        CWaveFile file(path, kRenderFormat);
        const std::vector<uint8_t> samples(400, 7);
        file.Write(samples.data(), samples.size());
    }
    auto bytes = ReadBytes(path);
    bytes.resize(46 + 100);
    WriteBytes(path, bytes);
    CWaveFile file(path);
    ASSERT_EQ(file.GetMode(), CWaveFile::Mode::Reading);
    EXPECT_EQ(file.GetDataSize(), 100u);
}

} // namespace
} // namespace zorvil
