// Replays the committed fuzz corpora through the fuzz targets' entry functions, so every build
// checks them without a fuzzer.
#include "fuzz_entries.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace zorvil::fuzz {
namespace {

TEST(FuzzCorpus, EveryFileAndEveryPrefixOfItPassesItsReader) {
    const struct {
        const char* folder;
        int (*entry)(const uint8_t*, size_t);
    } corpora[] = {
        {"bank", &FuzzBankReader}, {"project", &FuzzProjectReader}, {"wave", &FuzzWaveReader}};
    for (const auto& corpus : corpora) {
        size_t count = 0;
        const auto folder = test::SourcePath(std::string("tests/fuzz/corpus/") + corpus.folder);
        for (const auto& file : std::filesystem::directory_iterator(folder)) {
            SCOPED_TRACE(file.path().string());
            std::ifstream in(file.path(), std::ios::binary);
            const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
            // Every prefix too (truncation is the commonest damage), each exactly sized.
            for (size_t size = 0; size <= bytes.size(); ++size) {
                std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<long>(size));
                prefix.shrink_to_fit();
                corpus.entry(prefix.data(), prefix.size());
            }
            ++count;
        }
        EXPECT_GT(count, 0u) << corpus.folder;
    }
}

} // namespace
} // namespace zorvil::fuzz
