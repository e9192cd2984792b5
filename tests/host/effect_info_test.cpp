// The information lines of an effect, as the information window and zorvil-cli show them (the
// complete lines of the probe are checked on zorvil-cli).
#include "host/effect_info.h"
#include "host/seq_host.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace zorvil {
namespace {

using test::PluginPath;
using Lines = std::vector<std::string>;

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

TEST(EffectInfo, EmptySlotsAndOddValues) {
    CSeqHost host;
    EXPECT_TRUE(EffectInfoLines(host, 0).empty());
    EXPECT_TRUE(EffectInfoLines(host, -1).empty());
    // Zero bytes of a unique id show as spaces; unknown categories as their number.
    EXPECT_EQ(UniqueIdText(0x51520053), "'QR S' (51520053H)");
    EXPECT_EQ(UniqueIdText(0), "'    ' (00000000H)");
    EXPECT_EQ(UniqueIdText(static_cast<int32_t>(0xFFFFFFFFu)).substr(6), " (FFFFFFFFH)");
    EXPECT_EQ(PlugCategoryName(7), "SurroundFx");
    EXPECT_EQ(PlugCategoryName(9), "9");
    EXPECT_EQ(PlugCategoryName(-1), "-1");
}

} // namespace
} // namespace zorvil
