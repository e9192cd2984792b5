// The device dialogs and the Options menu on Qt's offscreen platform: Run and Restart, each
// dialog's controls as the user meets them, OK and Cancel through the real dialogs, the ASIO
// rule, and the status pane that names a device that went away until Restart brings it back.
#include "frame_test_support.h"
#include "gui/app/device_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace zorvil::test {
namespace {

using ::testing::HasSubstr;
namespace keys = platform::settings;

QComboBox* Combo(QWidget* dialog, const char* name) {
    auto* combo = dialog->findChild<QComboBox*>(QString::fromLatin1(name));
    EXPECT_NE(combo, nullptr) << name;
    return combo;
}

// Selects the first entry that begins with `text`, as the user picks it.
void Choose(QComboBox* combo, const char* text) {
    const int index = combo->findText(QString::fromLatin1(text), Qt::MatchStartsWith);
    ASSERT_GE(index, 0) << text;
    combo->setCurrentIndex(index);
}

void Click(QWidget* dialog, QDialogButtonBox::StandardButton which) {
    dialog->findChild<QDialogButtonBox*>()->button(which)->click();
}

using DeviceDialogsTest = FrameFixture;

// Run is checked while the engine runs and stops it; Restart needs it running.
TEST_F(DeviceDialogsTest, RunAndRestartFollowTheEngine) {
    Frame();
    EXPECT_TRUE(Action(command::kEngineRun)->isChecked());
    EXPECT_TRUE(Action(command::kEngineRestart)->isEnabled());
    EXPECT_FALSE(Action(command::kAsioPanel)->isEnabled());
    Action(command::kEngineRun)->trigger();
    EXPECT_FALSE(Action(command::kEngineRun)->isChecked());
    EXPECT_FALSE(Action(command::kEngineRestart)->isEnabled());
}

TEST_F(DeviceDialogsTest, WaveDevicesShowsTheStoredChoiceAndOkStoresTheNewOne) {
    WriteSetting(keys::kWaveOut, "mme: virtual wave out (imm");
    WriteSetting(keys::kWaveOutBufSize, "1000");
    Frame();
    ModalAnswers answers({[](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle(), "Select Wave Devices");
        QComboBox* input = Combo(dialog, "waveInput");
        QComboBox* output = Combo(dialog, "waveOutput");
        QComboBox* size = Combo(dialog, "bufferSize");
        // The stored name found by its prefix, the device's rate beside it; a stored size that
        // is not offered selects 3675.
        EXPECT_EQ(output->currentText(), "MME: Virtual Wave Out (immediate)    (44100 Hz)");
        EXPECT_EQ(size->currentText(), "3675 samples    (12 b/s)");
        EXPECT_TRUE(input->isEnabled());
        Choose(input, "MME: Virtual Wave In");
        Choose(size, "441 samples    (100 b/s)");
        Click(dialog, QDialogButtonBox::Ok);
    }});
    Action(command::kWaveDevices)->trigger();
    EXPECT_EQ(answers.Answered(), 1);
    EXPECT_EQ(Setting(keys::kWaveIn), "MME: Virtual Wave In");
    EXPECT_EQ(Setting(keys::kWaveOut), kImmediateOut);
    EXPECT_EQ(Setting(keys::kWaveOutBufSize), "441");
}

TEST_F(DeviceDialogsTest, MidiAndCombinedDialogsCancelChangingNothing) {
    WriteSetting(keys::kMidiThru, "1");
    Frame();
    ModalAnswers answers({[](QWidget* dialog) {
                              EXPECT_EQ(dialog->windowTitle(), "Select MIDI Devices");
                              auto* thru = dialog->findChild<QCheckBox*>();
                              EXPECT_EQ(thru->text(), "&Pass Through to Output");
                              EXPECT_TRUE(thru->isChecked());
                              Click(dialog, QDialogButtonBox::Cancel);
                          },
                          [](QWidget* dialog) {
                              EXPECT_EQ(dialog->windowTitle(), "Select devices");
                              EXPECT_EQ(Combo(dialog, "bufferSize")->currentText(), "2205");
                              EXPECT_EQ(Combo(dialog, "renderAdjust")->currentText(), "0");
                              Click(dialog, QDialogButtonBox::Cancel);
                          }});
    Action(command::kMidiDevices)->trigger();
    Action(command::kDevices)->trigger();
    EXPECT_EQ(answers.Answered(), 2);
    EXPECT_EQ(Setting(keys::kMidiIn), "<missing>");
    EXPECT_EQ(Setting(keys::kRenderAdjust), "<missing>");
}

TEST_F(DeviceDialogsTest, AnAsioOutputDisablesTheWaveInput) {
    GuiApplication();
    WaveDevicesRequest request{WaveInCombo(""), WaveOutCombo(""), BufferSizeCombo(2205, true)};
    request.output.entries.push_back({"ASIO: Card", "ASIO: Card"});
    CWaveDevicesDlg dialog(request, nullptr);
    QComboBox* input = Combo(&dialog, "waveInput");
    QComboBox* output = Combo(&dialog, "waveOutput");
    output->setCurrentIndex(output->count() - 1);
    EXPECT_FALSE(input->isEnabled());
    output->setCurrentIndex(1);
    EXPECT_TRUE(input->isEnabled());
    EXPECT_EQ(dialog.Choice().output, 1);
}

TEST_F(DeviceDialogsTest, AWaveOutputThatWentAwayIsNamedUntilRestartReopensIt) {
    WriteSetting(keys::kWaveOut, kImmediateOut);
    Frame();
    QLabel* pane = Frame().StatusPanes().LostDevicesPane();
    Frame().OnIdleTimer();
    EXPECT_TRUE(pane->text().isEmpty());
    platform::VirtualDevices::WaveOut()->Vanish();
    Frame().OnIdleTimer();
    EXPECT_THAT(
        pane->text().toStdString(),
        HasSubstr("Wave output \"Virtual Wave Out (immediate)\" stopped: Options > Restart"));
    Action(command::kEngineRestart)->trigger();
    Frame().OnPosted(); // the Run that Restart posts
    Frame().OnIdleTimer();
    EXPECT_TRUE(pane->text().isEmpty());
    EXPECT_TRUE(App().WaveOut().Alive());
    EXPECT_TRUE(App().IsEngineRunning());
}

} // namespace
} // namespace zorvil::test
