// Render to a wave file through the program's own path (marker, engine, output step, wave
// output, render writer) on a manual clock, and the offline project render behind zorvil-cli.
#include "app/project_render.h"
#include "app_test_support.h"
#include "files/file_commands.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>

namespace zorvil::test {
namespace {

class RenderTest : public AppFixture {
protected:
    // The engine runs on the immediate wave output with 2205-frame buffers; the pattern is one
    // measure at 120.
    void StartUp() {
        ASSERT_TRUE(App().WaveOut().OpenWaveOutByName(kImmediateOut, 2205));
        App().StartEngine();
        App().Pattern().SetMeasures(1);
    }
    // Runs until the render finished and its end was handled; false when it did not finish.
    bool RunRender() {
        for (int i = 0; i < 200 && !App().RenderWriter().Finished(); ++i)
            Run(100);
        Run(100);
        return App().RenderWriter().Finished();
    }
};

TEST_F(RenderTest, RendersOneMeasureAt120ToExactly88200FramesAndAStalledRenderGivesWay) {
    StartUp();
    // A target that cannot be created is reported, and nothing starts.
    EXPECT_FALSE(App().StartRender(m_folder.File("missing/folder/x.wav")));
    EXPECT_EQ(m_ui.MessageBoxes().size(), 1u);
    EXPECT_FALSE(App().IsRendering() || App().Pattern().IsPlaying() || App().ProcessPosted());
    EXPECT_TRUE(App().IsEngineRunning());

    // The user's old file stays as it was until the render is complete.
    const std::string path = m_folder.File("one.wav");
    WriteBytes(path, {'o', 'l', 'd'});
    m_ui.AnswerSaveFile(path);
    App().OnRenderToWave();
    ASSERT_EQ(m_ui.SaveFileRequests().size(), 1u);
    EXPECT_TRUE(m_ui.SaveFileRequests()[0].refuseReadOnly);
    EXPECT_EQ(m_profile.GetString("WavFiles", "Path", ""), m_folder.Path().string());
    EXPECT_EQ(ReadBytes(path).size(), 3u);
    EXPECT_EQ(m_folder.Entries().size(), 3u); // the profile, the old file, the new one
    EXPECT_TRUE(App().IsRendering() && App().Pattern().IsPlaying());
    EXPECT_FALSE(App().IsEngineRunning()); // restarted by the posted Run
    ASSERT_TRUE(RunRender());
    EXPECT_TRUE(App().IsEngineRunning());
    EXPECT_FALSE(App().IsRendering() || App().Pattern().IsPlaying());
    EXPECT_EQ(App().Pattern().GetPosition(), 0);
    ASSERT_EQ(m_ui.MessageBoxes().size(), 2u);
    EXPECT_EQ(m_ui.MessageBoxes()[1].text, "Render to wave : done !");
    EXPECT_EQ(ReadBytes(path).size(), kWaveHeaderSize + 352800);
    EXPECT_EQ(App().BlocksRefused(), 0u);

    // Without blocks a render never gets past its marker; the next one replaces it (once the
    // pattern stopped) and the first file stays as it was.
    App().StopEngine();
    ASSERT_TRUE(App().StartRender(path));
    Run(1000);
    EXPECT_TRUE(App().IsRendering());
    const std::string second = m_folder.File("second.wav");
    EXPECT_FALSE(App().StartRender(second)); // still playing: left alone
    App().Pattern().Stop();
    ASSERT_TRUE(App().StartRender(second));
    // The end is handed over (the waker, on the engine thread) before the render counts as over.
    std::atomic<bool> handedOver{false};
    std::atomic<bool> renderingAtHandOver{false};
    App().SetUiWaker([&] {
        if (App().RenderWriter().Finished() && !handedOver.exchange(true))
            renderingAtHandOver.store(App().IsRendering());
    });
    App().StartEngine();
    ASSERT_TRUE(RunRender());
    EXPECT_TRUE(handedOver.load() && renderingAtHandOver.load());
    EXPECT_FALSE(App().IsRendering());
    EXPECT_EQ(ReadBytes(second).size(), kWaveHeaderSize + 352800);
    EXPECT_EQ(ReadBytes(path).size(), kWaveHeaderSize + 352800);
    EXPECT_EQ(m_folder.Entries().size(), 3u); // the profile and the two renders
    EXPECT_EQ(m_ui.MessageBoxes().size(), 3u);
}

// The loudest sample of the first `frames` frames of a rendered file.
int Peak(const std::vector<uint8_t>& wave, size_t frames) {
    int peak = 0;
    for (size_t i = kWaveHeaderSize; i + 1 < std::min(wave.size(), kWaveHeaderSize + 4 * frames);
         i += 2)
        peak = std::max(peak, std::abs(int16_t(wave[i] | wave[i + 1] << 8)));
    return peak;
}

// The offline render behind `zorvil-cli render`: a sampler that makes its sound in the
// background and never asks whether the host works offline is heard from the first note thanks
// to the settling time, alike every time. (One that asks: the offline render's device tests.)
TEST(ProjectRenderTest, APlugInThatLoadsInTheBackgroundIsHeardFromTheFirstNote) {
    const TempDir folder;
    const std::string project = SamplerProject(folder, "background.tsn", 1);
    ProjectRenderOptions options;
    options.pluginDirs = {ZORVIL_PLUGIN_DIR};
    for (const char* name : {"b1.wav", "b2.wav"})
        ASSERT_TRUE(RenderProject(project, folder.File(name), options).ok);
    const std::vector<uint8_t> first = ReadBytes(folder.File("b1.wav"));
    EXPECT_GT(Peak(first, 2205), 3000);
    EXPECT_EQ(first, ReadBytes(folder.File("b2.wav")));
}

} // namespace
} // namespace zorvil::test
