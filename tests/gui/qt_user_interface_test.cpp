// The Qt user interface: message boxes (text, caption, icon, buttons), file dialogs built from
// the program's requests (filters, folder, default extension, read-only refusal), calls from
// other threads.
#include "files/temp_dir.h"
#include "gui/app/qt_user_interface.h"
#include "gui/app/ui_thread_queue.h"
#include "gui/gui_application.h"
#include "modal_answers.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

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

TEST(QtFilterListTest, TheProgramsFiltersBecomeQtsFilterList) {
    EXPECT_THAT(QtFilterList("Zorvil Files (.tsn)|*.tsn|All Files|*.*||"),
                ElementsAre("Zorvil Files (.tsn) (*.tsn)", "All Files (*)"));
    EXPECT_THAT(QtFilterList("Banks|*.fxb;*.fxp||"), ElementsAre("Banks (*.fxb *.fxp)"));
    EXPECT_TRUE(QtFilterList("").isEmpty());
}

TEST_F(QtUserInterfaceTest, MessageBoxesCarryTextCaptionIconAndAnswer) {
    ModalAnswers answers({[](QWidget* m) { ClickButton(m, QMessageBox::Ok); },
                          [](QWidget* m) { ClickButton(m, QMessageBox::No); },
                          [](QWidget* m) { qobject_cast<QDialog*>(m)->reject(); }});
    EXPECT_EQ(m_ui.MessageBox("Can't open file for write x, error = 5\n", {}, MessageButtons::Ok,
                              MessageIcon::Error),
              MessageResult::Ok);
    EXPECT_EQ(m_ui.MessageBox("Replace?", "TsnSeq", MessageButtons::YesNo, MessageIcon::Question),
              MessageResult::No);
    EXPECT_EQ(m_ui.MessageBox("Closed", {}, MessageButtons::OkCancel, MessageIcon::None),
              MessageResult::Cancel);
    ASSERT_EQ(answers.Boxes().size(), 3u);
    EXPECT_EQ(answers.Boxes()[0].caption, "Zorvil");
    EXPECT_EQ(answers.Boxes()[0].text, "Can't open file for write x, error = 5\n");
    EXPECT_EQ(answers.Boxes()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(answers.Boxes()[1].caption, "TsnSeq");
    EXPECT_EQ(answers.Boxes()[1].icon, QMessageBox::Question);
    EXPECT_EQ(answers.Boxes()[2].icon, QMessageBox::NoIcon);
}

TEST_F(QtUserInterfaceTest, SaveDialogsFollowTheRequest) {
    SeenDialog seen;
    ModalAnswers answers({PickFile(seen, m_folder.File("song"))});
    FileDialogRequest request;
    request.initialPath = m_folder.Path().string() + "/*.tsn";
    request.filter = "Zorvil Files (.tsn)|*.tsn|All Files|*.*||";
    request.defaultExtension = "tsn";
    request.overwritePrompt = true;
    const auto chosen = m_ui.SaveFileDialog(request);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, m_folder.File("song.tsn")); // the default extension is added
    EXPECT_THAT(seen.filters, ElementsAre("Zorvil Files (.tsn) (*.tsn)", "All Files (*)"));
    EXPECT_EQ(seen.directory.toStdString(), m_folder.Path().string());
    EXPECT_EQ(seen.suffix, "tsn");
    EXPECT_TRUE(seen.confirmsOverwrite);
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

    // Without the refusal the file is taken.
    SeenDialog seen;
    ModalAnswers answers({PickFile(seen, m_folder.File("gone/out.wav"))});
    request.refuseReadOnly = false;
    EXPECT_EQ(m_ui.SaveFileDialog(request), m_folder.File("gone/out.wav"));
}

TEST_F(QtUserInterfaceTest, OpenDialogsStartWithTheGivenFolderAndCancelGivesNothing) {
    SeenDialog seen;
    ModalAnswers answers({[&](QWidget* modal) {
        seen.directory = qobject_cast<QFileDialog*>(modal)->directory().absolutePath();
        Cancel(modal);
    }});
    FileDialogRequest request;
    request.initialPath = m_folder.Path().string() + "/*.fxb";
    EXPECT_FALSE(m_ui.OpenFileDialog(request).has_value());
    EXPECT_EQ(seen.directory.toStdString(), m_folder.Path().string());
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

    // Refresh requests arrive as a signal on this thread; the MIDI light is a flag.
    QSignalSpy refreshed(&m_ui, &CQtUserInterface::effectWindowsRefreshRequested);
    std::thread engine([&] {
        m_ui.RefreshEffectWindows(2);
        m_ui.SignalMidiActivity();
    });
    engine.join();
    EXPECT_TRUE(refreshed.wait(5000) || refreshed.count() == 1);
    ASSERT_EQ(refreshed.count(), 1);
    EXPECT_EQ(refreshed[0][0].toInt(), 2);
    EXPECT_TRUE(m_ui.TakeMidiActivity());
    EXPECT_FALSE(m_ui.TakeMidiActivity());
}

TEST_F(QtUserInterfaceTest, AWakeUpFromAnotherThreadRunsPostedCallsOnThisOne) {
    CUiThreadQueue queue;
    QSignalSpy woken(&queue, &CUiThreadQueue::woken);
    std::vector<Qt::HANDLE> ranOn;
    std::thread engine([&] {
        queue.Post([&] { ranOn.push_back(QThread::currentThreadId()); });
        queue.Wake();
    });
    engine.join();
    EXPECT_TRUE(QTest::qWaitFor([&] { return woken.count() > 0; }, 5000));
    EXPECT_THAT(ranOn, ElementsAre(QThread::currentThreadId()));
}

} // namespace
} // namespace zorvil::test
