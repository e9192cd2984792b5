// The render file's side of a render: exactly T frames, the state back to idle, the finish
// callback once. (A target that cannot be created, and a second start while a render runs, are
// tested through the application.)
#include "files/render_writer.h"

#include "support/scripted_user_interface.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace zorvil {
namespace {

TEST(RenderWriter, WritesExactlyTFramesThenFinishesOnce) {
    test::TempDir dir;
    test::ScriptedUserInterface ui;
    RenderStateWord state{RenderState::Idle};
    CRenderWriter writer(ui);
    int finished = 0;
    const std::string path = dir.File("render.wav");
    ASSERT_TRUE(writer.Start(path, MakeRenderPlan(2, 133.0, 2205, 2), state, [&] { ++finished; }));
    EXPECT_EQ(state.load(), RenderState::Armed);

    // One played buffer of 2205 stereo frames whose samples count up.
    CWaveBuffer buffer(2205 * 4);
    auto* samples = reinterpret_cast<int16_t*>(buffer.Data());
    for (int i = 0; i < 2205 * 2; ++i)
        samples[i] = static_cast<int16_t>(i);
    buffer.Header()->dwBufferLength = buffer.Header()->dwBytesRecorded = 2205 * 4;
    writer.OnBufferWritten(buffer, 2205); // not yet writing: not counted
    state.store(RenderState::Writing);    // the marker came through
    int played = 0;
    for (; !writer.Finished() && played < 1000; ++played)
        writer.OnBufferWritten(buffer, 2205);
    EXPECT_EQ(played, 2 + 72 + 1);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(state.load(), RenderState::Idle);
    writer.OnBufferWritten(buffer, 2205); // after the end: nothing
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(writer.GetRenderFile()->GetMode(), CWaveFile::Mode::Closed);
    EXPECT_EQ(std::filesystem::file_size(path), 46u + 159157u * 4);
    EXPECT_EQ(CWaveFile(path).GetDataSize(), 159157u * 4);
    const auto bytes = test::ReadBytes(path);
    // The 1588-byte tail ends with frame 396 of its buffer.
    EXPECT_EQ(bytes[bytes.size() - 4] | (bytes[bytes.size() - 3] << 8), 396 * 2);
    EXPECT_TRUE(ui.MessageBoxes().empty());
}

} // namespace
} // namespace zorvil
