// The information lines of an effect, as the information window shows them and as zorvil-cli
// prints them when run as the user runs it.
#include "app/cli_test_support.h"

namespace zorvil {
namespace {

using test::PluginPath;

using CliInfo = test::CliFixture;

TEST_F(CliInfo, FilesThatAreNoPlugInsAreReportedAndSkippedAndPlugInsListed) {
    const std::string library = Text(PluginPath("zorvil-probe"));
    ASSERT_GT(library.size(), 4096u);
    const auto write = [&](const std::string& name, const std::string& contents) {
        std::ofstream(m_folder.File(name), std::ios::binary) << contents;
        return m_folder.File(name);
    };
    const std::vector<std::string> bad = {
        write("truncated.so", library.substr(0, 4096)), // once crashed the dynamic loader
        write("empty.so", ""), PluginPath("zorvil-broken-noentry"), m_folder.File("missing.so")};
    std::vector<std::string> arguments = {"info"};
    arguments.insert(arguments.end(), bad.begin(), bad.end());
    arguments.push_back(PluginPath("zorvil-probe"));
    arguments.push_back(PluginPath("zorvil-synth"));
    const test::Outcome run = Cli(arguments);
    EXPECT_EQ(run.status, 1);
    std::vector<std::string> errors;
    std::istringstream lines(run.err);
    for (std::string line; std::getline(lines, line);)
        errors.push_back(line);
    ASSERT_EQ(errors.size(), bad.size());
    for (std::size_t i = 0; i < bad.size(); ++i)
        EXPECT_EQ(errors[i].rfind("zorvil-cli: " + bad[i] + ": not a usable VST 2 plug-in: ", 0),
                  0u)
            << errors[i];
    EXPECT_NE(errors[2].find("no entry point"), std::string::npos);
    // The good ones after the bad ones are listed, each loaded alone (so in slot 0).
    EXPECT_EQ(run.out.rfind("Effect #0: " + PluginPath("zorvil-probe") + "\nZorvil Probe\n", 0),
              0u);
    EXPECT_NE(run.out.find("Effect #0: " + PluginPath("zorvil-synth") +
                           "\nZorvil Demo Synth\n\n3 programs\n3 parameters\n0 inputs\n2 outputs\n"
                           "Flags: 00000111H\n  Has Editor\n  Supports in place output\n  Is a "
                           "synth\nUnique ID: 'ZSyn' (5A53796EH)\nVersion 1000\n1 program "
                           "categories\nMain Program category: Synth\nPlugIn can do:\n  "
                           "receiveVstEvents\n  receiveVstMidiEvent\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(Cli({"info"}).status, 2);
}

} // namespace
} // namespace zorvil
