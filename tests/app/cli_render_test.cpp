// zorvil-cli render and export-midi where a user's data is at stake: the project as its own
// target, real-time renders at every buffer size, interruptions, a plug-in that crashes while
// it closes, and names as long as the system allows.
#include "app/project_render.h"
#include "app_test_support.h"
#include "cli_test_support.h"
#include "files/project_file.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <filesystem>

namespace zorvil::test {
namespace {

namespace fs = std::filesystem;
namespace keys = platform::settings;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class CliRenderTest : public CliFixture {
protected:
    // The profile zorvil-cli reads (XDG_CONFIG_HOME is the test's "config" folder).
    platform::CProfile Profile() {
        fs::create_directories(m_folder.File("config/Ostrelworks"));
        return platform::CProfile(m_folder.File("config/Ostrelworks/Zorvil.conf"));
    }
    // A project of one measure at 240 (T = 44100 frames), with the given effect records.
    std::string Project(const std::string& name, std::vector<EffectImage> effects = {}) {
        return WriteProject(m_folder, name,
                            {.tempo = 240,
                             .measures = 1,
                             .stepsPerMeasure = 16,
                             .notes = {{0, 60, 100, 4}},
                             .effects = std::move(effects)});
    }
    // Names in the output folder other than the project files.
    std::vector<std::string> Outputs() const {
        std::vector<std::string> names;
        for (const std::string& name : m_folder.Entries())
            if (!name.ends_with(".tsn") && name != "config") names.push_back(name);
        std::sort(names.begin(), names.end());
        return names;
    }
    // The render's file in the making holds sound. Other temporary files come and go (the check
    // that the target can be written makes and removes one), so a file may vanish while listed.
    bool RenderFileWritten() const {
        for (const auto& entry : fs::directory_iterator(m_folder.Path())) {
            std::error_code ec;
            if (entry.path().filename().string().starts_with(".zorvil-") &&
                fs::file_size(entry.path(), ec) > kWaveHeaderSize && !ec)
                return true;
        }
        return false;
    }
};

TEST_F(CliRenderTest, TheProjectAsItsOwnTargetIsRefusedByAnyName) {
    const std::string project = m_folder.File("P.tsn");
    fs::copy_file(Demo(), project);
    fs::create_symlink("P.tsn", m_folder.File("link.mid"));
    const std::string before = Text(project);
    for (const char* command : {"render", "export-midi"}) {
        for (const std::string& target :
             {project, m_folder.Path().string() + "/./P.tsn", m_folder.File("link.mid")}) {
            const Outcome run = Cli({command, project, target});
            EXPECT_EQ(run.status, 1) << command << " " << target;
            EXPECT_EQ(run.err, "zorvil-cli: " + target +
                                   ": is the project file itself; choose another name for the "
                                   "output\n");
        }
    }
    EXPECT_EQ(Text(project), before);
}

TEST_F(CliRenderTest, RealTimeRendersHoldExactlyTFramesForEveryOfferedBufferSize) {
    // One measure at 240: T = 44100 frames, one second.
    const std::string project = Project("second.tsn");
    platform::CProfile profile = Profile();
    profile.WriteString(keys::kSection, keys::kWaveOut,
                        std::string("MME: ") + platform::kVirtualWaveOutName);
    for (const int size : {2205, 1470, 147}) {
        SCOPED_TRACE(size);
        profile.WriteInt(keys::kSection, keys::kWaveOutBufSize, size);
        const std::string out = m_folder.File("rt" + std::to_string(size) + ".wav");
        const Outcome run = Cli({"render", project, out, "--realtime"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, "zorvil-cli: wrote " + out + " (44100 frames, 1 s)\n");
        EXPECT_EQ(fs::exists(out) ? fs::file_size(out) : 0, kWaveHeaderSize + 44100u * 4);
    }
    EXPECT_EQ(Outputs(), (std::vector<std::string>{"rt147.wav", "rt1470.wav", "rt2205.wav"}));
}

TEST_F(CliRenderTest, AnInterruptedRenderRemovesItsFileAndEndsByTheSignal) {
    platform::CProfile profile = Profile();
    profile.WriteString(keys::kSection, keys::kWaveOut,
                        std::string("MME: ") + platform::kVirtualWaveOutName);
    const std::string old = m_folder.File("old.wav");
    test::WriteBytes(old, {'o', 'l', 'd'});
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        const pid_t pid = Start({"render", Demo(), old, "--realtime"});
        ASSERT_TRUE(WaitFor([&] { return RenderFileWritten(); }, std::chrono::seconds(30)));
        kill(pid, signal);
        const Outcome run = Wait(pid);
        EXPECT_EQ(run.signal, signal) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(Outputs(), std::vector<std::string>{"old.wav"});
        EXPECT_EQ(Text(old), "old");
    }
}

TEST_F(CliRenderTest, PlayRemovesItsProfileCopyHoweverASignalStopsIt) {
    // Stopped as early as its copy of the profile exists, play ends by the signal; once it
    // plays, Ctrl+C is its normal end (status 0).
    const TempDir scratch;
    const Environment tmp{{"TMPDIR", scratch.Path().string()}};
    auto copies = [&] {
        std::vector<std::string> found;
        for (const std::string& name : scratch.Entries())
            if (name.starts_with("zorvil-play-")) found.push_back(name);
        return found;
    };
    for (const bool early : {true, false}) {
        SCOPED_TRACE(early);
        const pid_t pid = Start({"play", PluginPath("zorvil-synth"), "--seconds", "30"}, tmp);
        ASSERT_TRUE(
            WaitFor([&] { return early ? !copies().empty() : Text(m_io.File("out")) != ""; },
                    std::chrono::seconds(30)));
        kill(pid, early ? SIGTERM : SIGINT);
        const Outcome run = Wait(pid);
        // A loaded machine may let the early one reach its playing line before the signal.
        if (run.out.find("zorvil-cli: playing") == std::string::npos)
            EXPECT_EQ(run.signal, SIGTERM) << run.err;
        else
            EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(copies(), std::vector<std::string>{});
    }
}

TEST_F(CliRenderTest, APlugInThatCrashesWhileItClosesCannotHideTheResult) {
    const std::string project =
        Project("crash.tsn", {{PluginPath("zorvil-broken-close-segv"), 0, {}}});
    const std::string out = m_folder.File("crash.wav");
    Outcome run = Cli({"render", project, out});
    EXPECT_EQ(run.signal, SIGSEGV);
    EXPECT_EQ(run.out, "zorvil-cli: wrote " + out + " (44100 frames, 1 s)\n");
    EXPECT_EQ(fs::exists(out) ? fs::file_size(out) : 0, kWaveHeaderSize + 44100u * 4);
    // A render that fails says why, and leaves nothing, before the crash.
    fs::create_directory(m_folder.File("folder.wav"));
    run = Cli({"render", project, m_folder.File("folder.wav/x/y.wav")});
    EXPECT_THAT(run.err, StartsWith("zorvil-cli: " + m_folder.File("folder.wav/x/y.wav")));
    EXPECT_EQ(Outputs(), (std::vector<std::string>{"crash.wav", "folder.wav"}));
    EXPECT_TRUE(fs::is_empty(m_folder.File("folder.wav")));
}

TEST_F(CliRenderTest, NamesOf255BytesAreWrittenAndSettleTakesMilliseconds) {
    const std::string project = Project("short.tsn");
    const std::string midi = std::string(251, 'm') + ".mid";
    const std::string wave = std::string(251, 'w') + ".wav";
    EXPECT_EQ(Cli({"render", project, m_folder.File(wave), "--settle", "0"}).status, 0);
    EXPECT_EQ(Cli({"export-midi", project, m_folder.File(midi)}).status, 0);
    EXPECT_EQ(Outputs(), (std::vector<std::string>{midi, wave}));
    for (const char* bad : {"x", "-1", "", "99999999999"})
        EXPECT_EQ(Cli({"render", project, m_folder.File("x.wav"), "--settle", bad}).status, 2)
            << bad;
    EXPECT_EQ(Cli({"render", project, m_folder.File("x.wav"), "--settle"}).status, 2);
}

} // namespace
} // namespace zorvil::test
