// The information lines of an effect, as the information window and zorvil-cli show them.
#include "host/effect_info.h"
#include "host/seq_host.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace zorvil {
namespace {

using test::PluginPath;
using Lines = std::vector<std::string>;

TEST(EffectInfo, ProbeLinesInOrder) {
    CSeqHost host;
    const std::string path = PluginPath("zorvil-probe");
    ASSERT_EQ(host.LoadPlugin(path), 0);
    EXPECT_EQ(EffectInfoLines(host, 0), (Lines{
                                            "Effect #0: " + path,
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
}

TEST(EffectInfo, SynthFlagsSlotNumberAndBankFile) {
    CSeqHost host;
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe-out0")), 0);
    const std::string path = PluginPath("zorvil-synth");
    ASSERT_EQ(host.LoadPlugin(path), 1);
    host.GetSeqEffect(1)->m_strBankFile = "/home/user/pads.fxb";
    const Lines lines = EffectInfoLines(host, 1);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Effect #1: " + path);
    EXPECT_EQ(lines[1], "Zorvil Demo Synth");
    const Lines tail(lines.begin() + 7, lines.end());
    EXPECT_EQ(tail, (Lines{
                        "Flags: 00000111H",
                        "  Has Editor",
                        "  Supports in place output",
                        "  Is a synth",
                        "Unique ID: 'ZSyn' (5A53796EH)",
                        "Version 1000",
                        "1 program categories",
                        "Main Program category: Synth",
                        "PlugIn can do:",
                        "  receiveVstEvents",
                        "  receiveVstMidiEvent",
                        "",
                        "Loaded file: /home/user/pads.fxb",
                    }));
}

TEST(EffectInfo, EmptySlotHasNoLines) {
    CSeqHost host;
    EXPECT_TRUE(EffectInfoLines(host, 0).empty());
    EXPECT_TRUE(EffectInfoLines(host, -1).empty());
}

TEST(EffectInfo, UniqueIdShowsZeroBytesAsSpaces) {
    EXPECT_EQ(UniqueIdText(0x51520053), "'QR S' (51520053H)");
    EXPECT_EQ(UniqueIdText(0), "'    ' (00000000H)");
    EXPECT_EQ(UniqueIdText(static_cast<int32_t>(0xFFFFFFFFu)).substr(6), " (FFFFFFFFH)");
}

TEST(EffectInfo, CategoryNames) {
    const char* names[] = {"Unknown",   "Effect",      "Synth",  "Analysis",
                           "Mastering", "Spacializer", "RoomFx", "SurroundFx"};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(PlugCategoryName(i), names[i]);
    EXPECT_EQ(PlugCategoryName(9), "9");
    EXPECT_EQ(PlugCategoryName(-1), "-1");
}

} // namespace
} // namespace zorvil
