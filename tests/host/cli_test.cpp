// zorvil-cli info, run as the user runs it.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace zorvil {
namespace {

using test::PluginPath;
using test::ToolPath;

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// A file name of this test run's own: ctest runs tests in parallel processes.
std::string TempPath(const std::string& name) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    return ::testing::TempDir() + "zorvil-" + std::to_string(getpid()) + "-" + test->name() + "-" +
           name;
}

ToolRun RunCli(const std::vector<std::string>& arguments) {
    const std::string out = TempPath("stdout.txt");
    const std::string err = TempPath("stderr.txt");
    std::string command = Quote(ToolPath("zorvil-cli"));
    for (const std::string& argument : arguments)
        command += " " + Quote(argument);
    command += " >" + Quote(out) + " 2>" + Quote(err);
    const int status = std::system(command.c_str());
    ToolRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadFile(out);
    run.err = ReadFile(err);
    std::remove(out.c_str());
    std::remove(err.c_str());
    return run;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string WriteTemp(const std::string& name, const std::string& contents) {
    const std::string path = TempPath(name);
    std::ofstream(path, std::ios::binary) << contents;
    return path;
}

TEST(CliInfo, PrintsTheInformationLinesOfEachPlugIn) {
    const std::string probe = PluginPath("zorvil-probe");
    const std::string synth = PluginPath("zorvil-synth");
    const ToolRun run = RunCli({"info", probe, synth});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    const auto lines = Lines(run.out);
    ASSERT_GE(lines.size(), 15u);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 15),
              (std::vector<std::string>{
                  "Effect #0: " + probe,
                  "Zorvil Probe",
                  "",
                  "2 programs",
                  "3 parameters",
                  "2 inputs",
                  "2 outputs",
                  "Flags: 00000010H",
                  "  Supports in place output",
                  "Unique ID: 'ZPrb' (5A507262H)",
                  "Version 1000",
                  "1 program categories",
                  "Main Program category: Effect",
                  "PlugIn can do:",
                  "  receiveVstMidiEvent",
              }));
    // Each plug-in is loaded alone: the synth is in slot 0 too.
    EXPECT_NE(run.out.find("Effect #0: " + synth + "\nZorvil Demo Synth\n"), std::string::npos);
}

TEST(CliInfo, FilesThatAreNoPlugInsAreReportedAndSkipped) {
    const std::string text = WriteTemp("notes.so", "just some text\n");
    const std::string library = ReadFile(PluginPath("zorvil-probe"));
    ASSERT_GT(library.size(), 4096u);
    const std::string truncated = WriteTemp("truncated.so", library.substr(0, 4096));
    const std::string empty = WriteTemp("empty.so", "");
    const std::vector<std::string> bad = {text,
                                          truncated,
                                          empty,
                                          PluginPath("zorvil-broken-noentry"),
                                          PluginPath("zorvil-broken-null"),
                                          PluginPath("zorvil-broken-magic"),
                                          TempPath("missing.so")};
    std::vector<std::string> arguments = {"info"};
    arguments.insert(arguments.end(), bad.begin(), bad.end());
    arguments.push_back(PluginPath("zorvil-probe"));

    const ToolRun run = RunCli(arguments);
    EXPECT_EQ(run.exitCode, 1);
    const auto errors = Lines(run.err);
    ASSERT_EQ(errors.size(), bad.size()) << run.err;
    for (std::size_t i = 0; i < bad.size(); ++i)
        EXPECT_EQ(errors[i].rfind("zorvil-cli: " + bad[i] + ": not a usable VST 2 plug-in: ", 0),
                  0u)
            << errors[i];
    EXPECT_NE(errors[3].find("no entry point"), std::string::npos);
    EXPECT_NE(errors[4].find("no plug-in"), std::string::npos);
    EXPECT_NE(errors[5].find("magic"), std::string::npos);
    // The good one after the bad ones is still listed.
    EXPECT_EQ(Lines(run.out).at(0), "Effect #0: " + PluginPath("zorvil-probe"));
}

TEST(CliInfo, UsageErrors) {
    for (const auto& arguments : {std::vector<std::string>{}, {"info"}, {"frobnicate"}})
        EXPECT_EQ(RunCli(arguments).exitCode, 2);
}

} // namespace
} // namespace zorvil
