// Bank save and load with our real plug-ins loaded by the host: the probe (2 programs x 3
// parameters), the chunk probe and the demo synth.
#include "files/seq_effect_bank.h"

#include "file_test_helpers.h"
#include "support/test_support.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace zorvil {
namespace {

using test::PluginPath;
using test::ProgramValue;

class BankWithPlugins : public ::testing::Test {
protected:
    CSeqHost host;
    test::ScriptedUserInterface ui;
    CEffectBankStore store{ui};
    test::TempDir dir;
};

TEST_F(BankWithPlugins, TheProbesBankIs292BytesAndRestoresEveryProgram) {
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe")), 0);
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe")), 1);
    CSeqEffect& probe = *host.GetSeqEffect(0);
    probe.Dispatch(effSetProgram, 0, 1);
    probe.SetParameter(2, 0.875f);
    const std::string path = dir.File("probe.fxb");
    ASSERT_TRUE(store.SaveBank(path, BankTargetOf(host, 0)));
    EXPECT_EQ(probe.m_strBankFile, path);
    EXPECT_EQ(probe.Dispatch(effGetProgram), 1);
    const auto bytes = test::ReadBytes(path);
    ASSERT_EQ(bytes.size(), 292u);
    EXPECT_EQ(std::memcmp(bytes.data() + 16, "ZPrb", 4), 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes.data() + 224 + 28), "Probe B");
    EXPECT_EQ(files::LoadBigEndian32(bytes.data() + 224 + 56 + 8), std::bit_cast<uint32_t>(0.875f));

    CSeqEffect& other = *host.GetSeqEffect(1);
    ASSERT_TRUE(store.LoadBank(path, BankTargetOf(host, 1)));
    EXPECT_EQ(other.Dispatch(effGetProgram), 0);
    EXPECT_FLOAT_EQ(ProgramValue(other, 1, 2), 0.875f);
    EXPECT_FLOAT_EQ(ProgramValue(other, 0, 0), 0.5f);
    EXPECT_EQ(other.m_strBankFile, path);
    EXPECT_EQ(ui.RefreshedSlots(), (std::vector<int>{0, 1}));
    // An empty slot is silent; an unwritable bank is reported.
    EXPECT_FALSE(store.LoadBank(path, BankTargetOf(host, 3)));
    EXPECT_FALSE(store.SaveBank(path, BankTargetOf(host, 3)));
    EXPECT_TRUE(ui.MessageBoxes().empty());
    EXPECT_FALSE(store.SaveBank(dir.File("no/such/folder.fxb"), BankTargetOf(host, 0)));
    EXPECT_EQ(test::MessageTexts(ui), std::vector<std::string>{"Error saving file"});
    // CEffect::LoadBank reads a bank file and throws for anything else.
    EXPECT_NO_THROW(other.LoadBank(path));
    std::ofstream(dir.File("bad.fxb"), std::ios::binary) << "not a bank";
    EXPECT_THROW(other.LoadBank(dir.File("bad.fxb")), std::runtime_error);
    EXPECT_THROW(other.LoadBank(dir.File("missing.fxb")), std::runtime_error);
}

// A bare plug-in of 2 programs x 3 parameters that fails the test when the host reaches for a
// program or parameter it does not have (our own plug-ins ignore such calls silently).
int32_t g_program = 0;
float g_values[2][3] = {};
bool ValidParameter(int32_t index) {
    EXPECT_TRUE(index >= 0 && index < 3) << "parameter " << index;
    return index >= 0 && index < 3;
}
AEffect StrictPlugin() {
    AEffect effect{};
    effect.magic = kEffectMagic;
    effect.dispatcher = [](AEffect*, int32_t opcode, int32_t, intptr_t value, void*,
                           float) -> intptr_t {
        if (opcode == effGetProgram) return g_program;
        if (opcode != effSetProgram) return 0;
        EXPECT_TRUE(value >= 0 && value < 2) << "program " << value;
        g_program = value == 1 ? 1 : 0;
        return 0;
    };
    effect.setParameter = [](AEffect*, int32_t index, float value) {
        if (ValidParameter(index)) g_values[g_program][index] = value;
    };
    effect.getParameter = [](AEffect*, int32_t index) {
        return ValidParameter(index) ? g_values[g_program][index] : 0.0f;
    };
    effect.numPrograms = 2;
    effect.numParams = 3;
    effect.uniqueID = static_cast<int32_t>(files::FourCC("ZPrb"));
    return effect;
}

TEST_F(BankWithPlugins, ABankWithMoreProgramsAndParametersAppliesWhatFits) {
    CFxBank bigger;
    ASSERT_TRUE(bigger.CreateParamBank(5, 7));
    for (int32_t i = 0; i < 5; ++i)
        for (int32_t j = 0; j < 7; ++j)
            bigger.GetProgram(i).SetParam(j, 0.01f * static_cast<float>(10 * i + j));
    bigger.SetIdentity(static_cast<int32_t>(files::FourCC("ZPrb")), 2);
    ASSERT_TRUE(bigger.SaveToFile(kBankMemoryName));
    store.SetStoredImage(bigger.GetMemoryImage());
    AEffect plugin = StrictPlugin();
    std::string bankFile;
    ASSERT_TRUE(store.LoadBank(kBankMemoryName, {&plugin, 0, &bankFile}));
    EXPECT_FLOAT_EQ(g_values[1][2], 0.12f);
    EXPECT_FLOAT_EQ(g_values[1][0], 0.1f);
    EXPECT_EQ(g_program, 0);
    EXPECT_TRUE(bankFile.empty()); // memory loads keep the bank file name
}

TEST_F(BankWithPlugins, BanksOfAnotherIdOrAnUnhandledChunkChangeNothing) {
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-synth")), 0);
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe-chunk")), 1);
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe")), 2);
    const std::string synthBank = dir.File("synth.fxb");
    ASSERT_TRUE(store.SaveBank(synthBank, BankTargetOf(host, 0)));
    ASSERT_TRUE(store.SaveBank(kBankMemoryName, BankTargetOf(host, 1)));
    std::vector<uint8_t> chunk(store.StoredImage().begin(), store.StoredImage().end());
    std::memcpy(chunk.data() + 16, "ZPrb", 4); // the probe's own ID
    store.SetStoredImage(chunk);
    CSeqEffect& probe = *host.GetSeqEffect(2);
    probe.SetParameter(1, 0.625f);
    EXPECT_FALSE(store.LoadBank(synthBank, BankTargetOf(host, 2)));
    EXPECT_FALSE(store.LoadBank(kBankMemoryName, BankTargetOf(host, 2)));
    EXPECT_FLOAT_EQ(probe.GetParameter(1), 0.625f);
    EXPECT_TRUE(probe.m_strBankFile.empty());
    ASSERT_EQ(ui.MessageBoxes().size(), 2u);
    EXPECT_EQ(ui.MessageBoxes()[0].text, "Loaded bank has another ID!");
    EXPECT_EQ(ui.MessageBoxes()[0].caption, "Load Error");
    EXPECT_EQ(ui.MessageBoxes()[1].text,
              "Loaded bank contains a formatless chunk, but the effect can't handle that!");
}

} // namespace
} // namespace zorvil
