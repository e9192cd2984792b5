// Loading plug-ins through the real loader: entry names, the record checks, the calls that
// follow a successful load, and the slots.
#include "host/seq_host.h"
#include "probe_access.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

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

TEST(Loader, EntryNamedVSTPluginMainIsFoundAndPathAndDirectoryAreKept) {
    CSeqHost host;
    const std::string path = PluginPath("zorvil-probe-vstpluginmain");
    ASSERT_EQ(host.LoadPlugin(path), 0);
    EXPECT_EQ(host.GetEffect(0)->GetAEffect()->uniqueID, 0x5A507256); // 'ZPrV'
    EXPECT_EQ(host.GetEffect(0)->GetPath(), path);
    ASSERT_NE(host.GetEffect(0)->GetDirectory(), nullptr);
    EXPECT_STREQ(host.GetEffect(0)->GetDirectory(), ZORVIL_PLUGIN_DIR);
}

TEST(Loader, BrokenLibrariesAreRejectedWithoutTakingASlot) {
    const std::pair<std::string, LoadFailure> cases[] = {
        {PluginPath("zorvil-broken-magic"), LoadFailure::WrongMagic},
        {PluginPath("zorvil-broken-null"), LoadFailure::NullRecord},
        {PluginPath("zorvil-broken-noentry"), LoadFailure::NoEntry},
        {PluginPath("no-such-plugin"), LoadFailure::LibraryRefused},
        {test::SourcePath("README.md"), LoadFailure::LibraryRefused},
        // A bare name is a file in the current folder, never a system library.
        {"libc.so.6", LoadFailure::LibraryRefused},
    };
    for (const auto& [path, failure] : cases) {
        CSeqHost host;
        EXPECT_EQ(host.LoadPlugin(path), -1) << path;
        EXPECT_EQ(host.LastLoadFailure(), failure) << path;
        EXPECT_FALSE(host.LastLoadError().empty());
        EXPECT_EQ(host.SlotCount(), 0) << path;
    }
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

TEST(Host, OneHostAtATimeAndNoAnswersWithoutOne) {
    EXPECT_EQ(CEffectHost::AudioMasterCallback(nullptr, audioMasterVersion, 0, 0, nullptr, 0), 0);
    {
        CSeqHost host;
        EXPECT_THROW(CEffectHost second, std::logic_error);
        EXPECT_THROW(CSeqHost third, std::logic_error);
        // The first one still answers.
        EXPECT_EQ(CEffectHost::AudioMasterCallback(nullptr, audioMasterVersion, 0, 0, nullptr, 0),
                  2300);
    }
    EXPECT_EQ(CEffectHost::AudioMasterCallback(nullptr, audioMasterVersion, 0, 0, nullptr, 0), 0);

    CSeqEffect effect(nullptr); // a wrapper without a host refuses to load
    EXPECT_FALSE(effect.Load(PluginPath("zorvil-probe")));
    EXPECT_EQ(effect.GetLoadFailure(), LoadFailure::NoHost);
}

// A host that ignores audioMasterWantMidi, as if the plug-in never asked (VST 2.4 style).
class DeafToWantMidiHost : public CSeqHost {
public:
    intptr_t OnWantMidi(int, intptr_t) override { return 0; }
};

TEST(Loader, PlugInsAnsweringTheMidiCapabilityGetMidiWithoutAsking) {
    DeafToWantMidiHost host;
    const int slot = host.LoadPlugin(PluginPath("zorvil-probe"));
    ASSERT_EQ(slot, 0);
    // The probe answers effCanDo("receiveVstMidiEvent") with 1 (the last call of the load).
    EXPECT_TRUE(host.GetEffect(slot)->m_bWantMidi.load());
}

TEST(Loader, PlugInsThatNeitherAskNorAnswerGetNoMidi) {
    const char* effect = "/usr/lib/vst/3BandEQ-vst.so"; // DPF effect without MIDI input
    if (access(effect, R_OK) != 0) GTEST_SKIP() << "dpf-plugins-vst not installed";
    DeafToWantMidiHost host;
    const int slot = host.LoadPlugin(effect);
    ASSERT_EQ(slot, 0);
    EXPECT_FALSE(host.GetEffect(slot)->m_bWantMidi.load());
}

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
    EXPECT_EQ(host.LoadPlugin(PluginPath("zorvil-probe")), -1);
    EXPECT_EQ(host.LastLoadFailure(), LoadFailure::OpenFailed);
    EXPECT_EQ(host.GetNextEffect(-1), -1);
}

} // namespace
} // namespace zorvil
