// Bank files: the exact big-endian bytes, every refusal and the reader's length checks; then
// save and load with our real plug-ins loaded by the host (the probe with 2 programs x 3
// parameters, the chunk probe and the demo synth).
#include "files/fx_bank.h"
#include "files/seq_effect_bank.h"

#include "file_test_helpers.h"
#include "files/byte_order.h"
#include "support/test_support.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace zorvil {
namespace {

using Bytes = std::vector<uint8_t>;
using test::PluginPath;
using test::ProgramValue;
constexpr uint32_t kId = 0x5A507262;
using files::FourCC;

// Appends big-endian words; four-character tags are words too.
void Put(Bytes& out, std::initializer_list<uint32_t> words) {
    for (uint32_t word : words)
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<uint8_t>(word >> shift));
}

Bytes Saved(CFxBank& bank) {
    EXPECT_TRUE(bank.SaveToFile(kBankMemoryName));
    const auto image = bank.GetMemoryImage();
    return {image.begin(), image.end()};
}

// The bank of a plug-in with 2 programs of 3 parameters.
Bytes TwoByThreeImage() {
    CFxBank bank;
    EXPECT_TRUE(bank.CreateParamBank(2, 3));
    bank.GetProgram(0).SetName("First");
    bank.GetProgram(1).SetName("Second");
    for (int32_t i = 0; i < 2; ++i)
        for (int32_t j = 0; j < 3; ++j)
            bank.GetProgram(i).SetParam(j, 0.25f * static_cast<float>(i + j));
    bank.SetIdentity(static_cast<int32_t>(kId), 7);
    return Saved(bank);
}

Bytes ChunkImage(const Bytes& chunk) {
    CFxBank bank;
    EXPECT_TRUE(bank.CreateChunkBank(chunk.size()));
    std::memcpy(bank.ChunkData().data(), chunk.data(), chunk.size());
    bank.SetIdentity(static_cast<int32_t>(kId), 1);
    return Saved(bank);
}

bool LoadsFromImage(const Bytes& image) {
    CFxBank bank;
    bank.SetMemoryImage(image);
    return bank.LoadFromFile(kBankMemoryName);
}

TEST(FxBankLayout, TwoProgramsOfThreeParametersIs292BigEndianBytesAndNamesAreCutAt27) {
    Bytes expected;
    Put(expected, {FourCC("CcnK"), 284, FourCC("FxBk"), 1, kId, 7, 2});
    expected.resize(156);
    for (uint32_t p = 0; p < 2; ++p) {
        Put(expected, {FourCC("CcnK"), 60, FourCC("FxCk"), 1, kId, 7, 3});
        const std::string_view name = p ? "Second" : "First";
        expected.insert(expected.end(), name.begin(), name.end());
        expected.resize(expected.size() + 28 - name.size());
        for (uint32_t j = 0; j < 3; ++j)
            Put(expected, {std::bit_cast<uint32_t>(0.25f * static_cast<float>(p + j))});
    }
    ASSERT_EQ(expected.size(), 292u);
    EXPECT_EQ(TwoByThreeImage(), expected);

    CFxBank bank;
    ASSERT_TRUE(bank.CreateParamBank(1, 1));
    bank.GetProgram(0).SetName("abcdefghijklmnopqrstuvwxyz0123");
    EXPECT_EQ(bank.GetProgram(0).Name(), "abcdefghijklmnopqrstuvwxyz0");
    EXPECT_EQ(bank.Data()[156 + 28 + 27], 0);
}

TEST(FxBankLayout, ChunkBytesAreNeverSwapped) {
    const Bytes chunk = {'Z', 'P', 'C', '1', 1, 2, 3, 4, 5};
    Bytes expected;
    Put(expected, {FourCC("CcnK"), 161, FourCC("FBCh"), 1, kId, 1, 1});
    expected.resize(156);
    Put(expected, {9});
    expected.insert(expected.end(), chunk.begin(), chunk.end());
    const Bytes image = ChunkImage(chunk);
    EXPECT_EQ(image, expected);
    CFxBank bank;
    bank.SetMemoryImage(image);
    ASSERT_TRUE(bank.LoadFromFile(kBankMemoryName));
    EXPECT_TRUE(bank.IsChunk());
    EXPECT_FALSE(bank.GetProgram(0));
    EXPECT_EQ(Bytes(bank.ChunkData().begin(), bank.ChunkData().end()), chunk);
}

TEST(FxBankRefusals, EveryTruncationIsRefusedWithoutReadingPastTheEnd) {
    for (const Bytes& image : {TwoByThreeImage(), ChunkImage({1, 2, 3, 4, 5, 6, 7, 8})}) {
        for (size_t size = 0; size < image.size(); ++size) {
            // An exactly-sized heap copy lets the sanitizers catch any read beyond it.
            Bytes prefix(image.begin(), image.begin() + static_cast<long>(size));
            prefix.shrink_to_fit();
            EXPECT_FALSE(LoadsFromImage(prefix)) << "prefix of " << size << " bytes";
        }
        EXPECT_TRUE(LoadsFromImage(image));
    }
}

TEST(FxBankRefusals, NewerVersionsWrongMagicsAndHugeSizeFieldsAreRefusedNotAllocated) {
    const struct {
        bool chunk;
        size_t offset;
        uint32_t value;
    } cases[] = {
        {false, 12, 2},             // version
        {false, 0, FourCC("CcnX")}, // the bank's magics
        {false, 8, FourCC("FxBX")},
        {false, 156, FourCC("CcnX")}, // the programs' magics
        {false, 164, FourCC("FxCX")},
        {false, 232, FourCC("FxCX")},
        {true, 156, 0xFFFFFFFF},       // chunk size
        {false, 156 + 24, 0x7FFFFFFF}, // parameter count
        {false, 156 + 24, 0xFFFFFFFF}, // a negative parameter count
        {false, 24, 0x7FFFFFFF},       // program count
    };
    for (const auto& c : cases) {
        Bytes image = c.chunk ? ChunkImage({1, 2, 3}) : TwoByThreeImage();
        files::StoreBigEndian32(image.data() + c.offset, c.value);
        EXPECT_FALSE(LoadsFromImage(image)) << c.offset << " = " << c.value;
    }
    Bytes version0 = TwoByThreeImage(); // files of older writers
    files::StoreBigEndian32(version0.data() + 12, 0);
    EXPECT_TRUE(LoadsFromImage(version0));
}

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
    EXPECT_EQ(test::ReadBytes(path).size(), 292u);

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
    EXPECT_EQ(test::MessageTexts(ui),
              (std::vector<std::string>{
                  "Loaded bank has another ID!",
                  "Loaded bank contains a formatless chunk, but the effect can't handle that!"}));
    EXPECT_EQ(ui.MessageBoxes()[0].caption, "Load Error");
}

} // namespace
} // namespace zorvil
