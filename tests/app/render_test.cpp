// Render to a wave file through the program's own path (marker, engine, output step, wave
// output, render writer) on a manual clock, and the offline project render behind zorvil-cli.
#include "app/project_render.h"
#include "app_test_support.h"
#include "files/file_commands.h"
#include "support/test_support.h"

#include <gmock/gmock.h>

#include <atomic>
#include <cstring>

namespace zorvil::test {
namespace {

using ::testing::IsEmpty;

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

TEST_F(RenderTest, TheCommandRendersOneMeasureAt120ToExactly88200Frames) {
    StartUp();
    // A target that cannot be created is reported, and nothing starts.
    const std::string missing = m_folder.File("missing/folder/x.wav");
    EXPECT_FALSE(App().StartRender(missing));
    EXPECT_EQ(m_ui.MessageBoxes().at(0).text,
              "Can't open file for write " + missing + ", error = 2 (no such file or folder)\n");
    EXPECT_FALSE(App().IsRendering() || App().Pattern().IsPlaying() || App().ProcessPosted());
    EXPECT_TRUE(App().IsEngineRunning());
    App().Pattern().Start();
    App().OnRenderToWave(); // off while playing
    EXPECT_THAT(m_ui.SaveFileRequests(), IsEmpty());
    App().Pattern().Stop();

    // The user's old file stays as it was until the render is complete.
    const std::string path = m_folder.File("one.wav");
    WriteBytes(path, {'o', 'l', 'd'});
    m_ui.AnswerSaveFile(path);
    App().OnRenderToWave();
    ASSERT_EQ(m_ui.SaveFileRequests().size(), 1u);
    EXPECT_EQ(m_ui.SaveFileRequests()[0].initialPath, "*.wav");
    EXPECT_TRUE(m_ui.SaveFileRequests()[0].overwritePrompt);
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
    EXPECT_EQ(m_folder.Entries().size(), 2u);
    EXPECT_EQ(App().BlocksRefused(), 0u);
}

TEST_F(RenderTest, ARenderThatCannotAdvanceIsReplacedByTheNextAndItsEndIsHandedOverFirst) {
    StartUp();
    App().StopEngine(); // no blocks: the render never gets past its marker
    const std::string first = m_folder.File("first.wav");
    WriteBytes(first, {'o', 'l', 'd'});
    ASSERT_TRUE(App().StartRender(first));
    Run(1000);
    EXPECT_TRUE(App().IsRendering());
    EXPECT_FALSE(App().StartRender(m_folder.File("second.wav"))); // still playing: left alone
    App().Pattern().Stop();

    const std::string second = m_folder.File("second.wav");
    ASSERT_TRUE(App().StartRender(second));
    EXPECT_EQ(ReadBytes(first), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(m_folder.Entries().size(), 2u); // first.wav and the second in the making
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
    EXPECT_EQ(ReadBytes(first), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(m_folder.Entries().size(), 2u);
    ASSERT_EQ(m_ui.MessageBoxes().size(), 1u);
    EXPECT_EQ(m_ui.MessageBoxes()[0].text, "Render to wave : done !");
}

// The offline render behind `zorvil-cli render` (no other application alive meanwhile).
class ProjectRenderTest : public ::testing::Test {
protected:
    ProjectRenderOptions Options() const {
        ProjectRenderOptions options;
        options.pluginDirs = {ZORVIL_PLUGIN_DIR};
        return options;
    }

    TempDir m_folder;
};

// The loudest sample of the first `frames` frames of a rendered file.
int Peak(const std::vector<uint8_t>& wave, size_t frames) {
    int peak = 0;
    for (size_t i = kWaveHeaderSize; i + 1 < std::min(wave.size(), kWaveHeaderSize + 4 * frames);
         i += 2)
        peak = std::max(peak, std::abs(int16_t(wave[i] | wave[i + 1] << 8)));
    return peak;
}

TEST_F(ProjectRenderTest, PlugInsThatLoadInTheBackgroundAreHeardFromTheFirstNoteAndAlike) {
    // Told that the host works offline, the sampler makes its sample at once: no settling
    // needed. Its sample comes from the C library's generator, seeded before it loads.
    const std::string aware = SamplerProject(m_folder, "aware.tsn", 0);
    ProjectRenderOptions options = Options();
    options.settleMs = 0;
    ASSERT_TRUE(RenderProject(aware, m_folder.File("a1.wav"), options).ok);
    ASSERT_TRUE(RenderProject(aware, m_folder.File("a2.wav"), options).ok);
    const std::vector<uint8_t> first = ReadBytes(m_folder.File("a1.wav"));
    EXPECT_GT(Peak(first, 2205), 3000);
    EXPECT_EQ(first, ReadBytes(m_folder.File("a2.wav")));

    // One that never asks is heard from the first note thanks to the settling time.
    const std::string background = SamplerProject(m_folder, "background.tsn", 1);
    ASSERT_TRUE(RenderProject(background, m_folder.File("b1.wav"), Options()).ok);
    ASSERT_TRUE(RenderProject(background, m_folder.File("b2.wav"), Options()).ok);
    const std::vector<uint8_t> settled = ReadBytes(m_folder.File("b1.wav"));
    EXPECT_GT(Peak(settled, 2205), 3000);
    EXPECT_EQ(settled, ReadBytes(m_folder.File("b2.wav")));
    EXPECT_EQ(settled, first); // the same sample, the same notes
}

} // namespace
} // namespace zorvil::test
