// The programs menu's model, renaming and the parameter slider's ends, with the program banks
// (40 programs named only by switching, 3584 named by index; program 5 has no name).
#include "app/effect_programs.h"
#include "app/parameter_view.h"
#include "host/seq_host.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace zorvil {
namespace {

class EffectProgramsTest : public ::testing::Test {
protected:
    CEffect& Load(const char* name) {
        const int slot = m_host.LoadPlugin(test::PluginPath(name));
        EXPECT_GE(slot, 0) << name;
        return *m_host.GetEffect(slot);
    }
    static std::string RawName(CEffect& effect) {
        std::string name;
        effect.DispatchString(effGetProgramName, 0, name, 1000);
        return name;
    }

    CSeqHost m_host;
};

// Names by index: an unnamed program stays unnamed. Only the first 1000 are listed, and a current
// program beyond them is not checked. (40 programs named by switching: the parameter window's
// tests.)
TEST_F(EffectProgramsTest, MenuGroupsNamesAndCheckMark) {
    CEffect& effect = Load("zorvil-programs3584");
    SelectProgram(effect, 2000);
    const ProgramMenu menu = BuildProgramMenu(effect);
    ASSERT_EQ(menu.groups.size(), 63u);
    EXPECT_EQ(menu.groups[1].title, "Presets 16-31");
    EXPECT_EQ(menu.groups.back().title, "Presets 992-999");
    EXPECT_EQ(menu.groups[0].items[5].text, "5. ");
    EXPECT_EQ(menu.groups[1].items[0].text, "16. Sound 16");
    EXPECT_EQ(menu.groups[1].items[0].id, 33016u);
    EXPECT_EQ(menu.groups.back().items.back().id, 33999u);
    EXPECT_EQ(menu.checkedId, 0u);
    EXPECT_EQ(effect.Dispatch(effGetProgram), 2000);
}

TEST_F(EffectProgramsTest, RenameKeepsTheFirst64BytesAndWholeCharacters) {
    CEffect& effect = Load("zorvil-programs40");
    const struct {
        std::string given;
        std::string stored;
    } cases[] = {
        {std::string(70, 'x'), std::string(64, 'x')},
        {"Warm Pad", "Warm Pad"},
        // "é" is two bytes: the 64th byte would split it.
        {std::string(63, 'a') + "\xC3\xA9" + "b", std::string(63, 'a')},
    };
    for (const auto& c : cases) {
        RenameCurrentProgram(effect, c.given);
        EXPECT_EQ(RawName(effect), c.stored);
    }
    EXPECT_EQ(CurrentProgramName(effect), std::string(63, 'a'));
}

// A plug-in's value out of range, or no number, stands at an end of the slider. (Values in
// range: the parameter window's tests.)
TEST(ParameterSlider, ValuesOutOfRangeStandAtAnEnd) {
    for (const float value : {2.0f, 1e30f})
        EXPECT_EQ(SliderPosition(value), 0) << value;
    for (const float value : {-1.0f, std::numeric_limits<float>::quiet_NaN()})
        EXPECT_EQ(SliderPosition(value), 65535) << value;
}

} // namespace
} // namespace zorvil
