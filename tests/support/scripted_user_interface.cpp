#include "support/scripted_user_interface.h"

namespace zorvil::test {

MessageResult ScriptedUserInterface::MessageBox(std::string_view text, std::string_view caption,
                                                MessageButtons buttons, MessageIcon icon) {
    std::lock_guard lock(m_mutex);
    m_state.messageBoxes.push_back({std::string(text), std::string(caption), buttons, icon});
    if (!m_state.messageAnswers.empty()) {
        const MessageResult result = m_state.messageAnswers.front();
        m_state.messageAnswers.pop_front();
        return result;
    }
    // Unscripted: the first button, as a user pressing Enter would.
    return (buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoCancel)
               ? MessageResult::Yes
               : MessageResult::Ok;
}

} // namespace zorvil::test
