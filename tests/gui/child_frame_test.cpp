// The effects' information windows in the main frame, on Qt's offscreen platform: loading
// through the L key, the hidden window with its titles, programs, the "E&ffect" menu
// and its routing to the active effect, and closing (the window, New, the program's end), each
// of which unloads the effect.
#include "frame_test_support.h"
#include "gui/host/child_frame.h"
#include "gui/sequencer/effect_button_bar.h"
#include "support/test_support.h"

#include <QMdiArea>
#include <QPointer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <filesystem>

namespace zorvil::test {
namespace {

class ChildFrameTest : public FrameFixture {
protected:
    CChildFrame* InfoFrame(int slot) {
        return dynamic_cast<CChildFrame*>(App().EffectRecord(slot).frame);
    }
    // Loads the probe through the L key and the library dialog; its slot, or -1.
    int LoadProbe() {
        std::array<bool, CZorvilApp::kMaxEffects> before{};
        for (int slot = 0; slot < CZorvilApp::kMaxEffects; ++slot)
            before[slot] = App().Host().GetEffect(slot) != nullptr;
        m_ui.AnswerOpenFile(PluginPath("zorvil-probe"));
        QTest::keyClick(&Frame(), Qt::Key_L);
        for (int slot = 0; slot < CZorvilApp::kMaxEffects; ++slot)
            if (!before[slot] && App().Host().GetEffect(slot) != nullptr) return slot;
        return -1;
    }
    int ButtonState(int slot) { return Frame().EffectButtons()->State(slot); }
    static void DeleteClosedWindows() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

TEST_F(ChildFrameTest, AnEffectGetsAHiddenInformationWindowWithItsLinesTitleAndCommands) {
    const uint32_t effectCommands[] = {command::kRenamePreset,   command::kLoadBank,
                                       command::kSaveBank,       command::kSaveBankAs,
                                       command::kEditParameters, command::kMidiChannels};
    Frame().UpdateCommandStates();
    for (uint32_t id : effectCommands) // no effect window active
        EXPECT_FALSE(Enabled(id)) << id;
    const int slot = LoadProbe();
    ASSERT_GE(slot, 0);
    CChildFrame* frame = InfoFrame(slot);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->EffectIndex(), slot);
    EXPECT_TRUE(frame->isHidden());
    EXPECT_EQ(frame->windowTitle().toStdString(),
              std::to_string(slot) + " I: Zorvil Probe Program 0: Probe A");
    // The probe is an effect without an editor: no window of its own opens, its button says
    // "loaded, windows hidden".
    EXPECT_EQ(frame->ViewState(), CChildFrame::kViewHidden);
    EXPECT_EQ(ButtonState(slot), CEffectButtonBar::kHidden);
    EXPECT_EQ(frame->EditorWindow(), nullptr);
    EXPECT_EQ(frame->ParameterWindow(), nullptr);

    // A program chosen through the window, then one chosen behind its back that the user
    // interface reports (as a bank load does).
    EXPECT_TRUE(frame->OnEffectCommand(command::kFirstProgram + 1));
    EXPECT_THAT(frame->windowTitle().toStdString(), ::testing::EndsWith(" Program 1: Probe B"));
    App().Host().GetSeqEffect(slot)->Dispatch(effSetProgram, 0, 0, nullptr, 0.0f);
    m_qtUi.RefreshEffectWindows(slot);
    QCoreApplication::processEvents();
    EXPECT_THAT(frame->windowTitle().toStdString(), ::testing::EndsWith(" Program 0: Probe A"));

    // Brought up and active, its window enables the effect commands (no editor: no Edit).
    frame->show();
    Frame().MdiArea()->setActiveSubWindow(frame);
    ASSERT_EQ(Frame().ActiveEffectFrame(), frame);
    Frame().UpdateCommandStates();
    for (uint32_t id : effectCommands)
        EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_FALSE(Enabled(command::kOpenEditor));
    EXPECT_TRUE(frame->EffectCommandState(command::kPrograms).enabled); // two programs
    // "Save &As..." saves the active effect's bank where the user says.
    const std::string bank = m_folder.File("probe.fxb");
    m_ui.AnswerSaveFile(bank);
    Action(command::kSaveBankAs)->trigger();
    EXPECT_TRUE(std::filesystem::exists(bank));
    EXPECT_EQ(App().Host().GetSeqEffect(slot)->m_strBankFile, bank);
}

TEST_F(ChildFrameTest, ClosingTheWindowNewAndTheProgramsEndUnloadTheEffects) {
    Frame();
    ASSERT_TRUE(App().IsEngineRunning());
    const int first = LoadProbe();
    const int second = LoadProbe();
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    ASSERT_NE(first, second);
    QPointer<CChildFrame> firstFrame = InfoFrame(first);
    QPointer<CChildFrame> secondFrame = InfoFrame(second);

    // Closing the information window (57602) unloads its effect; the engine runs on.
    EXPECT_TRUE(firstFrame->OnEffectCommand(command::kCloseDocument));
    DeleteClosedWindows();
    EXPECT_TRUE(firstFrame.isNull());
    EXPECT_EQ(App().Host().GetEffect(first), nullptr);
    EXPECT_EQ(App().EffectRecord(first).frame, nullptr);
    EXPECT_EQ(ButtonState(first), CEffectButtonBar::kEmpty);
    EXPECT_EQ(App().LoadedEffectCount(), 1);
    EXPECT_TRUE(App().IsEngineRunning());

    // New removes an effect that has no window open, and its information window goes too.
    Frame().OnCommand(command::kNew);
    DeleteClosedWindows();
    EXPECT_TRUE(secondFrame.isNull());
    EXPECT_EQ(App().LoadedEffectCount(), 0);
    EXPECT_EQ(ButtonState(second), CEffectButtonBar::kEmpty);

    // The main window's end closes every effect.
    ASSERT_GE(LoadProbe(), 0);
    m_frame->close();
    EXPECT_EQ(App().LoadedEffectCount(), 0);
    EXPECT_EQ(App().Host().GetNextEffect(-1), -1);
}

} // namespace
} // namespace zorvil::test
