// Wave format setters, the wave file's bytes and its reading path.
#include "files/wave_file.h"

#include "support/scripted_user_interface.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>

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

void PutLe32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

std::string Id(const std::vector<uint8_t>& bytes, size_t offset) {
    return {reinterpret_cast<const char*>(bytes.data() + offset), 4};
}

TEST(SoundBase, StartsAsSixteenBitStereoAt44100) {
    test::ScriptedUserInterface ui;
    CSoundBase sound(&ui);
    EXPECT_EQ(sound.GetFormat(), kRenderFormat);
    EXPECT_TRUE(ui.MessageBoxes().empty());
}

TEST(SoundBase, SettersRecomputeBlockAlignAndByteRate) {
    CSoundBase sound;
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

TEST(SoundBase, InvalidValuesAreRefusedWithTheirMessages) {
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

TEST(WaveFileWriting, AnEmptyFileIsJustTheHeaderAndTheDestructorCloses) {
    TempDir dir;
    { CWaveFile file(dir.File("empty.wav"), kRenderFormat); }
    const auto bytes = ReadBytes(dir.File("empty.wav"));
    ASSERT_EQ(bytes.size(), 46u);
    EXPECT_EQ(Le32(bytes, 4), 38u);
    EXPECT_EQ(Le32(bytes, 42), 0u);
}

TEST(WaveFileWriting, AnOddDataSizeGetsItsPadByte) {
    TempDir dir;
    {
        CWaveFile file(dir.File("odd.wav"), kRenderFormat);
        const uint8_t three[3] = {1, 2, 3};
        file.Write(three, 3);
    }
    const auto bytes = ReadBytes(dir.File("odd.wav"));
    ASSERT_EQ(bytes.size(), 50u);
    EXPECT_EQ(Le32(bytes, 42), 3u);
    EXPECT_EQ(Le32(bytes, 4), 42u);
}

TEST(WaveFileWriting, AFileThatCannotBeCreatedReportsItsCause) {
    TempDir dir;
    CWaveFile missingFolder(dir.File("no/such.wav"), kRenderFormat);
    EXPECT_EQ(missingFolder.GetMode(), CWaveFile::Mode::Closed);
    EXPECT_EQ(missingFolder.OpenError(), platform::FileErrorCause::FileNotFound);
    const uint8_t byte = 0;
    EXPECT_FALSE(missingFolder.Write(&byte, 1));
    CWaveFile folder(dir.Path().string(), kRenderFormat);
    EXPECT_EQ(folder.OpenError(), platform::FileErrorCause::InvalidFile);
}

TEST(WaveFileReading, ReadsBackWhatWasWritten) {
    TempDir dir;
    const std::string path = dir.File("round.wav");
    const std::vector<uint8_t> samples = {10, 20, 30, 40, 50, 60, 70, 80};
    {
        CWaveFile file(path, kRenderFormat);
        file.Write(samples.data(), samples.size());
    }
    test::ScriptedUserInterface ui;
    CWaveFile file(path, &ui);
    ASSERT_EQ(file.GetMode(), CWaveFile::Mode::Reading);
    EXPECT_EQ(file.GetFormat(), kRenderFormat);
    EXPECT_EQ(file.GetDataSize(), samples.size());
    std::vector<uint8_t> back(16, 0);
    EXPECT_EQ(file.Read(back.data(), 5), 5u);
    EXPECT_EQ(file.Read(back.data() + 5, 11), 3u);
    back.resize(8);
    EXPECT_EQ(back, samples);
    EXPECT_TRUE(ui.MessageBoxes().empty());
}

TEST(WaveFileReading, SkipsUnknownChunksAndTakesAtMost18FormatBytes) {
    // RIFF, a "LIST" chunk of odd size (padded), a 20-byte "fmt " chunk, then "data".
    std::vector<uint8_t> bytes;
    auto append = [&bytes](std::string_view text) {
        bytes.insert(bytes.end(), text.begin(), text.end());
    };
    auto append32 = [&bytes](uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    };
    append("RIFF");
    append32(0);
    append("WAVELIST");
    append32(3);
    append("abc");
    bytes.push_back(0);
    append("fmt ");
    append32(20);
    const uint8_t format[20] = {1, 0, 1, 0, 0x22, 0x56, 0, 0, 0x44, 0xAC,
                                0, 0, 2, 0, 16,   0,    0, 0, 9,    9};
    bytes.insert(bytes.end(), format, format + 20);
    append("data");
    append32(4);
    append32(0x01020304);
    PutLe32(bytes, 4, static_cast<uint32_t>(bytes.size() - 8));

    TempDir dir;
    WriteBytes(dir.File("mono.wav"), bytes);
    CWaveFile file(dir.File("mono.wav"));
    ASSERT_EQ(file.GetMode(), CWaveFile::Mode::Reading);
    EXPECT_EQ(file.GetNumberOfChannels(), 1);
    EXPECT_EQ(file.GetSamplesPerSecond(), 22050);
    EXPECT_EQ(file.GetFormat().nBlockAlign, 2);
    EXPECT_EQ(file.GetFormat().cbSize, 0);
    EXPECT_EQ(file.GetDataSize(), 4u);
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
    auto notWave = image;
    std::memcpy(notWave.data() + 8, "AVI ", 4);
    auto noFormat = image;
    std::memcpy(noFormat.data() + 12, "fmtx", 4);
    auto formatBeyondEnd = image;
    PutLe32(formatBeyondEnd, 16, 5000);
    auto noData = image;
    std::memcpy(noData.data() + 38, "date", 4);
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

TEST(WaveFileReading, AMissingFileIsClosedWithItsCause) {
    TempDir dir;
    test::ScriptedUserInterface ui;
    CWaveFile file(dir.File("missing.wav"), &ui);
    EXPECT_EQ(file.GetMode(), CWaveFile::Mode::Closed);
    EXPECT_EQ(file.OpenError(), platform::FileErrorCause::FileNotFound);
}

} // namespace
} // namespace zorvil
