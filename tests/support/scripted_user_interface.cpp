#include "support/scripted_user_interface.h"

namespace zorvil::test {

void ScriptedUserInterface::AnswerMessageBox(MessageResult result) {
    std::lock_guard lock(m_mutex);
    m_messageAnswers.push_back(result);
}

void ScriptedUserInterface::AnswerOpenFile(std::optional<std::string> path) {
    std::lock_guard lock(m_mutex);
    m_openAnswers.push_back(std::move(path));
}

void ScriptedUserInterface::AnswerSaveFile(std::optional<std::string> path) {
    std::lock_guard lock(m_mutex);
    m_saveAnswers.push_back(std::move(path));
}

void ScriptedUserInterface::AnswerFolder(std::optional<std::string> path) {
    std::lock_guard lock(m_mutex);
    m_folderAnswers.push_back(std::move(path));
}

std::vector<ScriptedUserInterface::MessageBoxRequest> ScriptedUserInterface::MessageBoxes() const {
    std::lock_guard lock(m_mutex);
    return m_messageBoxes;
}

std::vector<FileDialogRequest> ScriptedUserInterface::OpenFileRequests() const {
    std::lock_guard lock(m_mutex);
    return m_openRequests;
}

std::vector<FileDialogRequest> ScriptedUserInterface::SaveFileRequests() const {
    std::lock_guard lock(m_mutex);
    return m_saveRequests;
}

std::vector<ScriptedUserInterface::FolderRequest> ScriptedUserInterface::FolderRequests() const {
    std::lock_guard lock(m_mutex);
    return m_folderRequests;
}

std::vector<int> ScriptedUserInterface::RefreshedSlots() const {
    std::lock_guard lock(m_mutex);
    return m_refreshedSlots;
}

void ScriptedUserInterface::Reset() {
    std::lock_guard lock(m_mutex);
    m_messageAnswers.clear();
    m_openAnswers.clear();
    m_saveAnswers.clear();
    m_folderAnswers.clear();
    m_messageBoxes.clear();
    m_openRequests.clear();
    m_saveRequests.clear();
    m_folderRequests.clear();
    m_refreshedSlots.clear();
    m_midiActivity.store(0);
}

MessageResult ScriptedUserInterface::MessageBox(std::string_view text, std::string_view caption,
                                                MessageButtons buttons, MessageIcon icon) {
    std::lock_guard lock(m_mutex);
    m_messageBoxes.push_back({std::string(text), std::string(caption), buttons, icon});
    if (!m_messageAnswers.empty()) {
        const MessageResult result = m_messageAnswers.front();
        m_messageAnswers.pop_front();
        return result;
    }
    // Unscripted: the first button, as a user pressing Enter would.
    return (buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoCancel)
               ? MessageResult::Yes
               : MessageResult::Ok;
}

std::optional<std::string>
ScriptedUserInterface::Take(std::deque<std::optional<std::string>>& answers) {
    if (answers.empty()) return std::nullopt;
    std::optional<std::string> answer = std::move(answers.front());
    answers.pop_front();
    return answer;
}

std::optional<std::string> ScriptedUserInterface::OpenFileDialog(const FileDialogRequest& request) {
    std::lock_guard lock(m_mutex);
    m_openRequests.push_back(request);
    return Take(m_openAnswers);
}

std::optional<std::string> ScriptedUserInterface::SaveFileDialog(const FileDialogRequest& request) {
    std::lock_guard lock(m_mutex);
    m_saveRequests.push_back(request);
    return Take(m_saveAnswers);
}

std::optional<std::string> ScriptedUserInterface::BrowseFolder(std::string_view title,
                                                               std::string_view initialPath) {
    std::lock_guard lock(m_mutex);
    m_folderRequests.push_back({std::string(title), std::string(initialPath)});
    return Take(m_folderAnswers);
}

void ScriptedUserInterface::RefreshEffectWindows(int slot) {
    std::lock_guard lock(m_mutex);
    m_refreshedSlots.push_back(slot);
}

void ScriptedUserInterface::SignalMidiActivity() noexcept {
    m_midiActivity.fetch_add(1);
}

} // namespace zorvil::test
