// ConsoleUserInterface: the user interface of the headless zorvil-cli.
//
// A message box becomes one line on stderr (caption, if any, then the text) and is answered as
// OK; file and folder dialogs are cancelled; window refreshes and the MIDI light do nothing.
//
//     ConsoleUserInterface ui(std::cerr);
//     host.SetUserInterface(&ui);
#pragma once

#include "platform/user_interface.h"

#include <mutex>
#include <ostream>

namespace zorvil::cli {

class ConsoleUserInterface : public IUserInterface {
public:
    explicit ConsoleUserInterface(std::ostream& out) : m_out(out) {}

    MessageResult MessageBox(std::string_view text, std::string_view caption,
                             MessageButtons buttons, MessageIcon icon) override;
    std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> BrowseFolder(std::string_view title,
                                            std::string_view initialPath) override;
    void RefreshEffectWindows(int slot) override;
    void SignalMidiActivity() noexcept override;

private:
    std::mutex m_mutex; // plug-ins may raise file selectors from their own threads
    std::ostream& m_out;
};

// The message box as its one line: "Caption: text", line breaks turned into spaces.
std::string MessageBoxLine(std::string_view text, std::string_view caption);

} // namespace zorvil::cli
