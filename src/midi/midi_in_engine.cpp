#include "midi/midi_in_engine.h"

#include "host/seq_host.h"
#include "midi/midi_out.h"
#include "platform/user_interface.h"

namespace zorvil {

CEngineMidiIn::~CEngineMidiIn() {
    // Close while OnMessage is still this class's: no delivery runs once the port is gone.
    if (IsOpen()) CMidiIn::Close();
}

CEngineMidiIn::CEngineMidiIn() {
    m_sysexPending.reserve(2 * kBufferBytes);
}

void CEngineMidiIn::OnMessage(CMidiMessage& message) noexcept {
    CMidiIn::OnMessage(message);
    if (m_bThru.load())
        if (CMidiOut* output = m_pOutput.load()) output->Send(message);
    if (CSeqHost* host = m_pHost.load()) {
        try {
            if (message.Header() == nullptr)
                host->QueueMidiEvent(message);
            else if (CMidiMessage* whole = JoinSysex(message))
                host->QueueMidiEvent(*whole);
        } catch (...) {
            // The queue drops what it cannot hold; nothing more to do on the driver's thread.
        }
    }
    if (IUserInterface* ui = m_pUserInterface.load()) ui->SignalMidiActivity();
}

CMidiMessage* CEngineMidiIn::JoinSysex(CMidiMessage& piece) {
    const uint8_t* data = piece.Data();
    const size_t length = piece.Length();
    if (data == nullptr || length == 0) return nullptr;
    const bool starts = data[0] == 0xF0;
    const bool ends = data[length - 1] == 0xF7;
    if (starts && ends) {
        m_sysexPending.clear(); // a message that never ended is given up
        return &piece;
    }
    if (starts)
        m_sysexPending.clear();
    else if (m_sysexPending.empty())
        return nullptr; // the rest of a message whose start was not seen
    if (m_sysexPending.size() + length > kMaxSysexBytes) {
        m_sysexPending.clear();
        return nullptr;
    }
    m_sysexPending.insert(m_sysexPending.end(), data, data + length);
    if (!ends) return nullptr;
    const bool copied = m_sysexWhole.SetBytes(m_sysexPending.data(), m_sysexPending.size()) != 0;
    m_sysexWhole.SetTime(piece.Time()); // whole from the moment its last piece arrived
    m_sysexPending.clear();
    return copied ? &m_sysexWhole : nullptr;
}

} // namespace zorvil
