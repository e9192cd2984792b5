// The command line: joining, the five fields, quotes, the saturating decimal tempo.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <climits>

namespace zorvil {
namespace {

CommandLine Line(std::string wave, std::string project, int tempo) {
    return {true, std::move(wave), std::move(project), tempo};
}

TEST(CommandLineTest, FieldsAreSplitAtSpacesAndTheRestIsTheTempo) {
    EXPECT_EQ(ParseCommandLine(""), CommandLine{}); // render mode stays off
    EXPECT_EQ(JoinArguments(0, nullptr), "");
    const char* arguments[] = {"0", "0", "my out.wav", "song.tsn", "120"};
    EXPECT_EQ(JoinArguments(5, arguments), "0 0 my out.wav song.tsn 120");
    const std::pair<const char*, CommandLine> cases[] = {
        {"12 34 /tmp/out.wav /tmp/song.tsn 140", Line("/tmp/out.wav", "/tmp/song.tsn", 140)},
        {"0 0 \"/tmp/out.wav\" \"/tmp/so\"ng.tsn\" 99", Line("/tmp/out.wav", "/tmp/song.tsn", 99)},
        // A space inside a path ends its field: the rest shifts along.
        {"0 0 my out.wav song.tsn 120", Line("my", "out.wav", 0)},
        // Only a project path: render mode with empty paths, the tempo read from the path.
        {"140song.tsn", Line("", "", 140)},
        // Fewer than four spaces: the remainder is the tempo.
        {"1 2 a.wav b.tsn", Line("a.wav", "", 0)},
        // The tempo field is everything after the fourth space.
        {"0 0 a b   -12x", Line("a", "b", -12)},
        {"0 0 a b 1 40", Line("a", "b", 1)},
        {"0  a b 120", Line("a", "b", 120)},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(ParseCommandLine(text), expected) << text;
    // The tempo saturates instead of overflowing.
    EXPECT_EQ(ReadDecimal("99999999999999999999"), INT_MAX);
    EXPECT_EQ(ReadDecimal("-99999999999999999999"), INT_MIN);
    EXPECT_EQ(ReadDecimal(" \t42abc"), 42);
}

} // namespace
} // namespace zorvil
