// Bank save and load with our real plug-ins loaded by the host: the probe (2 programs x 3
// parameters), the chunk probe and the demo synth.
#include "files/seq_effect_bank.h"

#include "host/probe_access.h"
#include "program_value.h"
#include "support/scripted_user_interface.h"
#include "support/test_support.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <sstream>

namespace zorvil {
namespace {

using test::PluginPath;
using test::ReadBytes;
using test::TempDir;

uint32_t Be32(std::span<const uint8_t> bytes, size_t offset) {
    return files::LoadBigEndian32(bytes.data() + offset);
}

// The program indices the probe was switched to, in order, from its log.
std::vector<long> SetProgramCalls(const std::string& log) {
    std::vector<long> programs;
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string kind;
        long opcode = -1, index = 0, value = 0;
        words >> kind >> opcode >> index >> value;
        if (kind == "dispatch" && opcode == effSetProgram) programs.push_back(value);
    }
    return programs;
}

using test::ProgramValue;

class BankWithPlugins : public ::testing::Test {
protected:
    CSeqHost host;
    test::ScriptedUserInterface ui;
    CEffectBankStore store{ui};
    TempDir dir;
};

TEST_F(BankWithPlugins, TheProbesBankIs292BytesAndRestoresEveryProgram) {
    const int source = host.LoadPlugin(PluginPath("zorvil-probe"));
    const int target = host.LoadPlugin(PluginPath("zorvil-probe"));
    ASSERT_EQ(source, 0);
    ASSERT_EQ(target, 1);
    CSeqEffect& probe = *host.GetSeqEffect(source);
    probe.Dispatch(effSetProgram, 0, 1);
    probe.SetParameter(2, 0.875f);
    const std::string path = dir.File("probe.fxb");
    ASSERT_TRUE(store.SaveBank(path, BankTargetOf(host, source)));
    EXPECT_EQ(probe.m_strBankFile, path);
    EXPECT_EQ(probe.Dispatch(effGetProgram), 1);

    const auto bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 292u);
    EXPECT_EQ(std::memcmp(bytes.data() + 16, "ZPrb", 4), 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes.data() + 224 + 28), "Probe B");
    EXPECT_EQ(Be32(bytes, 224 + 56 + 8), std::bit_cast<uint32_t>(0.875f));

    CSeqEffect& other = *host.GetSeqEffect(target);
    test::ProbeAccess access("zorvil-probe");
    ASSERT_TRUE(access.Valid());
    access.Clear(other);
    ASSERT_TRUE(store.LoadBank(path, BankTargetOf(host, target)));
    EXPECT_EQ(SetProgramCalls(access.Log(other)), (std::vector<long>{0, 1, 0}));
    EXPECT_FLOAT_EQ(ProgramValue(other, 1, 2), 0.875f);
    EXPECT_FLOAT_EQ(ProgramValue(other, 0, 0), 0.5f);
    EXPECT_EQ(other.m_strBankFile, path);
    EXPECT_TRUE(ui.MessageBoxes().empty());
    EXPECT_EQ(ui.RefreshedSlots(), (std::vector<int>{source, target}));
}

// A bare plug-in of 2 programs x 3 parameters that fails the test when the host reaches for a
// program or parameter it does not have (our own plug-ins ignore such calls silently).
struct StrictPlugin {
    AEffect effect{};
    int32_t program = 0;
    float values[2][3] = {};

    static StrictPlugin& Self(AEffect* e) { return *static_cast<StrictPlugin*>(e->object); }
    static intptr_t Dispatch(AEffect* e, int32_t opcode, int32_t, intptr_t value, void*, float) {
        if (opcode == effGetProgram) return Self(e).program;
        if (opcode == effSetProgram) {
            EXPECT_TRUE(value >= 0 && value < 2) << "program " << value;
            if (value >= 0 && value < 2) Self(e).program = static_cast<int32_t>(value);
        }
        return 0;
    }
    static void Set(AEffect* e, int32_t index, float value) {
        EXPECT_TRUE(index >= 0 && index < 3) << "parameter " << index;
        if (index >= 0 && index < 3) Self(e).values[Self(e).program][index] = value;
    }
    static float Get(AEffect* e, int32_t index) {
        EXPECT_TRUE(index >= 0 && index < 3) << "parameter " << index;
        return index >= 0 && index < 3 ? Self(e).values[Self(e).program][index] : 0.0f;
    }
    StrictPlugin() {
        effect.magic = kEffectMagic;
        effect.dispatcher = &Dispatch;
        effect.setParameter = &Set;
        effect.getParameter = &Get;
        effect.numPrograms = 2;
        effect.numParams = 3;
        effect.uniqueID = static_cast<int32_t>(files::FourCC("ZPrb"));
        effect.object = this;
    }
};

TEST_F(BankWithPlugins, ABankWithMoreProgramsAndParametersAppliesWhatFits) {
    CFxBank bigger;
    ASSERT_TRUE(bigger.CreateParamBank(5, 7));
    for (int32_t i = 0; i < 5; ++i)
        for (int32_t j = 0; j < 7; ++j)
            bigger.GetProgram(i).SetParam(j, 0.01f * static_cast<float>(10 * i + j));
    bigger.SetIdentity(static_cast<int32_t>(files::FourCC("ZPrb")), 2);
    ASSERT_TRUE(bigger.SaveToFile(kBankMemoryName));
    store.SetStoredImage(bigger.GetMemoryImage());
    StrictPlugin plugin;
    std::string bankFile;
    ASSERT_TRUE(store.LoadBank(kBankMemoryName, {&plugin.effect, 0, &bankFile}));
    EXPECT_FLOAT_EQ(plugin.values[1][2], 0.12f);
    EXPECT_FLOAT_EQ(plugin.values[1][0], 0.1f);
    EXPECT_EQ(plugin.program, 0);
    EXPECT_TRUE(bankFile.empty()); // memory loads keep the bank file name
}

TEST_F(BankWithPlugins, ASynthBankIsRefusedByTheProbe) {
    const int synth = host.LoadPlugin(PluginPath("zorvil-synth"));
    const int probeSlot = host.LoadPlugin(PluginPath("zorvil-probe"));
    ASSERT_GE(synth, 0);
    ASSERT_GE(probeSlot, 0);
    const std::string path = dir.File("synth.fxb");
    ASSERT_TRUE(store.SaveBank(path, BankTargetOf(host, synth)));
    CSeqEffect& probe = *host.GetSeqEffect(probeSlot);
    test::ProbeAccess access("zorvil-probe");
    access.Clear(probe);
    EXPECT_FALSE(store.LoadBank(path, BankTargetOf(host, probeSlot)));
    EXPECT_TRUE(SetProgramCalls(access.Log(probe)).empty());
    EXPECT_TRUE(probe.m_strBankFile.empty());
    ASSERT_EQ(ui.MessageBoxes().size(), 1u);
    EXPECT_EQ(ui.MessageBoxes()[0].text, "Loaded bank has another ID!");
    EXPECT_EQ(ui.MessageBoxes()[0].caption, "Load Error");
}

TEST_F(BankWithPlugins, AChunkBankForAPluginWithoutChunksChangesNothing) {
    const int chunkSlot = host.LoadPlugin(PluginPath("zorvil-probe-chunk"));
    const int probeSlot = host.LoadPlugin(PluginPath("zorvil-probe"));
    ASSERT_TRUE(store.SaveBank(kBankMemoryName, BankTargetOf(host, chunkSlot)));
    std::vector<uint8_t> image(store.StoredImage().begin(), store.StoredImage().end());
    std::memcpy(image.data() + 16, "ZPrb", 4); // the probe's own ID
    store.SetStoredImage(image);
    CSeqEffect& probe = *host.GetSeqEffect(probeSlot);
    probe.SetParameter(1, 0.625f);
    test::ProbeAccess access("zorvil-probe");
    access.Clear(probe);
    EXPECT_FALSE(store.LoadBank(kBankMemoryName, BankTargetOf(host, probeSlot)));
    EXPECT_TRUE(access.Log(probe).empty());
    EXPECT_FLOAT_EQ(probe.GetParameter(1), 0.625f);
    ASSERT_EQ(ui.MessageBoxes().size(), 1u);
    EXPECT_EQ(ui.MessageBoxes()[0].text,
              "Loaded bank contains a formatless chunk, but the effect can't handle that!");
}

TEST_F(BankWithPlugins, AnEmptySlotIsSilentAndAnUnwritableBankIsReported) {
    const std::string path = dir.File("probe.fxb");
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe")), 0);
    ASSERT_TRUE(store.SaveBank(path, BankTargetOf(host, 0)));
    EXPECT_FALSE(store.LoadBank(path, BankTargetOf(host, 3)));
    EXPECT_FALSE(store.SaveBank(path, BankTargetOf(host, 3)));
    EXPECT_TRUE(ui.MessageBoxes().empty());
    EXPECT_FALSE(store.SaveBank(dir.File("no/such/folder.fxb"), BankTargetOf(host, 0)));
    ASSERT_EQ(ui.MessageBoxes().size(), 1u);
    EXPECT_EQ(ui.MessageBoxes()[0].text, "Error saving file");
}

} // namespace
} // namespace zorvil
