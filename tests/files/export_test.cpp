// The exports: the MIDI file's and the wave file's exact bytes, and the render counter.
#include "files/midi_file.h"
#include "files/render_plan.h"
#include "files/wave_file.h"

#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zorvil {
namespace {

using Bytes = std::vector<uint8_t>;
using test::ReadBytes;

TEST(WaveFileWriting, HeaderIs46BytesSizesArePatchedOnCloseAndFailuresGiveTheirCause) {
    test::TempDir dir;
    const std::string path = dir.File("out.wav");
    const std::vector<int16_t> frames = {1, -1, 2, -2, 3, -3};
    {
        CWaveFile file(path, kRenderFormat);
        ASSERT_EQ(file.GetMode(), CWaveFile::Mode::Writing);
        EXPECT_TRUE(file.Write(frames.data(), 12));
        EXPECT_TRUE(file.Write(frames.data(), 8));
        EXPECT_TRUE(file.Close());
    }
    const Bytes header = {'R',  'I',  'F', 'F', 58,   0,    0,    0, 'W', 'A', 'V', 'E',
                          'f',  'm',  't', ' ', 18,   0,    0,    0, 1,   0,   2,   0,
                          0x44, 0xAC, 0,   0,   0x10, 0xB1, 0x02, 0, 4,   0,   16,  0,
                          0,    0,    'd', 'a', 't',  'a',  20,   0, 0,   0};
    const Bytes bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 46u + 20u);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 46), header);
    EXPECT_EQ(std::memcmp(bytes.data() + 46, frames.data(), 12), 0);
    { CWaveFile(path, kRenderFormat).Write(frames.data(), 3); } // the destructor closes too
    const Bytes odd = ReadBytes(path); // an odd data size gets its pad byte
    ASSERT_EQ(odd.size(), 50u);
    EXPECT_EQ(Bytes(odd.begin() + 4, odd.begin() + 8), (Bytes{42, 0, 0, 0}));
    EXPECT_EQ(Bytes(odd.begin() + 42, odd.begin() + 46), (Bytes{3, 0, 0, 0}));
    // A file that cannot be created reports its cause.
    CWaveFile missingFolder(dir.File("no/such.wav"), kRenderFormat);
    EXPECT_EQ(missingFolder.GetMode(), CWaveFile::Mode::Closed);
    EXPECT_EQ(missingFolder.OpenError(), platform::FileErrorCause::FileNotFound);
    EXPECT_EQ(CWaveFile(dir.Path().string(), kRenderFormat).OpenError(),
              platform::FileErrorCause::InvalidFile);
    // /dev/full takes the header into the stream's buffer and refuses every byte it writes out.
    CWaveFile full("/dev/full", kRenderFormat);
    ASSERT_EQ(full.GetMode(), CWaveFile::Mode::Writing);
    const std::vector<uint8_t> samples(1 << 16, 0);
    full.Write(samples.data(), samples.size());
    EXPECT_FALSE(full.Close());
    EXPECT_EQ(full.WriteError(), platform::FileErrorCause::DiskFull);
}

// After the adjusted buffers (the output's latency) the file takes exactly T frames, never a
// partial frame, and a huge adjust does not overflow. (Buffer sizes: the real-time CLI render.)
TEST(RenderCounter, SkipsTheAdjustedBuffersThenWritesExactlyTFrames) {
    RenderCounter counter(MakeRenderPlan(1, 120.0, 2205, 2));
    const size_t bytes = 2205 * kRenderBytesPerFrame;
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(counter.OnBuffer(bytes).writeBytes, 0u);
    RenderCounter::Step step{};
    for (int i = 0; i < 40; ++i) {
        step = counter.OnBuffer(bytes);
        ASSERT_EQ(step.writeBytes, bytes);
    }
    EXPECT_TRUE(step.finished);
    EXPECT_EQ(counter.FramesWritten(), 88200);
    EXPECT_EQ(counter.OnBuffer(bytes).writeBytes, 0u);
    EXPECT_EQ(RenderCounter(MakeRenderPlan(1, 120.0, 2205, 2147483647)).OnBuffer(8820).writeBytes,
              0u);
    EXPECT_EQ(RenderCounter(MakeRenderPlan(1, 120.0, 2205, 0)).OnBuffer(7).writeBytes, 4u);
}

// The note events of a file at tempo 120: what lies between the meta events and the end of track.
Bytes NoteEvents(const Bytes& file) {
    EXPECT_EQ(Bytes(file.end() - 4, file.end()), (Bytes{0x00, 0xFF, 0x2F, 0x00}));
    return Bytes(file.begin() + 39, file.end() - 4);
}

TEST(MidiFile, NoteEventsComeInTickThenKeyOrderWithVariableLengthDeltas) {
    const Bytes empty = {'M',  'T',  'h',  'd',  0,    0,    0,    6,    0,    0,   0,
                         1,    0,    96,   'M',  'T',  'r',  'k',  0,    0,    0,   21,
                         0x00, 0xFF, 0x03, 0x06, 'Z',  'o',  'r',  'v',  'i',  'l', 0x00,
                         0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x2F, 0x00};
    EXPECT_EQ(BuildMidiFile(120, 16, std::span<const NoteRecord>{}), empty);
    const struct {
        std::vector<NoteRecord> notes;
        Bytes events;
    } cases[] = {
        // Adjacent notes on one key share a tick.
        {{{0, 60, 100, 2}, {2, 60, 90, 2}},
         {0x00, 0x90, 60, 100, 0x30, 0x80, 60, 0, 0x00, 0x90, 60, 90, 0x30, 0x80, 60, 0}},
        // Key 64 ends at step 1 where key 60 starts: 60's note-on precedes 64's note-off.
        {{{0, 64, 1, 1}, {1, 60, 2, 1}, {1, 62, 3, 1}},
         {0x00, 0x90, 64, 1, 0x18, 0x90, 60, 2, 0x00, 0x90, 62, 3,
          0x00, 0x80, 64, 0, 0x18, 0x80, 60, 0, 0x00, 0x80, 62, 0}},
        // On at 254 * 24 = 6096 (delta 0x2F 0x50), on at 6120, both off at 6144 in key order.
        {{{255, 10, 5, 1}, {254, 11, 6, 2}},
         {0xAF, 0x50, 0x90, 11, 6, 0x18, 0x90, 10, 5, 0x18, 0x80, 10, 0, 0x00, 0x80, 11, 0}},
        // Invalid and overlapping notes are left out.
        {{{0, 60, 100, 1}, {0, 60, 50, 1}, {-1, 1, 1, 1}, {250, 2, 1, 7}, {0, 128, 1, 1}},
         {0x00, 0x90, 60, 100, 0x18, 0x80, 60, 0}},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(NoteEvents(BuildMidiFile(120, 16, cases[i].notes)), cases[i].events) << i;
    const std::vector<NoteRecord> fiveSteps = {{1, 60, 100, 1}}; // 5 steps a measure
    EXPECT_EQ(NoteEvents(BuildMidiFile(120, 5, fiveSteps)),
              (Bytes{0x4C, 0x90, 60, 100, 0x4C, 0x80, 60, 0}));

    // A full grid grows the track without limit.
    std::vector<NoteRecord> notes;
    for (int step = 0; step < kGridSteps; ++step)
        for (int key = 0; key < kGridKeys; ++key)
            notes.push_back({step, key, 100, 1});
    const Bytes file = BuildMidiFile(120, 32, notes);
    // 32768 note-ons and as many note-offs, 4 bytes each, with the track length high byte first.
    ASSERT_EQ(file.size(), 39 + 32768 * 2 * 4 + 4u);
    EXPECT_EQ(Bytes(file.begin() + 18, file.begin() + 22), (Bytes{0x00, 0x04, 0x00, 0x15}));
}

} // namespace
} // namespace zorvil
