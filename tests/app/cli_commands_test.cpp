// zorvil-cli render, export-midi and play, run as a user or a script runs them.
#include "app_test_support.h"
#include "engine/wave_out_engine.h"
#include "files/project_effects.h"
#include "files/project_file.h"
#include "support/test_support.h"

#include <gmock/gmock.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace zorvil::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

class CliCommandsTest : public ::testing::Test {
protected:
    // Runs zorvil-cli with a profile folder of the test's own and the virtual devices listed.
    Outcome Cli(const std::vector<std::string>& arguments) {
        auto quote = [](const std::string& text) {
            std::string quoted = "'";
            for (char c : text)
                quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
            return quoted + "'";
        };
        std::string command = "XDG_CONFIG_HOME=" + quote(m_folder.File("config")) +
                              " ZORVIL_VIRTUAL_DEVICES=1 " + quote(ToolPath("zorvil-cli"));
        for (const std::string& argument : arguments)
            command += " " + quote(argument);
        command += " >" + quote(m_io.File("out")) + " 2>" + quote(m_io.File("err"));
        const int status = std::system(command.c_str());
        Outcome outcome;
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        outcome.out = Text(m_io.File("out"));
        outcome.err = Text(m_io.File("err"));
        return outcome;
    }
    static std::string Text(const std::string& path) {
        std::stringstream text;
        text << std::ifstream(path, std::ios::binary).rdbuf();
        return text.str();
    }
    static std::string Demo() { return SourcePath("resources/demo/demo.tsn"); }

    TempDir m_folder;
    TempDir m_io;
};

TEST_F(CliCommandsTest, RenderAndExportMidiWriteTheDemoAndSayWhere) {
    const std::string out = m_folder.File("demo.wav");
    Outcome run = Cli({"render", Demo(), out});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "zorvil-cli: wrote " + out + " (705600 frames, 16 s)\n");
    EXPECT_EQ(std::filesystem::file_size(out), 46u + 705600u * 4);

    const std::string midi = m_folder.File("demo.mid");
    run = Cli({"export-midi", Demo(), midi});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "zorvil-cli: wrote " + midi + "\n");
    EXPECT_EQ(Text(midi).substr(0, 4), "MThd");
}

TEST_F(CliCommandsTest, BadInputGivesOneLineAndExitStatusOne) {
    const std::string out = m_folder.File("x.wav");
    const std::string missing = m_folder.File("missing.tsn");
    Outcome run = Cli({"render", missing, out});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "zorvil-cli: " + missing + ": no such file\n");
    EXPECT_FALSE(std::filesystem::exists(out));

    run = Cli({"export-midi", missing, m_folder.File("x.mid")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "zorvil-cli: " + missing + ": no such file\n");
    EXPECT_FALSE(std::filesystem::exists(m_folder.File("x.mid")));

    EXPECT_EQ(Cli({"render", Demo()}).status, 2);
    EXPECT_EQ(Cli({"render", Demo(), out, "--fast"}).status, 2);
    EXPECT_EQ(Cli({"export-midi", Demo()}).status, 2);
}

TEST_F(CliCommandsTest, PlayGoesOnWithoutWhatIsMissingAndStopsAfterItsSeconds) {
    const Outcome run =
        Cli({"play", PluginPath("zorvil-synth"), m_folder.File("nothing.so"), "--seconds", "0.2",
             "--wave-out", platform::kVirtualWaveOutName, "--midi-in", "No Such Port", "--midi-out",
             platform::kVirtualMidiOutName, "--thru", "--buffer", "441"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "zorvil-cli: wave output \"Virtual Wave Out\" runs at 44100 Hz, no "
                       "conversion\nzorvil-cli: playing 1 plug-in\n");
    std::vector<std::string> lines;
    std::istringstream err(run.err);
    for (std::string line; std::getline(err, line);)
        lines.push_back(line);
    EXPECT_THAT(
        lines,
        ElementsAre("zorvil-cli: MIDI input \"No Such Port\": no such device; going on "
                    "without it",
                    HasSubstr(m_folder.File("nothing.so") + ": not a usable VST 2 plug-in")));
    // The options went into a copy of the profile: the user's stays as it was.
    EXPECT_FALSE(std::filesystem::exists(m_folder.File("config/Ostrelworks")));
    EXPECT_EQ(Cli({"play"}).status, 2);
    EXPECT_EQ(Cli({"play", PluginPath("zorvil-synth"), "--seconds", "x"}).status, 2);
}

TEST_F(CliCommandsTest, RenderPlaysEveryPlugInWithTheStateItWasSavedWith) {
    // A chunk plug-in that keeps its current sound in the chunk and loads a factory sound when
    // its program is set, on a program with an edited sound; and a plug-in whose bank image is
    // empty (a project saved while its bank could not be built), which keeps its own state.
    ProjectImage image;
    image.measures = 1;
    {
        ScriptedUserInterface ui;
        CSeqHost host;
        CProjectEffects effects(host, ui);
        ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe-chunk-sound")), 0);
        host.GetSeqEffect(0)->Dispatch(effSetProgram, 0, 1);
        host.GetSeqEffect(0)->SetParameter(0, 0.3f); // the level of both outputs
        image.effects = effects.Capture();
    }
    image.effects.push_back({PluginPath("zorvil-probe"), 1, {}}); // "Probe B": level 0.1
    const std::string project = m_folder.File("state.tsn");
    ASSERT_EQ(WriteProjectFile(project, image), platform::FileErrorCause::None);

    const std::string out = m_folder.File("state.wav");
    const Outcome run = Cli({"render", project, out});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<uint8_t> bytes = ReadBytes(out);
    ASSERT_GT(bytes.size(), kWaveHeaderSize + 8);
    const size_t frames = (bytes.size() - kWaveHeaderSize) / 4;
    const float gain = std::sqrt(0.5f);
    const int16_t expected[2] = {
        static_cast<int16_t>(CEngineWaveOut::ConvertSample(gain * 0.3f + gain * 0.1f)),
        static_cast<int16_t>(CEngineWaveOut::ConvertSample(-gain * 0.3f + -gain * 0.1f))};
    for (const size_t frame : {size_t{0}, frames / 2, frames - 1}) {
        for (size_t channel = 0; channel < 2; ++channel) {
            int16_t sample = 0;
            std::memcpy(&sample, bytes.data() + kWaveHeaderSize + 4 * frame + 2 * channel, 2);
            EXPECT_EQ(sample, expected[channel]) << frame;
        }
    }
}

} // namespace
} // namespace zorvil::test
