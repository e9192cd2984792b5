// The render file's side of a render: exactly T frames, the state back to idle, the finish
// callback once. (A target that cannot be created is tested through the application.)
#include "files/render_writer.h"

#include "support/scripted_user_interface.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

namespace zorvil {
namespace {

// One played buffer of `frames` 16-bit stereo frames whose samples count up.
CWaveBuffer PlayedBuffer(int frames, int16_t first) {
    CWaveBuffer buffer(static_cast<size_t>(frames) * 4);
    auto* samples = reinterpret_cast<int16_t*>(buffer.Data());
    for (int i = 0; i < frames * 2; ++i)
        samples[i] = static_cast<int16_t>(first + i);
    buffer.Header()->dwBufferLength = static_cast<uint32_t>(frames) * 4;
    buffer.Header()->dwBytesRecorded = buffer.Header()->dwBufferLength;
    return buffer;
}

TEST(RenderWriter, WritesExactlyTFramesThenFinishesOnce) {
    test::TempDir dir;
    test::ScriptedUserInterface ui;
    RenderStateWord state{RenderState::Idle};
    CRenderWriter writer(ui);
    int finished = 0;
    const std::string path = dir.File("render.wav");
    ASSERT_TRUE(writer.Start(path, MakeRenderPlan(2, 133.0, 2205, 2), state, [&] { ++finished; }));
    EXPECT_EQ(state.load(), RenderState::Armed);
    EXPECT_FALSE(writer.Start(dir.File("other.wav"), MakeRenderPlan(1, 120.0, 2205, 0), state, {}));
    EXPECT_FALSE(
        std::filesystem::exists(dir.File("other.wav"))); // the running render keeps its file

    const CWaveBuffer buffer = PlayedBuffer(2205, 0);
    writer.OnBufferWritten(buffer, 2205); // not yet writing: not counted
    state.store(RenderState::Writing);    // the marker came through
    int played = 0;
    while (!writer.Finished() && played < 1000) {
        writer.OnBufferWritten(buffer, 2205);
        ++played;
    }
    EXPECT_EQ(played, 2 + 72 + 1);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(state.load(), RenderState::Idle);
    writer.OnBufferWritten(buffer, 2205); // after the end: nothing
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(writer.GetRenderFile()->GetMode(), CWaveFile::Mode::Closed);
    EXPECT_EQ(std::filesystem::file_size(path), 46u + 159157u * 4);
    CWaveFile back(path);
    EXPECT_EQ(back.GetDataSize(), 159157u * 4);
    int16_t tail[2] = {};
    std::vector<uint8_t> all(back.GetDataSize());
    back.Read(all.data(), all.size());
    std::memcpy(tail, all.data() + all.size() - 4, 4);
    EXPECT_EQ(tail[0], 396 * 2); // the tail's last frame is frame 396 of its buffer
    EXPECT_TRUE(ui.MessageBoxes().empty());
}

} // namespace
} // namespace zorvil
