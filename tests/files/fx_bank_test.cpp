// Bank files: the exact big-endian bytes, every refusal, and the reader's length checks.
#include "files/fx_bank.h"

#include "files/byte_order.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>

namespace zorvil {
namespace {

using Bytes = std::vector<uint8_t>;
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

} // namespace
} // namespace zorvil
