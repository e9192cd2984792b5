// Loading plug-ins through the real loader: entry names, the record checks, the calls that
// follow a successful load, the wrapper's buffers, and the slots.
#include "host/seq_host.h"
#include "probe_access.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <unistd.h>

namespace zorvil {
namespace {

using test::PluginPath;
using test::ProbeAccess;

TEST(Loader, LoadCallsFollowTheEntryInOrderAfterTheSlotIsHeld) {
    CSeqHost host;
    const int slot = host.LoadPlugin(PluginPath("zorvil-probe"));
    ASSERT_EQ(slot, 0);
    ProbeAccess probe("zorvil-probe");
    ASSERT_TRUE(probe.Valid());
    // During the entry the plug-in holds no slot: current id -1, want-MIDI refused. In effOpen
    // it holds its slot, so the same request is granted.
    EXPECT_EQ(probe.Log(*host.GetEffect(slot)), "host 1 0 0 -> 2300\n"
                                                "host 2 0 0 -> -1\n"
                                                "host 6 0 1 -> 0\n"
                                                "dispatch 10 0 0 44100\n"
                                                "dispatch 11 0 1024 0\n"
                                                "dispatch 0 0 0 0\n"
                                                "host 6 0 1 -> 1\n"
                                                "dispatch 12 0 1 0\n"
                                                "dispatch 51 0 0 0\n");
    EXPECT_TRUE(host.GetEffect(slot)->m_bWantMidi.load());
}

TEST(Loader, EntryNamedVSTPluginMainIsFound) {
    CSeqHost host;
    const int slot = host.LoadPlugin(PluginPath("zorvil-probe-vstpluginmain"));
    ASSERT_EQ(slot, 0);
    EXPECT_EQ(host.GetEffect(slot)->GetAEffect()->uniqueID, 0x5A507256); // 'ZPrV'
}

TEST(Loader, PathAndDirectoryAreKept) {
    CSeqHost host;
    const std::string path = PluginPath("zorvil-probe");
    const int slot = host.LoadPlugin(path);
    ASSERT_GE(slot, 0);
    EXPECT_EQ(host.GetEffect(slot)->GetPath(), path);
    ASSERT_NE(host.GetEffect(slot)->GetDirectory(), nullptr);
    EXPECT_STREQ(host.GetEffect(slot)->GetDirectory(), ZORVIL_PLUGIN_DIR);
}

TEST(Loader, BrokenLibrariesAreRejectedWithoutTakingASlot) {
    struct Case {
        const char* name;
        LoadFailure failure;
    };
    for (const Case& c : {Case{"zorvil-broken-magic", LoadFailure::WrongMagic},
                          Case{"zorvil-broken-null", LoadFailure::NullRecord},
                          Case{"zorvil-broken-noentry", LoadFailure::NoEntry},
                          Case{"no-such-plugin", LoadFailure::LibraryRefused}}) {
        CSeqHost host;
        EXPECT_EQ(host.LoadPlugin(PluginPath(c.name)), -1) << c.name;
        EXPECT_EQ(host.LastLoadFailure(), c.failure) << c.name;
        EXPECT_FALSE(host.LastLoadError().empty());
        EXPECT_EQ(host.SlotCount(), 0) << c.name;
        EXPECT_EQ(host.GetNextEffect(-1), -1);
    }
}

TEST(Loader, ABrokenLibraryLeavesTheRackAsItWas) {
    CSeqHost host;
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe")), 0);
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe-out1")), 1);
    ASSERT_TRUE(host.RemoveEffect(0));
    EXPECT_EQ(host.LoadPlugin(PluginPath("zorvil-broken-magic")), -1);
    EXPECT_EQ(host.SlotCount(), 2);
    EXPECT_EQ(host.GetEffect(0), nullptr); // the free slot is still free
    EXPECT_EQ(host.LoadPlugin(PluginPath("zorvil-probe")), 0);
}

TEST(Loader, FilesThatAreNoLibrariesAreRefused) {
    CSeqHost host;
    EXPECT_EQ(host.LoadPlugin(test::SourcePath("README.md")), -1);
    EXPECT_EQ(host.LastLoadFailure(), LoadFailure::LibraryRefused);
    // A bare name is a file in the current folder, never a system library.
    EXPECT_EQ(host.LoadPlugin("libc.so.6"), -1);
    EXPECT_EQ(host.LastLoadFailure(), LoadFailure::LibraryRefused);
}

TEST(Loader, TruncatedLibrariesAreRefusedOrLoadedButNeverCrash) {
    std::ifstream in(PluginPath("zorvil-probe"), std::ios::binary);
    const std::string library((std::istreambuf_iterator<char>(in)), {});
    ASSERT_GT(library.size(), 8192u);
    const std::string path =
        ::testing::TempDir() + "zorvil-" + std::to_string(getpid()) + "-truncated-probe.so";
    for (std::size_t size : {std::size_t{16}, std::size_t{64}, std::size_t{200}, std::size_t{4096},
                             library.size() / 2, library.size() - 4096}) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << library.substr(0, size);
        CSeqHost host;
        const int slot = host.LoadPlugin(path);
        if (size <= 4096) { // inside the mapped segments: refused before the loader maps it
            EXPECT_EQ(slot, -1) << size;
            EXPECT_EQ(host.LastLoadFailure(), LoadFailure::LibraryRefused) << size;
        }
    }
}

TEST(Loader, BuffersFollowTheCounts) {
    CSeqHost host;
    const int probe = host.LoadPlugin(PluginPath("zorvil-probe"));
    const int out1 = host.LoadPlugin(PluginPath("zorvil-probe-out1"));
    const int out0 = host.LoadPlugin(PluginPath("zorvil-probe-out0"));
    ASSERT_EQ(probe, 0);
    ASSERT_EQ(out1, 1);
    ASSERT_EQ(out0, 2);

    CSeqEffect& stereo = *host.GetSeqEffect(probe);
    EXPECT_EQ(stereo.m_nInputs, 2);
    EXPECT_EQ(stereo.m_nOutputs, 2);
    ASSERT_NE(stereo.m_ppInputs, nullptr);
    EXPECT_EQ(stereo.m_ppInputs[0], nullptr);
    EXPECT_EQ(stereo.m_ppInputs[1], nullptr);
    for (int k = 0; k < 2; ++k)
        for (int i = 0; i < CSeqEffect::kOutputBufferFrames; ++i)
            ASSERT_EQ(stereo.m_ppOutputs[k][i], 0.0f);
    EXPECT_EQ(stereo.m_wChannelMask.load(), 0xFFFF);
    EXPECT_TRUE(stereo.m_strBankFile.empty());
    EXPECT_EQ(stereo.m_pEditWnd, nullptr);
    EXPECT_EQ(stereo.m_pParamWnd, nullptr);

    EXPECT_EQ(host.GetSeqEffect(out1)->m_nOutputs, 1);
    EXPECT_EQ(host.GetSeqEffect(out1)->m_ppInputs, nullptr);
    EXPECT_EQ(host.GetSeqEffect(out0)->m_nOutputs, 0);
    EXPECT_EQ(host.GetSeqEffect(out0)->m_ppOutputs, nullptr);
}

TEST(Slots, HighestEmptySlotFirstThenAppendGrowingByFive) {
    CSeqHost host;
    const std::string path = PluginPath("zorvil-probe-out0");
    EXPECT_EQ(host.SlotCapacity(), 0);
    EXPECT_EQ(host.LoadPlugin(path), 0);
    EXPECT_EQ(host.SlotCapacity(), 5);
    EXPECT_EQ(host.LoadPlugin(path), 1);
    EXPECT_EQ(host.LoadPlugin(path), 2);
    ASSERT_TRUE(host.RemoveEffect(1));
    EXPECT_FALSE(host.RemoveEffect(1)); // already empty
    EXPECT_EQ(host.SlotCount(), 3);
    EXPECT_EQ(host.LoadPlugin(path), 1); // reuses the freed slot
    ASSERT_TRUE(host.RemoveEffect(0));
    ASSERT_TRUE(host.RemoveEffect(2));
    EXPECT_EQ(host.LoadPlugin(path), 2); // the highest empty one
    EXPECT_EQ(host.LoadPlugin(path), 0);
    EXPECT_EQ(host.LoadPlugin(path), 3); // none empty: appended
    EXPECT_EQ(host.LoadPlugin(path), 4);
    EXPECT_EQ(host.SlotCapacity(), 5);
    EXPECT_EQ(host.LoadPlugin(path), 5);
    EXPECT_EQ(host.SlotCapacity(), 10);
    EXPECT_EQ(host.SlotCount(), 6);

    host.RemoveAll();
    EXPECT_EQ(host.SlotCount(), 0);
    EXPECT_EQ(host.SlotCapacity(), 10); // never shrunk
    EXPECT_EQ(host.LoadPlugin(path), 0);
}

TEST(Slots, LookupsByIndexAndRecord) {
    CSeqHost host;
    const std::string path = PluginPath("zorvil-probe-out0");
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(host.LoadPlugin(path), i);
    ASSERT_TRUE(host.RemoveEffect(0));
    ASSERT_TRUE(host.RemoveEffect(2));
    EXPECT_EQ(host.GetEffect(-1), nullptr);
    EXPECT_EQ(host.GetEffect(0), nullptr);
    EXPECT_EQ(host.GetEffect(4), nullptr);
    EXPECT_EQ(host.GetEffect(99), nullptr);
    EXPECT_EQ(host.GetNextEffect(-1), 1);
    EXPECT_EQ(host.GetNextEffect(1), 3);
    EXPECT_EQ(host.GetNextEffect(3), -1);
    EXPECT_EQ(host.IndexOf(host.GetEffect(3)->GetAEffect()), 3);
    EXPECT_EQ(host.IndexOf(nullptr), -1);
    AEffect stranger{};
    EXPECT_EQ(host.IndexOf(&stranger), -1);
}

TEST(Slots, RemovingClosesThePlugIn) {
    CSeqHost host;
    const int slot = host.LoadPlugin(PluginPath("zorvil-probe"));
    ASSERT_EQ(slot, 0);
    CEffect* effect = host.GetEffect(slot);
    EXPECT_TRUE(effect->Unload());
    EXPECT_EQ(effect->GetAEffect(), nullptr);
    EXPECT_EQ(effect->GetDirectory(), nullptr);
    EXPECT_EQ(effect->Dispatch(effGetProgram), 0); // nothing loaded: 0
    EXPECT_EQ(effect->GetParameter(0), 0.0f);
    EXPECT_TRUE(host.RemoveEffect(slot));
}

TEST(Host, OnlyOneHostAtATime) {
    CSeqHost host;
    EXPECT_THROW(CEffectHost second, std::logic_error);
    EXPECT_THROW(CSeqHost third, std::logic_error);
    // The first one still answers.
    EXPECT_EQ(CEffectHost::AudioMasterCallback(nullptr, audioMasterVersion, 0, 0, nullptr, 0),
              2300);
}

TEST(Host, CallbackWithoutHostAnswersZero) {
    EXPECT_EQ(CEffectHost::AudioMasterCallback(nullptr, audioMasterVersion, 0, 0, nullptr, 0), 0);
    { CSeqHost host; }
    EXPECT_EQ(CEffectHost::AudioMasterCallback(nullptr, audioMasterVersion, 0, 0, nullptr, 0), 0);
}

TEST(Host, WrapperWithoutHostRefusesToLoad) {
    CSeqEffect effect(nullptr);
    EXPECT_FALSE(effect.Load(PluginPath("zorvil-probe")));
    EXPECT_EQ(effect.GetLoadFailure(), LoadFailure::NoHost);
    EXPECT_FALSE(effect.Unload());
}

} // namespace
} // namespace zorvil

namespace zorvil {
namespace {

// A host that ignores audioMasterWantMidi, as if the plug-in never asked (VST 2.4 style).
class DeafToWantMidiHost : public CSeqHost {
public:
    intptr_t OnWantMidi(int, intptr_t) override { return 0; }
};

TEST(Loader, PlugInsAnsweringTheMidiCapabilityGetMidiWithoutAsking) {
    DeafToWantMidiHost host;
    const int slot = host.LoadPlugin(test::PluginPath("zorvil-probe"));
    ASSERT_EQ(slot, 0);
    // The probe answers effCanDo("receiveVstMidiEvent") with 1, asked right after the four
    // load calls.
    EXPECT_TRUE(host.GetEffect(slot)->m_bWantMidi.load());
    test::ProbeAccess probe("zorvil-probe");
    const std::string log = probe.Log(*host.GetEffect(slot));
    EXPECT_EQ(log.substr(log.size() - std::string("dispatch 12 0 1 0\ndispatch 51 0 0 0\n").size()),
              "dispatch 12 0 1 0\ndispatch 51 0 0 0\n");
}

TEST(Loader, PlugInsThatNeitherAskNorAnswerGetNoMidi) {
    const char* effect = "/usr/lib/vst/3BandEQ-vst.so"; // DPF effect without MIDI input
    if (access(effect, R_OK) != 0) GTEST_SKIP() << "dpf-plugins-vst not installed";
    DeafToWantMidiHost host;
    const int slot = host.LoadPlugin(effect);
    ASSERT_EQ(slot, 0);
    EXPECT_FALSE(host.GetEffect(slot)->m_bWantMidi.load());
}

} // namespace
} // namespace zorvil

namespace zorvil {
namespace {

// Stands in for a plug-in whose effOpen throws (the wrapper passes the exception on as a
// plug-in's dispatcher would).
class ThrowingOpenEffect : public CSeqEffect {
public:
    using CSeqEffect::CSeqEffect;
    intptr_t Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                      float opt) override {
        if (opcode == effOpen) throw std::runtime_error("effOpen failed");
        return CSeqEffect::Dispatch(opcode, index, value, ptr, opt);
    }
};

class ThrowingOpenHost : public CSeqHost {
public:
    std::unique_ptr<CEffect> CreateEffect() override {
        return std::make_unique<ThrowingOpenEffect>(this);
    }
};

TEST(Loader, APlugInThatThrowsWhileOpeningIsNotKept) {
    ThrowingOpenHost host;
    EXPECT_EQ(host.LoadPlugin(test::PluginPath("zorvil-probe")), -1);
    EXPECT_EQ(host.LastLoadFailure(), LoadFailure::OpenFailed);
    EXPECT_EQ(host.GetNextEffect(-1), -1);
}

} // namespace
} // namespace zorvil
