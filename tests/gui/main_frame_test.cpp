// The main frame on Qt's offscreen platform: its first activation, bars, menus and commands, the
// update pass while playing and in command-line mode, the keys, the status panes, the tempo
// bar's wrapping spins with undo, New, and the effect buttons' states.
#include "frame_test_support.h"
#include "gui/app/command_table.h"
#include "gui/app/images.h"
#include "gui/sequencer/effect_button_bar.h"
#include "gui/sequencer/seq_frame.h"
#include "gui/sequencer/tempo_bar.h"
#include "host/probe_access.h"
#include "sequencer/pattern_history.h"
#include "support/test_support.h"

#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QToolBar>
#include <QToolButton>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace zorvil::test {
namespace {

using ::testing::ElementsAre;

class MainFrameTest : public FrameFixture {
protected:
    QAction* Action(uint32_t id) { return Frame().Commands().Action(id); }
    bool Enabled(uint32_t id) { return Action(id)->isEnabled(); }
    void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(&Frame(), static_cast<Qt::Key>(key), modifiers);
    }
    std::string Text(QAction* action) { return action->text().toStdString(); }
    std::string PositionPane() {
        return Frame().StatusPanes().PositionPane()->text().toStdString();
    }
    // The values the tempo bar shows.
    std::vector<int> Shown() {
        const CTempoBar* bar = Frame().TempoBar();
        return {bar->Tempo()->value(), bar->Measures()->value(), bar->Steps()->value()};
    }
};

TEST_F(MainFrameTest, FirstActivationSizesTheWindowAndOpensTheSequencerOnce) {
    CMainFrame& frame = Frame();
    EXPECT_TRUE(frame.FirstActivationDone());
    EXPECT_EQ(frame.size(), QSize(788, 585));
    EXPECT_EQ(frame.pos(), QPoint(40, 30));
    CSeqFrame* sequencer = frame.SeqFrame();
    ASSERT_NE(sequencer, nullptr);
    EXPECT_EQ(sequencer->windowTitle(), "Pattern Sequencer");
    EXPECT_EQ(sequencer->geometry(), QRect(0, 0, 786, 510));
    EXPECT_FALSE(sequencer->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(sequencer->windowFlags().testFlag(Qt::WindowMinMaxButtonsHint));
    EXPECT_NE(frame.SeqView(), nullptr);
    EXPECT_EQ(frame.windowTitle(), "Zorvil by Ostrelworks");

    // The sequencer does not close; moved away, its next activation puts it back.
    sequencer->close();
    EXPECT_TRUE(sequencer->isVisible());
    sequencer->move(100, 50);
    frame.MdiArea()->setActiveSubWindow(nullptr);
    frame.MdiArea()->setActiveSubWindow(sequencer);
    EXPECT_EQ(sequencer->geometry(), QRect(0, 0, 786, 510));

    // A second activation changes neither the size nor the sequencer.
    frame.resize(600, 400);
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&frame, &activate);
    EXPECT_EQ(frame.size(), QSize(600, 400));
    EXPECT_EQ(frame.SeqFrame(), sequencer);
    EXPECT_EQ(frame.MdiArea()->subWindowList().size(), 1);
}

TEST_F(MainFrameTest, BarsMenusBackgroundAndPrompts) {
    CMainFrame& frame = Frame();
    // The four bars in order, left to right and top to bottom.
    const QList<QToolBar*> found = frame.findChildren<QToolBar*>();
    std::vector<QToolBar*> bars(found.begin(), found.end());
    std::sort(bars.begin(), bars.end(), [](QToolBar* a, QToolBar* b) {
        return std::pair(a->y(), a->x()) < std::pair(b->y(), b->x());
    });
    std::vector<std::string> names;
    for (QToolBar* bar : bars)
        names.push_back(bar->objectName().toStdString());
    EXPECT_THAT(names,
                ElementsAre("fileToolBar", "transportToolBar", "tempoToolBar", "effectToolBar"));
    auto buttons = [](QToolBar* bar) {
        std::vector<uint32_t> ids;
        for (QAction* action : bar->actions())
            ids.push_back(action->isSeparator() ? 0 : CCommands::IdOf(action));
        return ids;
    };
    EXPECT_THAT(buttons(frame.FileToolBar()), ElementsAre(32798, 32799, 32801, 0, 32802));
    EXPECT_THAT(buttons(frame.TransportToolBar()), ElementsAre(32805, 32806, 32809));

    std::vector<std::string> menus;
    for (QAction* menu : frame.menuBar()->actions())
        menus.push_back(Text(menu));
    EXPECT_THAT(menus, ElementsAre("&File", "&Edit", "&Sequencer", "&Options", "E&ffect", "&Window",
                                   "&Help"));
    std::vector<std::string> file;
    for (QAction* item : frame.menuBar()->actions()[0]->menu()->actions())
        file.push_back(item->isSeparator() ? "-" : Text(item));
    EXPECT_THAT(file, ElementsAre("&New", "&Open...", "-", "&Save", "Save &As...", "-",
                                  "Render To &Wave", "Export As &Midi File", "-", "E&xit"));
    EXPECT_EQ(Action(command::kRedo)->shortcuts(),
              (QList<QKeySequence>{QKeySequence("Ctrl+Shift+Z"), QKeySequence("Ctrl+Y")}));

    // The window menu: Cascade and the child windows, the active one checked.
    QMenu* window = frame.menuBar()->actions()[5]->menu();
    emit window->aboutToShow();
    ASSERT_EQ(window->actions().size(), 3);
    EXPECT_EQ(Text(window->actions()[2]), "&1 Pattern Sequencer");
    EXPECT_TRUE(window->actions()[2]->isChecked());

    // Prompts in the message pane, tool tips after the line break.
    EXPECT_EQ(Action(command::kNew)->statusTip(), "Create a empty tsn project");
    EXPECT_EQ(Action(command::kNew)->toolTip(), "New tsn project");
    EXPECT_EQ(frame.statusBar()->currentMessage(), "Ready");
    QStatusTipEvent prompt(Action(command::kSave)->statusTip());
    QApplication::sendEvent(&frame, &prompt);
    EXPECT_EQ(frame.statusBar()->currentMessage(), "Save the tsn project to file");
    QStatusTipEvent none{QString()};
    QApplication::sendEvent(&frame, &none);
    EXPECT_EQ(frame.statusBar()->currentMessage(), "Ready");

    // The tiled background.
    EXPECT_EQ(frame.MdiArea()->background().texture().size(), QSize(400, 400));
}

TEST_F(MainFrameTest, CommandStatesWhilePlaying) {
    const std::vector<uint32_t> stoppedOnly = {command::kNew,          command::kOpen,
                                               command::kSave,         command::kSaveAs,
                                               command::kRenderToWave, command::kGoToStart};
    Frame();
    for (uint32_t id : stoppedOnly)
        EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_FALSE(Action(command::kPlay)->isChecked());
    EXPECT_TRUE(Frame().TempoBar()->isEnabled());

    Frame().OnCommand(command::kPlay);
    for (uint32_t id : stoppedOnly)
        EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_TRUE(Action(command::kPlay)->isChecked());
    EXPECT_TRUE(Enabled(command::kPause));
    EXPECT_TRUE(Enabled(command::kExportMidi));
    EXPECT_FALSE(Frame().TempoBar()->isEnabled());
    EXPECT_FALSE(Enabled(command::kAsioPanel));

    Frame().OnCommand(command::kPause);
    for (uint32_t id : stoppedOnly)
        EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_TRUE(Frame().TempoBar()->isEnabled());
}

TEST_F(MainFrameTest, CommandLineModeDisablesTheProjectCommands) {
    Frame("0 0 " + m_folder.File("out.wav") + " " + m_folder.File("none.tsn") + " 140");
    for (uint32_t id : {command::kNew, command::kOpen, command::kSave, command::kSaveAs})
        EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_TRUE(Enabled(command::kRenderToWave));
    // The command line's tempo, one measure of 32 steps, shown in the tempo bar.
    EXPECT_THAT(Shown(), ElementsAre(140, 1, 32));
}

TEST_F(MainFrameTest, KeysDriveTheTransportAndThePositionPane) {
    Frame();
    App().Pattern().SetStepsPerMeasure(16);
    App().Pattern().SetPosition(21);
    Frame().UpdateCommandStates();
    EXPECT_EQ(PositionPane(), "  Measure : 2  -  Step : 6");

    Press(Qt::Key_Space);
    EXPECT_TRUE(App().Pattern().IsPlaying());
    Press(Qt::Key_0, Qt::KeypadModifier); // while playing: nothing
    EXPECT_NE(App().Pattern().GetPosition(), 0);
    Press(Qt::Key_Space);
    EXPECT_FALSE(App().Pattern().IsPlaying());
    Press(Qt::Key_0, Qt::KeypadModifier);
    EXPECT_EQ(App().Pattern().GetPosition(), 0);
    EXPECT_EQ(PositionPane(), "  Measure : 1  -  Step : 1");
    // The plain 0 is no transport key.
    App().Pattern().SetPosition(5);
    Press(Qt::Key_0);
    EXPECT_EQ(App().Pattern().GetPosition(), 5);

    // L asks for a plug-in.
    QSignalSpy load(&Frame(), &CMainFrame::loadEffectRequested);
    Press(Qt::Key_L);
    EXPECT_EQ(load.count(), 1);
}

TEST_F(MainFrameTest, TheMidiLightShowsMidiSinceTheLastTick) {
    Frame();
    EXPECT_FALSE(Frame().StatusPanes().MidiLightLit());
    std::thread midi([this] { m_qtUi.SignalMidiActivity(); }); // the MIDI input's thread
    midi.join();
    Frame().OnIdleTimer();
    EXPECT_TRUE(Frame().StatusPanes().MidiLightLit());
    Frame().OnIdleTimer();
    EXPECT_FALSE(Frame().StatusPanes().MidiLightLit());
    // Offscreen there is no X server to ask: the lock panes stay empty.
    EXPECT_EQ(Frame().StatusPanes().CapsPane()->text(), "");
}

TEST_F(MainFrameTest, IdleCallsGoOnlyToEffectsThatAskedAndToOpenEditors) {
    Frame();
    const int slot = App().LoadEffect(PluginPath("zorvil-probe"));
    ASSERT_GE(slot, 0);
    ProbeAccess probe("zorvil-probe");
    ASSERT_TRUE(probe.Valid());
    CSeqEffect& effect = *App().Host().GetSeqEffect(slot);
    probe.Clear(effect);
    Frame().OnIdleTimer();
    EXPECT_EQ(probe.Log(effect), "");
    EXPECT_FALSE(Frame().EditIdleTimer().isActive());
    effect.m_bNeedIdle.store(true);
    Frame().OnIdleTimer();
    EXPECT_EQ(probe.Log(effect), "dispatch 53 0 0 0\n"); // effIdle

    // An open editor: the 100 ms tick starts the editor timer (about 60 a second), whose ticks
    // send effEditIdle only; it stops at the first tick after the editor closed.
    effect.m_bEditorOpen.store(true);
    probe.Clear(effect);
    Frame().OnIdleTimer();
    EXPECT_EQ(probe.Log(effect), "dispatch 53 0 0 0\ndispatch 19 0 0 0\n");
    EXPECT_TRUE(Frame().EditIdleTimer().isActive());
    EXPECT_EQ(Frame().EditIdleTimer().interval(), CMainFrame::kEditIdleTimerMs);
    probe.Clear(effect);
    Frame().OnEditIdleTimer();
    EXPECT_EQ(probe.Log(effect), "dispatch 19 0 0 0\n");
    effect.m_bEditorOpen.store(false);
    probe.Clear(effect);
    Frame().OnEditIdleTimer();
    EXPECT_EQ(probe.Log(effect), "");
    EXPECT_FALSE(Frame().EditIdleTimer().isActive());
}

TEST_F(MainFrameTest, SpinsWrapRecordUndoStepsAndRefuseWhilePlaying) {
    Frame();
    CTempoBar* bar = Frame().TempoBar();
    EXPECT_THAT(Shown(), ElementsAre(120, 2, 16));
    auto step = [](CWrapSpinBox* spin, Qt::Key key) { QTest::keyClick(spin, key); };

    App().SetSequencerValues(303, 8, 32);
    step(bar->Tempo(), Qt::Key_Up);
    step(bar->Measures(), Qt::Key_Up);
    step(bar->Steps(), Qt::Key_Up);
    EXPECT_THAT(Shown(), ElementsAre(30, 1, 2));
    EXPECT_EQ(App().Pattern().GetTempo(), 30);
    EXPECT_EQ(App().Host().TimeInfo().tempo, 30.0); // the plug-ins follow
    EXPECT_EQ(App().Pattern().GetTotalSteps(), 2);
    step(bar->Tempo(), Qt::Key_Down);
    step(bar->Measures(), Qt::Key_Down);
    step(bar->Steps(), Qt::Key_Down);
    EXPECT_THAT(Shown(), ElementsAre(303, 8, 32));
    App().SetSequencerValues(120, 2, 4);
    step(bar->Steps(), Qt::Key_Down);
    EXPECT_EQ(bar->Steps()->value(), 2);
    App().SetSequencerValues(120, 2, 16);
    step(bar->Steps(), Qt::Key_Up);
    EXPECT_EQ(App().Pattern().GetStepsPerMeasure(), 18);

    // Each step is one undo step; undo brings the bar, the pattern and the plug-ins' tempo back.
    step(bar->Tempo(), Qt::Key_Up);
    EXPECT_TRUE(Enabled(command::kUndo));
    Press(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(bar->Tempo()->value(), 120);
    EXPECT_EQ(App().Host().TimeInfo().tempo, 120.0);
    Press(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(bar->Steps()->value(), 16);
    Press(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(bar->Steps()->value(), 18);
    Press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(bar->Tempo()->value(), 121);
    EXPECT_FALSE(Enabled(command::kRedo));

    // While playing a step changes nothing (and the bar is disabled).
    Frame().OnCommand(command::kPlay);
    bar->Tempo()->stepBy(1);
    EXPECT_EQ(bar->Tempo()->value(), 121);
    EXPECT_EQ(App().Pattern().GetTempo(), 121);
    EXPECT_FALSE(bar->isEnabled());
    Frame().OnCommand(command::kPause);
}

TEST_F(MainFrameTest, NewEmptiesThePatternShowsTheDefaultsAndHidesTheEffectButtons) {
    Frame();
    App().Pattern().AddNote(0, 60, 100, 2);
    Frame().TempoBar()->Tempo()->stepBy(5);
    ASSERT_GE(App().LoadEffect(PluginPath("zorvil-synth")), 0);
    EXPECT_TRUE(Frame().EffectButtons()->SlotButton(0)->isVisibleTo(&Frame()));

    Frame().OnCommand(command::kPlay);
    Press(Qt::Key_N, Qt::ControlModifier); // disabled while playing
    EXPECT_EQ(App().Pattern().GetNoteCount(), 1);
    Frame().OnCommand(command::kPause);

    Press(Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(App().Pattern().GetNoteCount(), 0);
    EXPECT_THAT(Shown(), ElementsAre(120, 2, 16));
    EXPECT_FALSE(Frame().EffectButtons()->SlotButton(0)->isVisibleTo(&Frame()));
    EXPECT_TRUE(Frame().EffectButtons()->LoadButton()->isVisibleTo(&Frame()));
    EXPECT_FALSE(Enabled(command::kUndo)); // New clears the history
    EXPECT_EQ(Frame().windowTitle(), "Zorvil by Ostrelworks");
}

TEST_F(MainFrameTest, EffectButtonStatesAndTheirRangeMessages) {
    CMainFrame& frame = Frame();
    CEffectButtonBar* buttons = frame.EffectButtons();
    frame.SetEffectButtonState(2, 2);
    EXPECT_TRUE(buttons->SlotButton(2)->isVisibleTo(&frame));
    EXPECT_EQ(buttons->SlotButton(2)->icon().pixmap(14, 14).toImage(),
              images::EffectButton(2, true).toImage());
    frame.SetEffectButtonState(2, 1);
    EXPECT_EQ(buttons->SlotButton(2)->icon().pixmap(14, 14).toImage(),
              images::EffectButton(2, false).toImage());
    frame.SetEffectButtonState(2, 0);
    EXPECT_FALSE(buttons->SlotButton(2)->isVisibleTo(&frame));

    const auto ok = [](QWidget* modal) { ClickButton(modal, QMessageBox::Ok); };
    ModalAnswers answers({ok, ok});
    frame.SetEffectButtonState(0, 3);
    frame.SetEffectButtonState(4, 1);
    ASSERT_EQ(answers.Boxes().size(), 2u);
    EXPECT_EQ(answers.Boxes()[0].text, "Vst effect 1 state out of range");
    EXPECT_EQ(answers.Boxes()[0].caption, "Zorvil");
    EXPECT_EQ(answers.Boxes()[1].text, "Vst effect number out of range");
    EXPECT_EQ(buttons->State(0), CEffectButtonBar::kEmpty);
}

TEST_F(MainFrameTest, TheAboutBox) {
    Frame();
    std::string caption;
    std::vector<std::string> lines;
    ModalAnswers answers({[&](QWidget* modal) {
        caption = modal->windowTitle().toStdString();
        for (QLabel* label : modal->findChildren<QLabel*>())
            if (!label->text().isEmpty()) lines.push_back(label->text().toStdString());
        qobject_cast<QDialog*>(modal)->accept();
    }});
    Frame().OnCommand(command::kAbout);
    EXPECT_EQ(caption, "About Zorvil");
    EXPECT_THAT(lines, ElementsAre("Zorvil version 0.9c", "VST PlugIn Technology by Steinberg"));
}

} // namespace
} // namespace zorvil::test
