// zorvil-cli render, export-midi and play, run as a user or a script runs them.
#include "app_test_support.h"
#include "cli_test_support.h"

#include <gmock/gmock.h>

#include <sstream>

namespace zorvil::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

using CliCommandsTest = CliFixture;

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
    EXPECT_EQ(run.out, "zorvil-cli: playing 1 plug-in\n");
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

} // namespace
} // namespace zorvil::test
