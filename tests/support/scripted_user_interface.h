// ScriptedUserInterface: the IUserInterface double every test uses.
//
// It records every request the core makes of the user interface (message boxes, file and folder
// dialogs, window refreshes, MIDI activity). A message box answers its first button (Ok or Yes),
// as a user pressing Enter would. Dialogs answer as the test scripted them beforehand, in order,
// one answer per request of that kind; when the script runs out, a dialog is cancelled.
//
//     zorvil::test::ScriptedUserInterface ui;
//     ui.AnswerOpenFile("/tmp/preset.fxp");      // the next open dialog picks this file
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
    using Answers = std::deque<std::optional<std::string>>;

    template <typename Body>
    decltype(auto) Locked(Body&& body) const {
        std::lock_guard lock(m_mutex);
        return body();
    }
    // Records a dialog request and takes its scripted answer (cancelled when there is none).
    template <typename Request>
    std::optional<std::string> Ask(std::vector<Request>& requests, Request request,
                                   Answers& answers) {
        std::lock_guard lock(m_mutex);
        requests.push_back(std::move(request));
        if (answers.empty()) return std::nullopt;
        std::optional<std::string> answer = std::move(answers.front());
        answers.pop_front();
        return answer;
    }

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
    void AnswerOpenFile(std::optional<std::string> path) {
        Locked([&] { m_state.openAnswers.push_back(path); });
    }
    void AnswerSaveFile(std::optional<std::string> path) {
        Locked([&] { m_state.saveAnswers.push_back(path); });
    }
    void AnswerFolder(std::optional<std::string> path) {
        Locked([&] { m_state.folderAnswers.push_back(path); });
    }

    // What was asked, in order (copies, so they may be read while other threads still ask).
    std::vector<MessageBoxRequest> MessageBoxes() const {
        return Locked([&] { return m_state.messageBoxes; });
    }
    std::vector<FileDialogRequest> OpenFileRequests() const {
        return Locked([&] { return m_state.openRequests; });
    }
    std::vector<FileDialogRequest> SaveFileRequests() const {
        return Locked([&] { return m_state.saveRequests; });
    }
    std::vector<FolderRequest> FolderRequests() const {
        return Locked([&] { return m_state.folderRequests; });
    }
    std::vector<int> RefreshedSlots() const {
        return Locked([&] { return m_state.refreshedSlots; });
    }
    int MidiActivityCount() const noexcept { return m_midiActivity.load(); }

    // Forget every record and every answer not used yet.
    void Reset() {
        Locked([&] { m_state = {}; });
        m_midiActivity.store(0);
    }

    // IUserInterface
    MessageResult MessageBox(std::string_view text, std::string_view caption,
                             MessageButtons buttons, MessageIcon icon) override {
        Locked([&] {
            m_state.messageBoxes.push_back(
                {std::string(text), std::string(caption), buttons, icon});
        });
        const bool yes = buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoCancel;
        return yes ? MessageResult::Yes : MessageResult::Ok;
    }
    std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override {
        return Ask(m_state.openRequests, request, m_state.openAnswers);
    }
    std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) override {
        return Ask(m_state.saveRequests, request, m_state.saveAnswers);
    }
    std::optional<std::string> BrowseFolder(std::string_view title,
                                            std::string_view initialPath) override {
        return Ask(m_state.folderRequests, {std::string(title), std::string(initialPath)},
                   m_state.folderAnswers);
    }
    void RefreshEffectWindows(int slot) override {
        Locked([&] { m_state.refreshedSlots.push_back(slot); });
    }
    void SignalMidiActivity() noexcept override { m_midiActivity.fetch_add(1); }

private:
    mutable std::mutex m_mutex;
    struct State { // guarded by m_mutex
        Answers openAnswers, saveAnswers, folderAnswers;
        std::vector<MessageBoxRequest> messageBoxes;
        std::vector<FileDialogRequest> openRequests, saveRequests;
        std::vector<FolderRequest> folderRequests;
        std::vector<int> refreshedSlots;
    } m_state;
    std::atomic<int> m_midiActivity{0};
};

} // namespace zorvil::test
