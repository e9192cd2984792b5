// Replays the committed fuzz corpora (and the inputs the fuzzers once found) through the fuzz
// targets' entry functions, so every build checks them without a fuzzer.
#include "fuzz_entries.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace zorvil::fuzz {
namespace {

using Entry = int (*)(const uint8_t*, size_t);

size_t ReplayCorpus(const std::string& name, Entry entry) {
    const std::filesystem::path folder = test::SourcePath("tests/fuzz/corpus/" + name);
    size_t count = 0;
    for (const auto& file : std::filesystem::directory_iterator(folder)) {
        std::ifstream in(file.path(), std::ios::binary);
        std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>()};
        bytes.shrink_to_fit(); // exactly sized, so the sanitizers see any read beyond it
        SCOPED_TRACE(file.path().string());
        entry(bytes.data(), bytes.size());
        // Every prefix as well: truncation is the commonest damage.
        for (size_t size = 0; size < bytes.size(); ++size) {
            std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<long>(size));
            entry(prefix.data(), prefix.size());
        }
        ++count;
    }
    return count;
}

TEST(FuzzCorpus, BankReader) {
    EXPECT_GT(ReplayCorpus("bank", &FuzzBankReader), 0u);
}
TEST(FuzzCorpus, ProjectReader) {
    EXPECT_GT(ReplayCorpus("project", &FuzzProjectReader), 0u);
}
TEST(FuzzCorpus, WaveReader) {
    EXPECT_GT(ReplayCorpus("wave", &FuzzWaveReader), 0u);
}

} // namespace
} // namespace zorvil::fuzz
