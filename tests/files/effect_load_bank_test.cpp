// CEffect::LoadBank: a bank file is read, anything else is refused with an exception.
#include "files/fx_bank.h"
#include "host/seq_host.h"
#include "support/test_support.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

namespace zorvil {
namespace {

TEST(EffectLoadBank, ReadsABankAndThrowsForAnythingElse) {
    const std::string dir = ::testing::TempDir();
    const std::string good = dir + "zorvil-load-bank-good.fxb";
    const std::string bad = dir + "zorvil-load-bank-bad.fxb";

    CFxBank bank;
    bank.CreateParamBank(2, 3);
    ASSERT_TRUE(bank.SaveToFile(good));
    std::ofstream(bad, std::ios::binary) << "not a bank";

    CSeqHost host;
    const int slot = host.LoadPlugin(test::PluginPath("zorvil-probe"));
    ASSERT_GE(slot, 0);
    CEffect* effect = host.GetEffect(slot);
    EXPECT_NO_THROW(effect->LoadBank(good));
    EXPECT_THROW(effect->LoadBank(bad), std::runtime_error);
    EXPECT_THROW(effect->LoadBank(dir + "zorvil-load-bank-missing.fxb"), std::runtime_error);

    std::remove(good.c_str());
    std::remove(bad.c_str());
}

} // namespace
} // namespace zorvil
