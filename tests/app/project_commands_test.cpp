// The application's side of the windows: New, the effect slot records with their four-effect
// limit, the menu commands, and the tempo plug-ins are told. (What the listeners hear: the
// windows' tests.)
#include "app/project_render.h"
#include "app_test_support.h"
#include "files/file_commands.h"
#include "files/project_effects.h"
#include "files/project_file.h"
#include "host/probe_access.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace zorvil::test {
namespace {

// An effect's windows as the shell attaches them: closing them unloads the effect.
class ClosingFrame : public IEffectFrame {
public:
    ClosingFrame(CZorvilApp& app, int slot) : m_app(app), m_slot(slot) {}
    void CloseEffectViews() override {
        ++closed;
        m_app.UnloadEffect(m_slot);
    }
    void ShowEffectWindows(bool) override {}
    int closed = 0;

private:
    CZorvilApp& m_app;
    int m_slot;
};

double TempoPluginsSee(CZorvilApp& app) {
    return app.Host().TimeInfo().tempo;
}

class ProjectCommandsTest : public AppFixture {
protected:
    void SetUp() override { Start(); }
    // A new application (only one host may exist at a time: the previous one goes first).
    void Start(const std::string& commandLine = {}) {
        m_app.reset();
        WriteSetting(platform::settings::kWaveOut, kImmediateOut);
        ASSERT_TRUE(App().InitInstance(commandLine));
    }
    std::string BatchLine(int tempo) {
        return "0 0 " + m_folder.File("out.wav") + " " + m_folder.File("none.tsn") + " " +
               std::to_string(tempo);
    }

    std::string Project(const std::string& name, int tempo, std::vector<EffectImage> effects = {}) {
        return WriteProject(m_folder, name,
                            {.tempo = tempo,
                             .measures = 3,
                             .stepsPerMeasure = 8,
                             .notes = {{0, 60, 100, 2}},
                             .effects = std::move(effects)});
    }
};

TEST_F(ProjectCommandsTest, NewForgetsThePathClosesTheWindowsAndUnloadsEveryEffect) {
    const std::string song = m_folder.File("song.tsn");
    App().Pattern().AddNote(4, 60, 100, 2);
    ASSERT_EQ(App().LoadEffect(PluginPath("zorvil-synth")), 0);
    ASSERT_EQ(App().LoadEffect(PluginPath("zorvil-probe")), 1);
    ClosingFrame frame(App(), 0);
    App().AttachEffectFrame(0, &frame);             // the second effect has no windows
    ASSERT_TRUE(App().FileCommands()->Write(song)); // the slots now hold stored bank images
    ASSERT_FALSE(App().ProjectEffects().Store(1).StoredImage().empty());
    const auto saved = ReadBytes(song);
    // The windows disable New while playing (the frame's tests); the application refuses it
    // there too, whoever asks.
    App().OnCommand(command::kPlay);
    EXPECT_FALSE(App().OnNewProject());
    App().OnCommand(command::kPause);

    // (The emptied pattern, the title and the unloaded effects: the main window's tests.)
    ASSERT_TRUE(App().OnNewProject());
    EXPECT_EQ(frame.closed, 1);
    EXPECT_EQ(App().FileCommands()->GetPath(), "");
    for (const int slot : {0, 1}) {
        EXPECT_EQ(App().EffectRecord(slot).libraryPath, "");
        EXPECT_TRUE(App().ProjectEffects().Store(slot).StoredImage().empty());
    }
    EXPECT_TRUE(App().IsEngineRunning());

    // Save after New asks for a name; the old project stays as it was.
    App().OnCommand(command::kSave);
    EXPECT_EQ(m_ui.SaveFileRequests().size(), 1u);
    EXPECT_EQ(ReadBytes(song), saved);

    // In command-line mode New is refused too.
    Start(BatchLine(120));
    App().Pattern().AddNote(0, 60, 100, 1);
    EXPECT_FALSE(App().OnNewProject());
    EXPECT_EQ(App().Pattern().GetNoteCount(), 1);
}

TEST_F(ProjectCommandsTest, AtMostFourEffectsAndAFreedSlotIsFilledAgain) {
    for (int i = 0; i < CZorvilApp::kMaxEffects; ++i)
        ASSERT_EQ(App().LoadEffect(PluginPath("zorvil-synth")), i);
    // A fifth is refused at once: the engine is not even stopped (it would restart with the
    // clock's time now).
    m_clock.Advance(10);
    const uint32_t started = App().StartTime();
    EXPECT_EQ(App().LoadEffect(PluginPath("zorvil-synth")), -1);
    EXPECT_EQ(App().StartTime(), started);
    EXPECT_EQ(App().LoadedEffectCount(), 4);
    // The load button and L ask for nothing; 57600 asks, but the fifth is refused all the same.
    App().OnCommand(command::kLoadEffect);
    EXPECT_TRUE(m_ui.OpenFileRequests().empty());
    m_ui.AnswerOpenFile(PluginPath("zorvil-probe"));
    App().OnCommand(command::kNewDocument);
    EXPECT_EQ(m_ui.OpenFileRequests().size(), 1u);
    EXPECT_EQ(App().LoadedEffectCount(), 4);
    EXPECT_TRUE(App().IsEngineRunning());

    // Freeing slot 1 frees its record and its stored bank image; the next load fills it.
    App().ProjectEffects().Store(1).SetStoredImage(std::vector<uint8_t>{1, 2, 3});
    App().UnloadEffect(1);
    EXPECT_EQ(App().Host().GetEffect(1), nullptr);
    EXPECT_EQ(App().EffectRecord(1).libraryPath, "");
    EXPECT_TRUE(App().ProjectEffects().Store(1).StoredImage().empty());
    EXPECT_EQ(App().LoadedEffectCount(), 3);
    EXPECT_EQ(App().LoadEffect(PluginPath("zorvil-probe")), 1);
    EXPECT_EQ(App().EffectRecord(1).libraryPath, PluginPath("zorvil-probe"));
}

// Plug-ins read the tempo from the host's time information; it follows the pattern however the
// tempo was set. (Before, only the tempo control set it: a 90 bpm project opened after start-up
// played tempo-synced plug-ins at 120.)
TEST_F(ProjectCommandsTest, PlugInsAreToldThePatternsTempoWheneverItChanges) {
    const std::string project = Project("slow.tsn", 90);
    ASSERT_TRUE(App().FileCommands()->Read(project));
    EXPECT_EQ(TempoPluginsSee(App()), 90.0);

    // What the plug-in itself gets when it asks the host for the time.
    const int probe = App().LoadEffect(PluginPath("zorvil-probe"));
    ASSERT_GE(probe, 0);
    ProbeAccess access("zorvil-probe");
    ASSERT_TRUE(access.Valid());
    const auto* time = reinterpret_cast<const VstTimeInfo*>(
        access.CallHost(*App().Host().GetEffect(probe), audioMasterGetTime));
    ASSERT_NE(time, nullptr);
    EXPECT_EQ(time->tempo, 90.0);

    App().OnNewProject();
    EXPECT_EQ(TempoPluginsSee(App()), 120.0);
    App().SetSequencerValues(500, 1, 32); // clamped, as the pattern takes it
    EXPECT_EQ(TempoPluginsSee(App()), 303.0);

    // A project loaded the way zorvil-cli renders it.
    App().OnNewProject();
    ASSERT_EQ(LoadProjectStrict(App(), Project("slower.tsn", 75), {}), "");
    EXPECT_EQ(TempoPluginsSee(App()), 75.0);

    // The command line's tempo, with one measure of 32 steps when its project does not exist.
    Start(BatchLine(140));
    EXPECT_EQ(TempoPluginsSee(App()), 140.0);
    EXPECT_EQ(App().Pattern().GetMeasures(), 1);
    EXPECT_EQ(App().Pattern().GetStepsPerMeasure(), 32);
}

// The demo project names its synth without a folder; the library loader looks only where it is
// told, so Open must find it next to the project, else in the plug-in folders.
TEST_F(ProjectCommandsTest,
       APlugInNamedWithoutAFolderIsFoundNextToTheProjectThenInThePlugInFolders) {
    const std::filesystem::path synth = PluginPath("zorvil-synth");
    EffectImage record;
    record.libraryPath = synth.filename().string();
    const std::string project = Project("bare.tsn", 120, {record});

    // Neither next to the project nor in a plug-in folder, only in the folder the program runs
    // in: refused with the name it was given (the same project loads the same from anywhere).
    const std::filesystem::path here = std::filesystem::current_path();
    std::filesystem::current_path(synth.parent_path());
    ASSERT_TRUE(App().FileCommands()->Read(project));
    std::filesystem::current_path(here);
    EXPECT_EQ(App().Host().GetEffect(0), nullptr);
    const auto boxes = m_ui.MessageBoxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().text, PluginNotLoadedMessage(record.libraryPath));

    App().SetPluginFolders({m_folder.File("empty"), synth.parent_path().string()});
    ASSERT_TRUE(App().FileCommands()->Read(project));
    EXPECT_NE(App().Host().GetEffect(0), nullptr);
    EXPECT_EQ(App().EffectRecord(0).libraryPath, synth.string());

    // A copy next to the project comes first.
    std::filesystem::copy_file(synth, m_folder.File(record.libraryPath));
    ASSERT_TRUE(App().FileCommands()->Read(project));
    EXPECT_EQ(App().EffectRecord(0).libraryPath, m_folder.File(record.libraryPath));
}

} // namespace
} // namespace zorvil::test
