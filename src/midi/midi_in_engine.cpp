#include "midi/midi_in_engine.h"

#include "app/user_interface.h"
#include "host/seq_host.h"
#include "midi/midi_out.h"

namespace zorvil {

CEngineMidiIn::~CEngineMidiIn() {
    // Close while OnMessage is still this class's: no delivery runs once the port is gone.
    if (IsOpen()) CMidiIn::Close();
}

void CEngineMidiIn::OnMessage(CMidiMessage& message) noexcept {
    CMidiIn::OnMessage(message);
    if (m_bThru.load())
        if (CMidiOut* output = m_pOutput.load()) output->Send(message);
    if (CSeqHost* host = m_pHost.load()) {
        try {
            host->QueueMidiEvent(message);
        } catch (...) {
            // The queue drops what it cannot hold; nothing more to do on the driver's thread.
        }
    }
    if (IUserInterface* ui = m_pUserInterface.load()) ui->SignalMidiActivity();
}

} // namespace zorvil
