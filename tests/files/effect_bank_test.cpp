// Bank save and load against a small in-test plug-in that records what the host asks of it.
#include "files/effect_bank.h"

#include "support/scripted_user_interface.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace zorvil {
namespace {

using test::TempDir;

int32_t Id(const char (&text)[5]) {
    return static_cast<int32_t>(files::FourCC(text));
}

// A plug-in with per-program names and values that logs every program and parameter access,
// and fails the test when the host asks for an index it does not have.
class StandInPlugin {
public:
    StandInPlugin(int32_t id, int32_t programs, int32_t parameters, bool chunks = false)
        : m_names(static_cast<size_t>(programs)),
          m_values(static_cast<size_t>(programs),
                   std::vector<float>(static_cast<size_t>(parameters))) {
        m_effect.magic = kEffectMagic;
        m_effect.dispatcher = &StandInPlugin::DispatchProc;
        m_effect.setParameter = &StandInPlugin::SetParameterProc;
        m_effect.getParameter = &StandInPlugin::GetParameterProc;
        m_effect.numPrograms = programs;
        m_effect.numParams = parameters;
        m_effect.flags = chunks ? effFlagsProgramChunks : 0;
        m_effect.uniqueID = id;
        m_effect.version = 3;
        m_effect.object = this;
        for (int32_t i = 0; i < programs; ++i)
            m_names[static_cast<size_t>(i)] = "Program " + std::to_string(i);
    }

    AEffect& Effect() { return m_effect; }
    std::vector<std::string>& Names() { return m_names; }
    std::vector<std::vector<float>>& Values() { return m_values; }
    int32_t& Program() { return m_program; }
    std::vector<uint8_t>& Chunk() { return m_chunk; }
    std::vector<std::string> log;

private:
    static StandInPlugin& Self(AEffect* effect) {
        return *static_cast<StandInPlugin*>(effect->object);
    }
    bool ValidProgram(intptr_t index) const {
        EXPECT_GE(index, 0);
        EXPECT_LT(index, m_effect.numPrograms);
        return index >= 0 && index < m_effect.numPrograms;
    }
    bool ValidParameter(int32_t index) const {
        EXPECT_GE(index, 0);
        EXPECT_LT(index, m_effect.numParams);
        return index >= 0 && index < m_effect.numParams;
    }
    static intptr_t DispatchProc(AEffect* effect, int32_t opcode, int32_t, intptr_t value,
                                 void* ptr, float) {
        StandInPlugin& self = Self(effect);
        const auto program = static_cast<size_t>(self.m_program);
        switch (opcode) {
        case effGetProgram:
            return self.m_program;
        case effSetProgram:
            self.log.push_back("setProgram " + std::to_string(value));
            if (self.ValidProgram(value)) self.m_program = static_cast<int32_t>(value);
            return 0;
        case effGetProgramName:
            std::strcpy(static_cast<char*>(ptr), self.m_names[program].c_str());
            return 0;
        case effSetProgramName:
            self.log.push_back(std::string("setProgramName ") + static_cast<const char*>(ptr));
            self.m_names[program] = static_cast<const char*>(ptr);
            return 0;
        case effGetChunk:
            *static_cast<void**>(ptr) = self.m_chunk.data();
            return static_cast<intptr_t>(self.m_chunk.size());
        case effSetChunk: {
            self.log.push_back("setChunk " + std::to_string(value));
            const auto* bytes = static_cast<const uint8_t*>(ptr);
            self.m_chunk.assign(bytes, bytes + value);
            return 0;
        }
        default:
            return 0;
        }
    }
    static void SetParameterProc(AEffect* effect, int32_t index, float value) {
        StandInPlugin& self = Self(effect);
        self.log.push_back("setParameter " + std::to_string(index));
        if (self.ValidParameter(index))
            self.m_values[static_cast<size_t>(self.m_program)][static_cast<size_t>(index)] = value;
    }
    static float GetParameterProc(AEffect* effect, int32_t index) {
        StandInPlugin& self = Self(effect);
        return self.ValidParameter(index)
                   ? self.m_values[static_cast<size_t>(self.m_program)][static_cast<size_t>(index)]
                   : 0.0f;
    }

    AEffect m_effect{};
    std::vector<std::string> m_names;
    std::vector<std::vector<float>> m_values;
    std::vector<uint8_t> m_chunk;
    int32_t m_program = 0;
};

void FillValues(StandInPlugin& plugin, float base) {
    for (size_t i = 0; i < plugin.Values().size(); ++i)
        for (size_t j = 0; j < plugin.Values()[i].size(); ++j)
            plugin.Values()[i][j] =
                base + 0.1f * static_cast<float>(i) + 0.01f * static_cast<float>(j);
}

TEST(EffectBank, ParameterBankRoundTripsThroughTheMemoryImage) {
    test::ScriptedUserInterface ui;
    StandInPlugin source(Id("ZPrb"), 2, 3);
    FillValues(source, 0.2f);
    source.Names()[1] = "A name longer than twenty-seven";
    source.Program() = 1;
    std::string bankFile = "unchanged";
    CEffectBankStore store(ui);
    ASSERT_TRUE(store.SaveBank(kBankMemoryName, {&source.Effect(), 2, &bankFile}));
    EXPECT_EQ(store.StoredImage().size(), 292u);
    EXPECT_EQ(source.Program(), 1); // the current program is restored
    EXPECT_EQ(bankFile, "unchanged");

    StandInPlugin target(Id("ZPrb"), 2, 3);
    target.Program() = 1;
    CEffectBankStore targetStore(ui);
    targetStore.SetStoredImage(store.StoredImage());
    ASSERT_TRUE(targetStore.LoadBank(kBankMemoryName, {&target.Effect(), 3, &bankFile}));
    EXPECT_EQ(target.Values(), source.Values());
    EXPECT_EQ(target.Names()[0], "Program 0");
    EXPECT_EQ(target.Names()[1], "A name longer than twenty-s");
    EXPECT_EQ(target.Program(), 1);
    EXPECT_EQ(bankFile, "unchanged");
    EXPECT_TRUE(ui.MessageBoxes().empty());
    EXPECT_EQ(ui.RefreshedSlots(), (std::vector<int>{2, 3}));
}

TEST(EffectBank, FileSaveAndLoadSetTheBankFileName) {
    TempDir dir;
    test::ScriptedUserInterface ui;
    StandInPlugin plugin(Id("ZSyn"), 3, 2);
    FillValues(plugin, 0.5f);
    std::string bankFile;
    CEffectBankStore store(ui);
    const std::string path = dir.File("synth.fxb");
    ASSERT_TRUE(store.SaveBank(path, {&plugin.Effect(), 0, &bankFile}));
    EXPECT_EQ(bankFile, path);
    EXPECT_TRUE(store.StoredImage().empty());

    StandInPlugin other(Id("ZSyn"), 3, 2);
    std::string otherFile;
    ASSERT_TRUE(store.LoadBank(path, {&other.Effect(), 1, &otherFile}));
    EXPECT_EQ(otherFile, path);
    EXPECT_EQ(other.Values(), plugin.Values());
}

TEST(EffectBank, ABankOfALargerVersionAppliesOnlyWhatFits) {
    test::ScriptedUserInterface ui;
    StandInPlugin bigger(Id("ZPrb"), 4, 5);
    FillValues(bigger, 0.3f);
    CEffectBankStore store(ui);
    ASSERT_TRUE(store.SaveBank(kBankMemoryName, {&bigger.Effect(), 0, nullptr}));

    StandInPlugin smaller(Id("ZPrb"), 2, 3); // fails the test on any index it does not have
    ASSERT_TRUE(store.LoadBank(kBankMemoryName, {&smaller.Effect(), 0, nullptr}));
    EXPECT_FLOAT_EQ(smaller.Values()[1][2], bigger.Values()[1][2]);
    EXPECT_EQ(smaller.Names()[1], "Program 1");
}

TEST(EffectBank, ABankOfAnotherPluginIsRefusedBeforeAnyProgramIsTouched) {
    test::ScriptedUserInterface ui;
    StandInPlugin source(Id("ZSyn"), 2, 3);
    CEffectBankStore store(ui);
    ASSERT_TRUE(store.SaveBank(kBankMemoryName, {&source.Effect(), 0, nullptr}));
    StandInPlugin other(Id("ZPrb"), 2, 3);
    FillValues(other, 0.7f);
    const auto before = other.Values();
    EXPECT_FALSE(store.LoadBank(kBankMemoryName, {&other.Effect(), 0, nullptr}));
    EXPECT_TRUE(other.log.empty());
    EXPECT_EQ(other.Values(), before);
    ASSERT_EQ(ui.MessageBoxes().size(), 1u);
    EXPECT_EQ(ui.MessageBoxes()[0].text, "Loaded bank has another ID!");
    EXPECT_EQ(ui.MessageBoxes()[0].caption, "Load Error");
    EXPECT_EQ(ui.MessageBoxes()[0].icon, MessageIcon::Error);
}

TEST(EffectBank, ChunksRoundTripAndAreRefusedByPluginsWithoutChunks) {
    test::ScriptedUserInterface ui;
    StandInPlugin source(Id("ZPrC"), 1, 1, true);
    source.Chunk() = {'Z', 'P', 'C', '1', 9, 8, 7};
    CEffectBankStore store(ui);
    ASSERT_TRUE(store.SaveBank(kBankMemoryName, {&source.Effect(), 0, nullptr}));
    EXPECT_EQ(store.StoredImage().size(), 167u);

    StandInPlugin target(Id("ZPrC"), 1, 1, true);
    ASSERT_TRUE(store.LoadBank(kBankMemoryName, {&target.Effect(), 0, nullptr}));
    EXPECT_EQ(target.Chunk(), source.Chunk());

    StandInPlugin noChunks(Id("ZPrC"), 1, 1, false);
    EXPECT_FALSE(store.LoadBank(kBankMemoryName, {&noChunks.Effect(), 0, nullptr}));
    EXPECT_TRUE(noChunks.log.empty());
    ASSERT_EQ(ui.MessageBoxes().size(), 1u);
    EXPECT_EQ(ui.MessageBoxes()[0].text,
              "Loaded bank contains a formatless chunk, but the effect can't handle that!");
    EXPECT_EQ(ui.MessageBoxes()[0].caption, "Load Error");
}

TEST(EffectBank, UnreadableBanksAndEmptyChunksReportTheirMessages) {
    TempDir dir;
    test::ScriptedUserInterface ui;
    StandInPlugin plugin(Id("ZPrb"), 2, 3);
    CEffectBankStore store(ui);
    std::string bankFile = "before";
    EXPECT_FALSE(store.LoadBank(dir.File("missing.fxb"), {&plugin.Effect(), 0, &bankFile}));
    EXPECT_FALSE(store.LoadBank(kBankMemoryName, {&plugin.Effect(), 0, &bankFile}));
    EXPECT_EQ(bankFile, "before");
    EXPECT_TRUE(plugin.log.empty());

    StandInPlugin emptyChunk(Id("ZPrC"), 1, 1, true);
    store.SetStoredImage(std::vector<uint8_t>{4, 5, 6});
    EXPECT_FALSE(store.SaveBank(kBankMemoryName, {&emptyChunk.Effect(), 0, nullptr}));
    EXPECT_EQ(store.StoredImage().size(), 3u); // the previous image stays for the project
    EXPECT_FALSE(store.SaveBank(dir.File("no/such/folder.fxb"), {&plugin.Effect(), 0, nullptr}));
    ASSERT_EQ(ui.MessageBoxes().size(), 4u);
    EXPECT_EQ(ui.MessageBoxes()[0].text, "Bank could not be loaded");
    EXPECT_EQ(ui.MessageBoxes()[1].text, "Bank could not be loaded");
    EXPECT_EQ(ui.MessageBoxes()[2].text, "Memory Allocation Error");
    EXPECT_EQ(ui.MessageBoxes()[3].text, "Error saving file");
    EXPECT_TRUE(ui.RefreshedSlots().empty());
}

} // namespace
} // namespace zorvil
