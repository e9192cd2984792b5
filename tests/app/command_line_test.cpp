// The command line: joining, the five fields, quotes, the decimal tempo.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <climits>

namespace zorvil {
namespace {

CommandLine Line(std::string wave, std::string project, int tempo) {
    return {true, std::move(wave), std::move(project), tempo};
}

TEST(CommandLineTest, AnEmptyLineLeavesRenderModeOff) {
    EXPECT_EQ(ParseCommandLine(""), CommandLine{});
    EXPECT_EQ(JoinArguments(0, nullptr), "");
}

TEST(CommandLineTest, FiveFieldsGiveTheTwoPathsAndTheTempo) {
    EXPECT_EQ(ParseCommandLine("12 34 /tmp/out.wav /tmp/song.tsn 140"),
              Line("/tmp/out.wav", "/tmp/song.tsn", 140));
}

TEST(CommandLineTest, QuotesAroundAndInsideThePathsAreRemoved) {
    EXPECT_EQ(ParseCommandLine("0 0 \"/tmp/out.wav\" \"/tmp/so\"ng.tsn\" 99"),
              Line("/tmp/out.wav", "/tmp/song.tsn", 99));
}

TEST(CommandLineTest, APathWithASpaceCannotBeGiven) {
    const char* arguments[] = {"0", "0", "my out.wav", "song.tsn", "120"};
    const std::string line = JoinArguments(5, arguments);
    EXPECT_EQ(line, "0 0 my out.wav song.tsn 120");
    // The space inside the first path ends its field: the rest shifts along.
    EXPECT_EQ(ParseCommandLine(line), Line("my", "out.wav", 0));
}

TEST(CommandLineTest, OnlyAProjectPathTurnsRenderModeOnWithEmptyPaths) {
    EXPECT_EQ(ParseCommandLine("/tmp/song.tsn"), Line("", "", 0));
    // The tempo is read from the path's text: digits at its start count.
    EXPECT_EQ(ParseCommandLine("140song.tsn"), Line("", "", 140));
}

TEST(CommandLineTest, WithFewerThanFourSpacesTheRemainderIsTheTempo) {
    // Three spaces: the fourth field finds no space, stays empty, and "b.tsn" is the tempo.
    EXPECT_EQ(ParseCommandLine("1 2 a.wav b.tsn"), Line("a.wav", "", 0));
    EXPECT_EQ(ParseCommandLine("1 2 a.wav"), Line("", "", 0));
    EXPECT_EQ(ParseCommandLine("1 2 3"), Line("", "", 3));
    EXPECT_EQ(ParseCommandLine("1 120"), Line("", "", 120));
    EXPECT_EQ(ParseCommandLine("1 2 a.wav 160"), Line("a.wav", "", 160));
}

TEST(CommandLineTest, TheTempoFieldIsEverythingAfterTheFourthSpace) {
    EXPECT_EQ(ParseCommandLine("0 0 a b   -12x"), Line("a", "b", -12));
    EXPECT_EQ(ParseCommandLine("0 0 a b +7"), Line("a", "b", 7));
    EXPECT_EQ(ParseCommandLine("0 0 a b 1 40"), Line("a", "b", 1));
    EXPECT_EQ(ParseCommandLine("0 0 a b"), Line("a", "", 0));
    EXPECT_EQ(ParseCommandLine("0 0 a b "), Line("a", "b", 0));
    // Empty fields between doubled spaces.
    EXPECT_EQ(ParseCommandLine("0  a b 120"), Line("a", "b", 120));
    EXPECT_EQ(ParseCommandLine("0 0  b 120"), Line("", "b", 120));
}

TEST(CommandLineTest, DecimalReadingSaturatesInsteadOfOverflowing) {
    EXPECT_EQ(ReadDecimal("99999999999999999999"), INT_MAX);
    EXPECT_EQ(ReadDecimal("-99999999999999999999"), INT_MIN);
    EXPECT_EQ(ReadDecimal(" \t42abc"), 42);
    EXPECT_EQ(ReadDecimal("-"), 0);
    EXPECT_EQ(ReadDecimal("x12"), 0);
}

} // namespace
} // namespace zorvil
