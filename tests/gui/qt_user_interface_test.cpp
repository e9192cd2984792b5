// The Qt user interface: message boxes (text, caption, icon, buttons), file dialogs built from
// the program's requests (filters, folder, default extension, read-only refusal), calls from
// other threads.
#include "files/temp_dir.h"
#include "gui/app/qt_user_interface.h"
#include "gui/gui_application.h"
#include "modal_answers.h"

#include <QFileDialog>
#include <QSignalSpy>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace zorvil::test {
namespace {

using ::testing::ElementsAre;

class QtUserInterfaceTest : public ::testing::Test {
protected:
    QtUserInterfaceTest() { GuiApplication(); }

    CQtUserInterface m_ui;
    TempDir m_folder;
};

// What a file dialog looked like when it opened.
struct SeenDialog {
    QStringList filters;
    QString directory;
    QString suffix;
    bool confirmsOverwrite = false;
};

ModalAnswers::Step PickFile(SeenDialog& seen, const std::string& path) {
    return [&seen, path](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        seen.filters = dialog->nameFilters();
        seen.directory = dialog->directory().absolutePath();
        seen.suffix = dialog->defaultSuffix();
        seen.confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        dialog->selectFile(QString::fromStdString(path));
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog's own accept
    };
}

void Cancel(QWidget* modal) {
    qobject_cast<QDialog*>(modal)->reject();
}

TEST_F(QtUserInterfaceTest, MessageBoxesCarryTextCaptionIconAndAnswer) {
    ModalAnswers answers({[](QWidget* m) { ClickButton(m, QMessageBox::Ok); },
                          [](QWidget* m) { ClickButton(m, QMessageBox::No); },
                          [](QWidget* m) { qobject_cast<QDialog*>(m)->reject(); }});
    EXPECT_EQ(m_ui.MessageBox("Can't open file", {}, MessageButtons::Ok, MessageIcon::Error),
              MessageResult::Ok);
    EXPECT_EQ(m_ui.MessageBox("Replace?", "TsnSeq", MessageButtons::YesNo, MessageIcon::Question),
              MessageResult::No);
    EXPECT_EQ(m_ui.MessageBox("Closed", {}, MessageButtons::OkCancel, MessageIcon::None),
              MessageResult::Cancel);
    ASSERT_EQ(answers.Boxes().size(), 3u);
    EXPECT_EQ(answers.Boxes()[0].caption, "Zorvil");
    EXPECT_EQ(answers.Boxes()[0].text, "Can't open file");
    EXPECT_EQ(answers.Boxes()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(answers.Boxes()[1].caption, "TsnSeq");
    EXPECT_EQ(answers.Boxes()[1].icon, QMessageBox::Question);
}

// The save dialog takes the request's filters (Qt's form), folder and extension and asks before
// it overwrites; the open dialog starts in the folder, and Cancel gives nothing.
TEST_F(QtUserInterfaceTest, FileDialogsFollowTheRequest) {
    SeenDialog saved, opened;
    ModalAnswers answers({PickFile(saved, m_folder.File("song")), [&](QWidget* modal) {
                              opened.directory =
                                  qobject_cast<QFileDialog*>(modal)->directory().absolutePath();
                              Cancel(modal);
                          }});
    FileDialogRequest request;
    request.initialPath = m_folder.Path().string() + "/*.tsn";
    request.filter = "Zorvil Files (.tsn)|*.tsn;*.TSN|All Files|*.*||";
    request.defaultExtension = "tsn";
    request.overwritePrompt = true;
    EXPECT_EQ(m_ui.SaveFileDialog(request), m_folder.File("song.tsn"));
    EXPECT_THAT(saved.filters, ElementsAre("Zorvil Files (.tsn) (*.tsn *.TSN)", "All Files (*)"));
    EXPECT_EQ(saved.directory.toStdString(), m_folder.Path().string());
    EXPECT_EQ(saved.suffix, "tsn");
    EXPECT_TRUE(saved.confirmsOverwrite);
    EXPECT_FALSE(m_ui.OpenFileDialog(request).has_value());
    EXPECT_EQ(opened.directory.toStdString(), m_folder.Path().string());
}

TEST_F(QtUserInterfaceTest, ATargetThatCannotBeWrittenIsRefusedExplainedAndAskedAgain) {
    FileDialogRequest request;
    request.filter = "Wave Files (.wav)|*.wav|All Files|*.*||";
    request.refuseReadOnly = true;
    auto refused = [&](const std::string& path) {
        SeenDialog seen;
        ModalAnswers answers(
            {PickFile(seen, path), [](QWidget* m) { ClickButton(m, QMessageBox::Ok); }, Cancel});
        const bool none = !m_ui.SaveFileDialog(request).has_value();
        return none && answers.Answered() == 3 && answers.Boxes().size() == 1 &&
               answers.Boxes()[0].text.find("read-only") != std::string::npos;
    };
    // A new file in a folder that cannot take it (here: none exists).
    EXPECT_TRUE(refused(m_folder.File("gone/out.wav")));
    // An existing file the user may not write (the superuser may write any).
    const std::string locked = m_folder.File("locked.wav");
    std::ofstream(locked) << "x";
    std::filesystem::permissions(locked, std::filesystem::perms::owner_read);
    if (::access(locked.c_str(), W_OK) != 0) {
        EXPECT_TRUE(refused(locked));
    }
}

TEST_F(QtUserInterfaceTest, OtherThreadsReachTheWindowsOnlyThroughTheUserInterfaceThread) {
    // A message box asked for on a plug-in's thread is shown on this thread.
    ModalAnswers answers({[](QWidget* m) {
        EXPECT_EQ(m->thread(), QApplication::instance()->thread());
        ClickButton(m, QMessageBox::Yes);
    }});
    MessageResult result = MessageResult::Cancel;
    std::thread plugin(
        [&] { result = m_ui.MessageBox("From a thread", {}, MessageButtons::YesNo, {}); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return answers.Answered() == 1; }, 5000));
    plugin.join();
    EXPECT_EQ(result, MessageResult::Yes);

    // Refresh requests arrive as a signal on this thread.
    QSignalSpy refreshed(&m_ui, &CQtUserInterface::effectWindowsRefreshRequested);
    std::thread engine([&] { m_ui.RefreshEffectWindows(2); });
    engine.join();
    EXPECT_TRUE(refreshed.wait(5000) || refreshed.count() == 1);
    ASSERT_EQ(refreshed.count(), 1);
    EXPECT_EQ(refreshed[0][0].toInt(), 2);
}

} // namespace
} // namespace zorvil::test
