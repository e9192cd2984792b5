// A user interface for file tests: records every message box and refresh, answers dialogs with
// the paths the test queued.
#pragma once

#include "app/user_interface.h"

#include <deque>
#include <string>
#include <vector>

namespace zorvil::test {

class RecordingUi : public IUserInterface {
public:
    struct Message {
        std::string text;
        std::string caption;
        MessageIcon icon;
    };

    MessageResult MessageBox(std::string_view text, std::string_view caption, MessageButtons,
                             MessageIcon icon) override {
        messages.push_back({std::string(text), std::string(caption), icon});
        return MessageResult::Ok;
    }
    std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override {
        return Answer(request);
    }
    std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) override {
        return Answer(request);
    }
    std::optional<std::string> BrowseFolder(std::string_view, std::string_view) override {
        return std::nullopt;
    }
    void RefreshEffectWindows(int slot) override { refreshed.push_back(slot); }
    void SignalMidiActivity() noexcept override {}

    std::vector<Message> messages;
    std::vector<int> refreshed;
    std::vector<FileDialogRequest> dialogs;
    std::deque<std::optional<std::string>> dialogAnswers;

private:
    std::optional<std::string> Answer(const FileDialogRequest& request) {
        dialogs.push_back(request);
        if (dialogAnswers.empty()) return std::nullopt;
        auto answer = dialogAnswers.front();
        dialogAnswers.pop_front();
        return answer;
    }
};

} // namespace zorvil::test
