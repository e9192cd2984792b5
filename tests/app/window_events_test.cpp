// Plug-ins' window notifications on their way to the effect's frame: delivered on the thread
// that drains them, in order, to the frame of the effect that posted them, never to the frame of
// an effect loaded into the slot since; an overflow turns into a whole refresh; editor idle asked
// from a plug-in's thread. (Automation from the engine while a window comes and goes: the
// parameter window's tests.)
#include "app_test_support.h"
#include "host/probe_access.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace zorvil::test {
namespace {

// A frame that records the notifications it received, one word each.
class RecordingFrame : public IEffectFrame {
public:
    void CloseEffectViews() override {}
    void ShowEffectWindows(bool) override {}
    void OnEditorSizeRequested(int width, int height) override {
        log.push_back("size " + std::to_string(width) + "x" + std::to_string(height));
    }
    void OnDisplayUpdateRequested() override { log.emplace_back("display"); }
    void OnParameterAutomated(int index) override {
        log.push_back("automated " + std::to_string(index));
    }
    void OnEffectChanged() override { log.emplace_back("changed"); }

    std::vector<std::string> log;
};

using Log = std::vector<std::string>;

class WindowEvents : public AppFixture {
protected:
    int Load(RecordingFrame& frame) {
        const int slot = App().LoadEffect(PluginPath("zorvil-probe"));
        if (slot >= 0) App().AttachEffectFrame(slot, &frame);
        return slot;
    }
    CEffect& Effect(int slot) { return *App().Host().GetEffect(slot); }

    std::atomic<int> m_wakes{0};
};

TEST_F(WindowEvents, ReachTheFrameOfTheEffectThatPostedThem) {
    App().SetUiWaker([this] { ++m_wakes; });
    RecordingFrame first, second, third;
    const int slot = Load(first);
    ASSERT_GE(slot, 0);
    const ProbeAccess probe("zorvil-probe");
    ASSERT_TRUE(probe.Valid());
    const int other = Load(second);
    ASSERT_GE(other, 0);

    EXPECT_EQ(probe.CallHost(Effect(slot), audioMasterSizeWindow, 300, 200), 1);
    EXPECT_EQ(probe.CallHost(Effect(other), audioMasterAutomate, 7, 0, nullptr, 0.25f), 0);
    EXPECT_EQ(probe.CallHost(Effect(slot), audioMasterUpdateDisplay), 0);
    EXPECT_EQ(probe.CallHost(Effect(slot), audioMasterAutomate, 3, 0, nullptr, 0.5f), 0);
    EXPECT_TRUE(first.log.empty()); // nothing before the drain
    EXPECT_EQ(m_wakes.load(), 1);   // one wake-up for the batch
    EXPECT_TRUE(App().ProcessPosted());
    EXPECT_EQ(first.log, (Log{"size 300x200", "display", "automated 3"}));
    EXPECT_EQ(second.log, (Log{"automated 7"}));
    EXPECT_FALSE(App().ProcessPosted()); // drained

    // Posted by an effect that is unloaded before the drain: a new effect in the same slot,
    // with a new frame, never sees it; nor does a slot without a frame get anything.
    first.log.clear();
    EXPECT_EQ(probe.CallHost(Effect(slot), audioMasterAutomate, 1, 0, nullptr, 0.5f), 0);
    App().UnloadEffect(slot);
    ASSERT_EQ(Load(third), slot);
    App().AttachEffectFrame(other, nullptr);
    EXPECT_EQ(probe.CallHost(Effect(other), audioMasterUpdateDisplay), 0);
    EXPECT_EQ(m_wakes.load(), 2);
    App().ProcessPosted();
    EXPECT_TRUE(first.log.empty());
    EXPECT_TRUE(third.log.empty());
    EXPECT_EQ(second.log, (Log{"automated 7"}));

    // More than the mailbox holds before a drain: what fits arrives, then one whole refresh
    // stands for what was dropped.
    const auto posts = static_cast<int>(CWindowMailbox::kCapacity) + 5;
    for (int i = 0; i < posts; ++i)
        probe.CallHost(Effect(slot), audioMasterAutomate, i, 0, nullptr, 0.0f);
    App().ProcessPosted();
    ASSERT_EQ(third.log.size(), CWindowMailbox::kCapacity + 1);
    EXPECT_EQ(third.log.front(), "automated 0");
    EXPECT_EQ(third.log[CWindowMailbox::kCapacity - 1],
              "automated " + std::to_string(CWindowMailbox::kCapacity - 1));
    EXPECT_EQ(third.log.back(), "changed");
    third.log.clear();
    App().ProcessPosted();
    EXPECT_TRUE(third.log.empty()); // the overflow is reported once
}

// A plug-in asking the host to idle the editors from a thread of its own: the editors get
// their idle call on the thread that drains, once however often it asked; asked on that thread,
// at once.
TEST_F(WindowEvents, EditorIdleAskedFromAnotherThreadRunsWhereTheWindowsLive) {
    RecordingFrame frame;
    const int slot = Load(frame);
    ASSERT_GE(slot, 0);
    const ProbeAccess probe("zorvil-probe");
    ASSERT_TRUE(probe.Valid());
    Effect(slot).m_bEditorOpen.store(true);
    auto editorIdles = [&] {
        const std::string log = probe.Log(Effect(slot));
        size_t count = 0;
        for (size_t at = log.find("dispatch 19 "); at != std::string::npos;
             at = log.find("dispatch 19 ", at + 1))
            ++count;
        return count;
    };
    std::thread([&] {
        for (int i = 0; i < 3; ++i)
            probe.CallHost(Effect(slot), audioMasterIdle);
    }).join();
    EXPECT_EQ(editorIdles(), 0u);
    EXPECT_TRUE(App().ProcessPosted());
    EXPECT_EQ(editorIdles(), 1u);
    probe.CallHost(Effect(slot), audioMasterIdle);
    EXPECT_EQ(editorIdles(), 2u);
    EXPECT_TRUE(frame.log.empty());
}

} // namespace
} // namespace zorvil::test
