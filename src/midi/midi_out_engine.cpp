#include "midi/midi_out_engine.h"

namespace zorvil {

void CEngineMidiOut::SendMidiMessage(const CMidiMessage& message) noexcept {
    if (message.Header() != nullptr) {
        SendLongData({message.Data(), message.Length()});
        return;
    }
    CMidiMessage copy(message.ShortMessage());
    copy.SetTime(message.Time());
    Send(copy);
}

} // namespace zorvil
