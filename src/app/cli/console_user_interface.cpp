#include "app/cli/console_user_interface.h"

#include <algorithm>

namespace zorvil::cli {

std::string MessageBoxLine(std::string_view text, std::string_view caption) {
    std::string line;
    if (!caption.empty()) {
        line.assign(caption);
        line += ": ";
    }
    line += text;
    std::replace_if(
        line.begin(), line.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    return line;
}

MessageResult ConsoleUserInterface::MessageBox(std::string_view text, std::string_view caption,
                                               MessageButtons, MessageIcon) {
    std::lock_guard lock(m_mutex);
    m_out << MessageBoxLine(text, caption) << '\n' << std::flush;
    return MessageResult::Ok;
}

std::optional<std::string> ConsoleUserInterface::OpenFileDialog(const FileDialogRequest&) {
    return std::nullopt;
}

std::optional<std::string> ConsoleUserInterface::SaveFileDialog(const FileDialogRequest&) {
    return std::nullopt;
}

std::optional<std::string> ConsoleUserInterface::BrowseFolder(std::string_view, std::string_view) {
    return std::nullopt;
}

void ConsoleUserInterface::RefreshEffectWindows(int) {}

void ConsoleUserInterface::SignalMidiActivity() noexcept {}

} // namespace zorvil::cli
