// Bank files: the exact big-endian bytes, every refusal, and the reader's length checks.
#include "files/fx_bank.h"

#include "temp_dir.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>

namespace zorvil {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

uint32_t Be32(const std::vector<uint8_t>& bytes, size_t offset) {
    return (uint32_t{bytes[offset]} << 24) | (uint32_t{bytes[offset + 1]} << 16) |
           (uint32_t{bytes[offset + 2]} << 8) | bytes[offset + 3];
}

void PutBe32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    bytes[offset] = static_cast<uint8_t>(value >> 24);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 16);
    bytes[offset + 2] = static_cast<uint8_t>(value >> 8);
    bytes[offset + 3] = static_cast<uint8_t>(value);
}

std::string Magic(const std::vector<uint8_t>& bytes, size_t offset) {
    return {reinterpret_cast<const char*>(bytes.data() + offset), 4};
}

// The bank of a plug-in with 2 programs of 3 parameters, as its file image.
std::vector<uint8_t> TwoByThreeImage() {
    CFxBank bank;
    EXPECT_TRUE(bank.CreateParamBank(2, 3));
    bank.GetProgram(0).SetName("First");
    bank.GetProgram(1).SetName("Second");
    for (int32_t i = 0; i < 2; ++i)
        for (int32_t j = 0; j < 3; ++j)
            bank.GetProgram(i).SetParam(j, 0.25f * static_cast<float>(i + j));
    bank.SetIdentity(0x5A507262, 7);
    EXPECT_TRUE(bank.SaveToFile(kBankMemoryName));
    auto image = bank.GetMemoryImage();
    return {image.begin(), image.end()};
}

std::vector<uint8_t> ChunkImage(const std::vector<uint8_t>& chunk) {
    CFxBank bank;
    EXPECT_TRUE(bank.CreateChunkBank(chunk.size()));
    std::memcpy(bank.ChunkData().data(), chunk.data(), chunk.size());
    bank.SetIdentity(0x5A507243, 1);
    EXPECT_TRUE(bank.SaveToFile(kBankMemoryName));
    auto image = bank.GetMemoryImage();
    return {image.begin(), image.end()};
}

bool LoadsFromImage(const std::vector<uint8_t>& image) {
    CFxBank bank;
    bank.SetMemoryImage(image);
    return bank.LoadFromFile(kBankMemoryName);
}

TEST(FxBankLayout, TwoProgramsOfThreeParametersIs292BigEndianBytes) {
    const auto image = TwoByThreeImage();
    ASSERT_EQ(image.size(), 292u);
    EXPECT_EQ(Magic(image, 0), "CcnK");
    EXPECT_EQ(Be32(image, 4), 284u);
    EXPECT_EQ(Magic(image, 8), "FxBk");
    EXPECT_EQ(Be32(image, 12), 1u);
    EXPECT_EQ(Be32(image, 16), 0x5A507262u);
    EXPECT_EQ(Be32(image, 20), 7u);
    EXPECT_EQ(Be32(image, 24), 2u);
    for (size_t i = 28; i < 156; ++i)
        ASSERT_EQ(image[i], 0) << "future byte " << i;
    for (size_t p = 0; p < 2; ++p) {
        const size_t record = 156 + p * 68;
        EXPECT_EQ(Magic(image, record), "CcnK");
        EXPECT_EQ(Be32(image, record + 4), 60u);
        EXPECT_EQ(Magic(image, record + 8), "FxCk");
        EXPECT_EQ(Be32(image, record + 12), 1u);
        EXPECT_EQ(Be32(image, record + 16), 0x5A507262u);
        EXPECT_EQ(Be32(image, record + 20), 7u);
        EXPECT_EQ(Be32(image, record + 24), 3u);
        for (size_t j = 0; j < 3; ++j)
            EXPECT_EQ(Be32(image, record + 56 + 4 * j),
                      std::bit_cast<uint32_t>(0.25f * static_cast<float>(p + j)));
    }
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.data() + 156 + 28)), "First");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.data() + 224 + 28)), "Second");
}

TEST(FxBankLayout, FileRoundTripRestoresNamesAndValuesAndCutsNamesAt27) {
    TempDir dir;
    const auto image = TwoByThreeImage();
    WriteBytes(dir.File("a.fxb"), image);
    CFxBank bank;
    ASSERT_TRUE(bank.LoadFromFile(dir.File("a.fxb")));
    EXPECT_FALSE(bank.IsChunk());
    EXPECT_EQ(bank.FxId(), 0x5A507262);
    EXPECT_EQ(bank.NumPrograms(), 2);
    EXPECT_EQ(bank.GetProgram(1).Name(), "Second");
    EXPECT_EQ(bank.GetProgram(1).NumParams(), 3);
    EXPECT_EQ(bank.GetProgram(1).Param(2), 0.75f);
    ASSERT_TRUE(bank.SaveToFile(dir.File("b.fxb")));
    EXPECT_EQ(ReadBytes(dir.File("b.fxb")), image);
    // Names are cut at 27 characters, the terminator kept.
    bank.GetProgram(0).SetName("abcdefghijklmnopqrstuvwxyz0123");
    EXPECT_EQ(bank.GetProgram(0).Name(), "abcdefghijklmnopqrstuvwxyz0");
    EXPECT_EQ(bank.Data()[156 + 28 + 27], 0);
}

TEST(FxBankLayout, ChunkBytesAreNeverSwapped) {
    const std::vector<uint8_t> chunk = {'Z', 'P', 'C', '1', 1, 2, 3, 4, 5};
    const auto image = ChunkImage(chunk);
    ASSERT_EQ(image.size(), 160u + chunk.size());
    EXPECT_EQ(Magic(image, 8), "FBCh");
    EXPECT_EQ(Be32(image, 4), image.size() - 8);
    EXPECT_EQ(Be32(image, 24), 1u);
    EXPECT_EQ(Be32(image, 156), chunk.size());
    EXPECT_TRUE(std::equal(chunk.begin(), chunk.end(), image.begin() + 160));

    CFxBank bank;
    bank.SetMemoryImage(image);
    ASSERT_TRUE(bank.LoadFromFile(kBankMemoryName));
    EXPECT_TRUE(bank.IsChunk());
    EXPECT_FALSE(bank.GetProgram(0));
    const auto loaded = bank.ChunkData();
    EXPECT_EQ(std::vector<uint8_t>(loaded.begin(), loaded.end()), chunk);
}

TEST(FxBankRefusals, VersionAboveOneAndWrongMagicsAreRefused) {
    auto image = TwoByThreeImage();
    auto version2 = image;
    PutBe32(version2, 12, 2);
    EXPECT_FALSE(LoadsFromImage(version2));
    auto version0 = image; // files of older writers
    PutBe32(version0, 12, 0);
    EXPECT_TRUE(LoadsFromImage(version0));
    for (size_t offset : {size_t{0}, size_t{8}, size_t{156}, size_t{156 + 8}, size_t{224 + 8}}) {
        auto damaged = image;
        damaged[offset] ^= 0x20;
        EXPECT_FALSE(LoadsFromImage(damaged)) << "magic at " << offset;
    }
}

TEST(FxBankRefusals, EveryTruncationIsRefusedWithoutReadingPastTheEnd) {
    const auto bank = TwoByThreeImage();
    const auto chunk = ChunkImage({1, 2, 3, 4, 5, 6, 7, 8});
    for (const auto* image : {&bank, &chunk}) {
        for (size_t size = 0; size < image->size(); ++size) {
            // An exactly-sized heap copy lets the sanitizers catch any read beyond it.
            std::vector<uint8_t> prefix(image->begin(), image->begin() + static_cast<long>(size));
            prefix.shrink_to_fit();
            EXPECT_FALSE(LoadsFromImage(prefix)) << "prefix of " << size << " bytes";
        }
        EXPECT_TRUE(LoadsFromImage(*image));
    }
}

TEST(FxBankRefusals, HugeSizeFieldsAreRefusedNotAllocated) {
    auto chunk = ChunkImage({1, 2, 3});
    PutBe32(chunk, 156, 0xFFFFFFFF);
    EXPECT_FALSE(LoadsFromImage(chunk));

    auto params = TwoByThreeImage();
    PutBe32(params, 156 + 24, 0x7FFFFFFF);
    EXPECT_FALSE(LoadsFromImage(params));
    PutBe32(params, 156 + 24, 0xFFFFFFFF); // a negative parameter count
    EXPECT_FALSE(LoadsFromImage(params));

    auto programs = TwoByThreeImage();
    PutBe32(programs, 24, 0x7FFFFFFF);
    EXPECT_FALSE(LoadsFromImage(programs));
}

} // namespace
} // namespace zorvil
