// zorvil-cli render, export-midi and play, run as a user or a script runs them.
#include "app_test_support.h"
#include "cli_test_support.h"
#include "engine/wave_out_engine.h"
#include "files/project_effects.h"
#include "files/project_file.h"
#include "support/test_support.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace zorvil::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

using CliCommandsTest = CliFixture;

TEST_F(CliCommandsTest, RenderAndExportMidiWriteTheDemoAndSayWhere) {
    const std::string out = m_folder.File("demo.wav");
    Outcome run = Cli({"render", Demo(), out});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "zorvil-cli: wrote " + out + " (705600 frames, 16 s)\n");
    const std::vector<uint8_t> wave = ReadBytes(out);
    ASSERT_EQ(wave.size(), kWaveHeaderSize + 705600u * 4);
    // Sound in every second of the pattern.
    for (size_t second = 0; second < 16; ++second) {
        int peak = 0;
        for (size_t i = kWaveHeaderSize + second * 176400;
             i < kWaveHeaderSize + (second + 1) * 176400; i += 2)
            peak = std::max(peak, std::abs(int16_t(wave[i] | wave[i + 1] << 8)));
        EXPECT_GT(peak, 1000) << second;
    }

    const std::string midi = m_folder.File("demo.mid");
    run = Cli({"export-midi", Demo(), midi});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "zorvil-cli: wrote " + midi + "\n");
    EXPECT_EQ(Text(midi).substr(0, 4), "MThd");
}

// Every problem with the input is one line that names the file and the cause in words, with
// exit status 1 and no output left behind; a wrong command line is status 2.
TEST_F(CliCommandsTest, BadInputGivesOneLineInWordsAndExitStatusOne) {
    auto project = [&](const std::string& name, const std::string& pluginPath) {
        return WriteProject(m_folder, name, {.notes = {}, .effects = {{pluginPath, 0, {}}}});
    };
    const std::string missing = m_folder.File("missing.tsn");
    const std::string text = m_folder.File("text.tsn");
    std::ofstream(text) << "hello";
    const std::string cut = m_folder.File("cut.tsn");
    std::vector<uint8_t> bytes = ReadBytes(Demo());
    bytes.resize(bytes.size() - 10);
    WriteBytes(cut, bytes);
    const std::string absent = project("absent.tsn", "no-such-plugin.so");
    const std::string empty = project("empty.tsn", "");
    const std::string control = project("control.tsn", "/no/such\nplug\x1b[31min.so");
    const std::string wave = m_folder.File("x.wav");
    const std::string noFolder = m_folder.File("no/such/folder.mid");
    const struct {
        const char* command;
        std::string project, target, error; // the error line, or its start
    } cases[] = {
        {"render", missing, wave, missing + ": no such file\n"},
        {"render", text, wave, text + ": not a Zorvil project file\n"},
        {"render", cut, wave, cut + ": damaged project file (cut short)\n"},
        {"render", absent, wave,
         absent + ": plug-in no-such-plugin.so not found (looked next to the project, in "},
        {"render", empty, wave,
         empty + ": an effect record names no plug-in (its library path is empty)\n"},
        {"render", control, wave,
         control + ": plug-in /no/such\\nplug\\x1b[31min.so cannot be loaded"},
        {"render", "/dev/null", wave, "/dev/null: cannot be read (not a regular file)\n"},
        {"export-midi", Demo(), noFolder,
         noFolder + ": cannot be written (no such file or folder)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.command) + " " + c.project);
        const Outcome run = Cli({c.command, c.project, c.target});
        EXPECT_EQ(run.status, 1);
        EXPECT_THAT(run.err, StartsWith("zorvil-cli: " + c.error));
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_FALSE(std::filesystem::exists(c.target));
    }
    for (const std::string& name : m_folder.Entries())
        EXPECT_TRUE(name.ends_with(".tsn") || name == "config") << name;

    const std::vector<std::vector<std::string>> usage = {
        {"render", Demo()},
        {"export-midi", Demo()},
        {"play", PluginPath("zorvil-synth"), "--seconds", "x"},
    };
    for (const auto& arguments : usage)
        EXPECT_EQ(Cli(arguments).status, 2) << arguments.back();
    for (const char* seconds : {"nan", "1e999", "-1", "2s"})
        EXPECT_EQ(Cli({"play", PluginPath("zorvil-probe-out0"), "--seconds", seconds}).status, 2)
            << seconds;
}

TEST_F(CliCommandsTest, PlayGoesOnWithoutWhatIsMissingStopsAfterItsSecondsAndFailsWithNone) {
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

    const Outcome none = Cli({"play", m_folder.File("a.so"), "--seconds", "5", "--wave-out",
                              platform::kVirtualWaveOutImmediateName});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "");
    EXPECT_THAT(none.err, HasSubstr("zorvil-cli: none of the plug-ins loaded; nothing to play\n"));
}

// Every name `devices` lists is one `play` takes without a complaint about the device: the
// mappers only when they open, "* No Wave *" and "* No MIDI *" as no device at all.
TEST_F(CliCommandsTest, DevicesListsOnlyNamesThatPlayTakes) {
    const Outcome devices = Cli({"devices"});
    ASSERT_EQ(devices.status, 0);
    const std::map<std::string, std::string> options = {{"MIDI input", "--midi-in"},
                                                        {"MIDI output", "--midi-out"},
                                                        {"Wave input", "--wave-in"},
                                                        {"Wave output", "--wave-out"}};
    std::istringstream lines(devices.out);
    std::string option;
    int tried = 0;
    for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with("  ")) {
            option = options.at(line.substr(0, line.size() - 1));
            continue;
        }
        // A wave device's rate follows its name: "MME: JACK  [48000 Hz, converted ...]".
        const std::string entry = line.substr(2);
        const std::string name = entry.substr(0, entry.find("  ["));
        const Outcome run =
            Cli({"play", PluginPath("zorvil-probe-out0"), "--seconds", "0", option, name});
        EXPECT_EQ(run.status, 0) << option << " " << name;
        EXPECT_EQ(run.err, "") << option << " " << name;
        ++tried;
    }
    EXPECT_GE(tried, 10); // the four "no device" entries and the virtual devices at least
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
    const std::string project = WriteProject(m_folder, "state.tsn", image);

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
