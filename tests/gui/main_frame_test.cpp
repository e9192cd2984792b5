// The main frame on Qt's offscreen platform: its first activation, its commands, the
// update pass while playing, the keys, the status panes, the tempo bar's wrapping spins with
// undo, New, the effect buttons' states, and the program in batch-render mode.
#include "files/project_file.h"
#include "files/render_plan.h"
#include "files/wave_file.h"
#include "frame_test_support.h"
#include "gui/app/command_table.h"
#include "gui/app/zorvil_program.h"
#include "gui/sequencer/effect_button_bar.h"
#include "gui/sequencer/seq_frame.h"
#include "gui/sequencer/tempo_bar.h"
#include "host/probe_access.h"
#include "support/test_support.h"

#include <QLabel>
#include <QMdiArea>
#include <QSignalSpy>
#include <QStatusBar>
#include <QToolButton>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

namespace zorvil::test {
namespace {

using ::testing::ElementsAre;

class MainFrameTest : public FrameFixture {
protected:
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
    EXPECT_EQ(frame.size(), QSize(788, 585));
    CSeqFrame* sequencer = frame.SeqFrame();
    ASSERT_NE(sequencer, nullptr);
    EXPECT_EQ(sequencer->geometry(), QRect(0, 0, 786, 510));
    sequencer->close(); // the sequencer does not close
    EXPECT_TRUE(sequencer->isVisible());

    // A second activation changes neither the size nor the sequencer.
    frame.resize(600, 400);
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&frame, &activate);
    EXPECT_EQ(frame.size(), QSize(600, 400));
    EXPECT_EQ(frame.MdiArea()->subWindowList().size(), 1);
}

// Space plays and stops, keypad 0 goes to the start; while playing the project commands,
// keypad 0 and the tempo bar do nothing.
TEST_F(MainFrameTest, KeysAndCommandStatesWhilePlayingAndStopped) {
    const uint32_t stoppedOnly[] = {command::kNew,    command::kOpen,         command::kSave,
                                    command::kSaveAs, command::kRenderToWave, command::kGoToStart};
    Frame();
    App().Pattern().AddNote(0, 60, 100, 2);
    App().Pattern().SetStepsPerMeasure(16);
    App().Pattern().SetPosition(21);
    Frame().UpdateCommandStates();
    EXPECT_EQ(PositionPane(), "  Measure : 2  -  Step : 6");

    Press(Qt::Key_Space);
    ASSERT_TRUE(App().Pattern().IsPlaying());
    for (uint32_t id : stoppedOnly)
        EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_FALSE(Frame().TempoBar()->isEnabled());
    Press(Qt::Key_0, Qt::KeypadModifier);
    EXPECT_NE(App().Pattern().GetPosition(), 0);

    Press(Qt::Key_Space);
    EXPECT_FALSE(App().Pattern().IsPlaying());
    for (uint32_t id : stoppedOnly)
        EXPECT_TRUE(Enabled(id)) << id;
    Press(Qt::Key_0, Qt::KeypadModifier);
    EXPECT_EQ(App().Pattern().GetPosition(), 0);
    EXPECT_EQ(PositionPane(), "  Measure : 1  -  Step : 1");
    // The plain 0 is no transport key.
    App().Pattern().SetPosition(5);
    Press(Qt::Key_0);
    EXPECT_EQ(App().Pattern().GetPosition(), 5);
}

// The 100 ms tick: the MIDI light shows MIDI since the last tick; idle calls go only to effects
// that asked and to open editors.
TEST_F(MainFrameTest, TheIdleTickLightsForMidiAndCallsOnlyEffectsThatAskedAndOpenEditors) {
    Frame();
    std::thread midi([this] { m_qtUi.SignalMidiActivity(); }); // the MIDI input's thread
    midi.join();
    Frame().OnIdleTimer();
    EXPECT_TRUE(Frame().StatusPanes().MidiLightLit());
    Frame().OnIdleTimer();
    EXPECT_FALSE(Frame().StatusPanes().MidiLightLit());

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

    // An open editor: the 100 ms tick starts the editor timer, whose ticks send effEditIdle
    // only; it stops at the first tick after the editor closed.
    effect.m_bEditorOpen.store(true);
    probe.Clear(effect);
    Frame().OnIdleTimer();
    EXPECT_EQ(probe.Log(effect), "dispatch 53 0 0 0\ndispatch 19 0 0 0\n");
    EXPECT_TRUE(Frame().EditIdleTimer().isActive());
    probe.Clear(effect);
    Frame().OnEditIdleTimer();
    EXPECT_EQ(probe.Log(effect), "dispatch 19 0 0 0\n");
    effect.m_bEditorOpen.store(false);
    probe.Clear(effect);
    Frame().OnEditIdleTimer();
    EXPECT_EQ(probe.Log(effect), "");
    EXPECT_FALSE(Frame().EditIdleTimer().isActive());
}

TEST_F(MainFrameTest, SpinsWrapAndRecordUndoSteps) {
    Frame();
    CTempoBar* bar = Frame().TempoBar();
    auto step = [&](Qt::Key key) {
        for (CWrapSpinBox* spin : {bar->Tempo(), bar->Measures(), bar->Steps()})
            QTest::keyClick(spin, key);
    };
    App().SetSequencerValues(303, 8, 32);
    step(Qt::Key_Up);
    EXPECT_THAT(Shown(), ElementsAre(30, 1, 2));
    EXPECT_EQ(App().Host().TimeInfo().tempo, 30.0); // the plug-ins follow
    step(Qt::Key_Down);
    EXPECT_THAT(Shown(), ElementsAre(303, 8, 32));
    App().SetSequencerValues(120, 2, 16);
    QTest::keyClick(bar->Steps(), Qt::Key_Up);
    EXPECT_EQ(App().Pattern().GetStepsPerMeasure(), 18); // steps move by 2

    // Each step is one undo step; undo brings the bar, the pattern and the plug-ins' tempo back.
    QTest::keyClick(bar->Tempo(), Qt::Key_Up);
    Press(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(bar->Tempo()->value(), 120);
    EXPECT_EQ(App().Host().TimeInfo().tempo, 120.0);
    Press(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(bar->Steps()->value(), 16);
    Press(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(bar->Steps()->value(), 18);
}

TEST_F(MainFrameTest, NewEmptiesThePatternShowsTheDefaultsAndHidesTheEffectButtons) {
    Frame();
    App().Pattern().AddNote(0, 60, 100, 2);
    Frame().TempoBar()->Tempo()->stepBy(5);
    ASSERT_GE(App().LoadEffect(PluginPath("zorvil-synth")), 0);
    EXPECT_TRUE(Frame().EffectButtons()->SlotButton(0)->isVisibleTo(&Frame()));

    Press(Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(App().Pattern().GetNoteCount(), 0);
    EXPECT_THAT(Shown(), ElementsAre(120, 2, 16));
    EXPECT_FALSE(Frame().EffectButtons()->SlotButton(0)->isVisibleTo(&Frame()));
    EXPECT_TRUE(Frame().EffectButtons()->LoadButton()->isVisibleTo(&Frame()));
    EXPECT_FALSE(Enabled(command::kUndo)); // New clears the history
    EXPECT_EQ(Frame().windowTitle(), "Zorvil by Ostrelworks");
}

// The program as `zorvil 0 0 OUT.wav PROJECT.tsn TEMPO` starts it: the project commands are
// off, and Ctrl+W renders into the wave file, writes the project back and ends the program.
TEST_F(MainFrameTest, BatchRenderWithCtrlWRendersWritesTheProjectBackAndEnds) {
    ProjectImage image;
    image.version = 999; // written back as 1000
    image.tempo = 303;
    image.measures = 1;
    image.stepsPerMeasure = 8;
    image.notes = {{0, 60, 100, 2}, {4, 67, 80, 1}};
    const std::string project = WriteProject(m_folder, "song.tsn", image);
    const std::string wave = m_folder.File("out.wav");
    WriteSetting(platform::settings::kWaveOut, kImmediateOut); // plays as fast as it is fed
    CZorvilProgram program("0 0 " + wave + " " + project + " 303", m_folder.File("Zorvil.conf"));
    CMainFrame& frame = program.MainFrame();
    for (uint32_t id : {command::kNew, command::kOpen, command::kSave, command::kSaveAs})
        EXPECT_FALSE(frame.Commands().Action(id)->isEnabled()) << id;
    EXPECT_EQ(frame.TempoBar()->Steps()->value(), 8);

    QSignalSpy closed(&frame, &CMainFrame::closed);
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    QTest::keyClick(&frame, Qt::Key_W, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return closed.count() > 0; }, 60000));
    const RenderPlan plan = MakeRenderPlan(1, 303, 2205, 0);
    EXPECT_EQ(std::filesystem::file_size(wave),
              kWaveHeaderSize + static_cast<size_t>(plan.totalFrames) * kRenderBytesPerFrame);
    const ProjectFileReadResult written = ReadProjectFile(project);
    ASSERT_EQ(written.read.status, ProjectReadStatus::Ok);
    EXPECT_EQ(written.read.image.version, 1000);
    EXPECT_EQ(written.read.image.notes.size(), 2u);
}

} // namespace
} // namespace zorvil::test
