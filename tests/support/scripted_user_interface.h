// ScriptedUserInterface: the IUserInterface double every test uses.
//
// It records every request the core makes of the user interface (message boxes, file and folder
// dialogs, window refreshes, MIDI activity) and answers as the test scripted it beforehand.
// Answers are taken in order, one per request of that kind; when the script runs out, a message
// box answers its first button (Ok or Yes) and a dialog is cancelled.
//
//     zorvil::test::ScriptedUserInterface ui;
//     ui.AnswerOpenFile("/tmp/preset.fxp");      // the next open dialog picks this file
//     ui.AnswerMessageBox(MessageResult::No);    // the next message box is answered No
//     host.SetUserInterface(&ui);
//     ... run the code under test ...
//     ASSERT_EQ(ui.OpenFileRequests().size(), 1u);
//     EXPECT_EQ(ui.OpenFileRequests()[0].filter, "Text (*.txt)|*.txt||");
//
// Thread-safe: plug-ins may open file selectors from any thread, and the MIDI input signals
// activity from its driver thread (SignalMidiActivity only bumps an atomic counter).
#pragma once

#include "platform/user_interface.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zorvil::test {

class ScriptedUserInterface : public IUserInterface {
public:
    struct MessageBoxRequest {
        std::string text;
        std::string caption;
        MessageButtons buttons = MessageButtons::Ok;
        MessageIcon icon = MessageIcon::None;
    };
    struct FolderRequest {
        std::string title;
        std::string initialPath;
    };

    // Scripting: each call queues the answer to one future request of that kind.
    void AnswerMessageBox(MessageResult result);
    void AnswerOpenFile(std::optional<std::string> path);
    void AnswerSaveFile(std::optional<std::string> path);
    void AnswerFolder(std::optional<std::string> path);

    // What was asked, in order (copies, so they may be read while other threads still ask).
    std::vector<MessageBoxRequest> MessageBoxes() const;
    std::vector<FileDialogRequest> OpenFileRequests() const;
    std::vector<FileDialogRequest> SaveFileRequests() const;
    std::vector<FolderRequest> FolderRequests() const;
    std::vector<int> RefreshedSlots() const;
    int MidiActivityCount() const noexcept { return m_midiActivity.load(); }

    // Forget every record and every answer not used yet.
    void Reset();

    // IUserInterface
    MessageResult MessageBox(std::string_view text, std::string_view caption,
                             MessageButtons buttons, MessageIcon icon) override;
    std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> BrowseFolder(std::string_view title,
                                            std::string_view initialPath) override;
    void RefreshEffectWindows(int slot) override;
    void SignalMidiActivity() noexcept override;

private:
    static std::optional<std::string> Take(std::deque<std::optional<std::string>>& answers);

    mutable std::mutex m_mutex;
    std::deque<MessageResult> m_messageAnswers;
    std::deque<std::optional<std::string>> m_openAnswers;
    std::deque<std::optional<std::string>> m_saveAnswers;
    std::deque<std::optional<std::string>> m_folderAnswers;
    std::vector<MessageBoxRequest> m_messageBoxes;
    std::vector<FileDialogRequest> m_openRequests;
    std::vector<FileDialogRequest> m_saveRequests;
    std::vector<FolderRequest> m_folderRequests;
    std::vector<int> m_refreshedSlots;
    std::atomic<int> m_midiActivity{0};
};

} // namespace zorvil::test
