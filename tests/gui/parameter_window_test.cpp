// The parameter window, the programs menu and the MIDI channels dialog, on Qt's
// offscreen platform around a running application: the probe (3 parameters, 2 programs with
// values of their own) and the program bank (40 programs named only by switching).
#include "app/effect_programs.h"
#include "effect_window_fixture.h"
#include "gui/host/eff_edit_wnd.h"
#include "gui/host/param_dialog.h"
#include "gui/host/program_dialogs.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSlider>

#include <gtest/gtest.h>

namespace zorvil::test {
namespace {

class ParameterWindowTest : public EffectWindowFixture {
protected:
    CEffEditWnd& ParameterWindow(CChildFrame& frame) {
        frame.OpenParameters();
        EXPECT_NE(frame.ParameterWindow(), nullptr);
        return *frame.ParameterWindow();
    }
    static std::string Text(const QLabel* label) { return label->text().toStdString(); }
};

TEST_F(ParameterWindowTest, ShowsSetsAndFollowsTheSelectedParameter) {
    CEffEditWnd& window = ParameterWindow(LoadWithFrame(PluginPath("zorvil-probe")));
    CParamDialog& dialog = *window.Dialog();
    ASSERT_EQ(dialog.List()->count(), 3);
    EXPECT_EQ(dialog.List()->item(2)->text(), "02: Param 2");
    EXPECT_EQ(Text(dialog.ValueLabel()), "0.500000");
    EXPECT_EQ(Text(dialog.ParameterTextLabel()), "0.500 ");
    EXPECT_EQ(dialog.Slider()->value(), 32768);

    // Automation: only the selected parameter is shown again.
    Effect().SetParameter(1, 0.75f);
    EXPECT_TRUE(window.OnParameterChanged(1));
    EXPECT_EQ(Text(dialog.ValueLabel()), "0.500000");
    Effect().SetParameter(0, 0.25f);
    window.OnParameterChanged(0);
    EXPECT_EQ(Text(dialog.ValueLabel()), "0.250000");
    EXPECT_EQ(dialog.Slider()->value(), 49152);

    // A key or a click on the groove ends at once; a drag only when the handle is let go.
    dialog.Slider()->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(Effect().GetParameter(0), 1.0f);
    EXPECT_EQ(Text(dialog.ValueLabel()), "1.000000");
    dialog.Slider()->setSliderDown(true);
    dialog.Slider()->setValue(65535);
    EXPECT_EQ(Effect().GetParameter(0), 0.0f);
    EXPECT_EQ(Text(dialog.ParameterTextLabel()), "0.000 ");
    EXPECT_EQ(Text(dialog.ValueLabel()), "1.000000");
    dialog.Slider()->setSliderDown(false);
    EXPECT_EQ(Text(dialog.ValueLabel()), "0.000000");

    dialog.List()->setCurrentRow(1);
    EXPECT_EQ(Text(dialog.ValueLabel()), "0.750000");
    // Another program brings its own values.
    SelectProgram(Effect(), 1);
    window.RefreshDisplay();
    EXPECT_EQ(Text(dialog.ValueLabel()), "0.200000");
}

TEST_F(ParameterWindowTest, ProgramsMenuKeepsItsHeadAndReplacesItsGroups) {
    CChildFrame& frame = LoadWithFrame(PluginPath("zorvil-programs40"));
    SelectProgram(Effect(), 3);
    RenameCurrentProgram(Effect(), "Bass & Lead");
    QMenu menu;
    menu.addAction("Head 1");
    menu.addAction("Head 2");
    for (int round = 0; round < 2; ++round) {
        BuildProgramsMenu(menu, frame);
        ASSERT_EQ(menu.actions().size(), 5);
    }
    EXPECT_EQ(menu.actions()[1]->text(), "Head 2");
    QMenu* first = menu.actions()[2]->menu();
    ASSERT_NE(first, nullptr);
    QAction* current = first->actions()[3];
    EXPECT_EQ(current->text(), "3. Bass && Lead"); // shown with its "&", no shortcut letter
    EXPECT_TRUE(current->isChecked());
    EXPECT_EQ(first->actions()[5]->data().toUInt(), 33005u);
}

TEST_F(ParameterWindowTest, MidiChannelsDialogSetsTheMaskOnOkOnly) {
    CChildFrame& frame = LoadWithFrame(PluginPath("zorvil-probe"));
    const auto click = [](const char* button, bool ok, int uncheck = -1) {
        return [=](QWidget* modal) {
            auto* dialog = qobject_cast<CMidiChannelsDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            for (QPushButton* push : dialog->findChildren<QPushButton*>())
                if (push->text() == button) push->click();
            if (uncheck >= 0) dialog->Box(uncheck)->setChecked(false);
            ok ? dialog->accept() : dialog->reject();
        };
    };
    const struct {
        ModalAnswers::Step step;
        uint16_t mask;
    } cases[] = {
        {click("Set All", true, 4), 0xFFEF}, // channel 5 off
        {click("Clear All", false), 0xFFEF}, // Cancel keeps the mask
        {click("", true, 15), 0x7FEF},       // the boxes start from the mask
    };
    for (const auto& c : cases) {
        ModalAnswers answers({c.step});
        EditMidiChannels(frame);
        EXPECT_EQ(answers.Answered(), 1);
        EXPECT_EQ(Effect().m_wChannelMask.load(), c.mask);
    }
}

// A plug-in that automates its parameters from every process call while its parameter window
// opens and closes, again and again (closing the window unloads the effect): every
// notification reaches the window on this thread, none reaches a window that is gone (run
// under TSan too).
TEST_F(ParameterWindowTest, AutomationFromTheEngineWhileTheWindowComesAndGoes) {
    Frame();
    App().StartEngine();
    ASSERT_TRUE(App().IsEngineRunning());
    for (int round = 0; round < 10; ++round) {
        CChildFrame& frame = LoadWithFrame(PluginPath("zorvil-automator"));
        CEffEditWnd& window = ParameterWindow(frame);
        const int slot = m_slot;
        const QString before = window.Dialog()->ValueLabel()->text();
        Run(200); // the worker processes blocks; the posts are drained between them
        QCoreApplication::processEvents();
        EXPECT_NE(window.Dialog()->ValueLabel()->text(), before) << "round " << round;
        window.close();
        QCoreApplication::processEvents();
        EXPECT_EQ(App().Host().GetEffect(slot), nullptr) << "round " << round;
        Run(50); // whatever the plug-in posted last finds no window
    }
}

} // namespace
} // namespace zorvil::test
