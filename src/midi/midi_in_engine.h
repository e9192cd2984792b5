// CEngineMidiIn: the program's MIDI input. Every message it receives goes, in this order:
// through the CMidiIn decoding; to the MIDI output when pass-through ("MidiThru") is on (the
// output may rewrite a note-off into a note-on with velocity 0, and the queue then gets the
// rewritten message); into the host's MIDI input queue; and it flashes the MIDI activity light.
//
// A system-exclusive message longer than one input buffer arrives in pieces, each its own
// message. The pieces pass through to the output as they come, but the queue gets the message
// whole, once its last piece (the one ending in 0xF7) is in, so plug-ins see one complete
// message instead of a truncated start and stray data bytes. Pieces without a start are dropped,
// and so is a message that outgrows kMaxSysexBytes.
//
//     CEngineMidiIn midiIn;
//     midiIn.SetHost(&host); midiIn.SetMidiOutput(&midiOut); midiIn.SetUserInterface(&ui);
//     midiIn.SetThru(true);
//     midiIn.OpenByName("JACK MIDI");
//     midiIn.Start();
//
// Threads: OnMessage runs on the MIDI driver's thread. It only enqueues (under the host's
// queue lock), sends to the MIDI output and signals the user interface, which must return at
// once: the interface thread may itself be waiting in Reset for buffers this thread returns.
#pragma once

#include "midi/midi_in.h"

#include <atomic>
#include <vector>

namespace zorvil {

class CMidiOut;
class CSeqHost;
class IUserInterface;

class CEngineMidiIn : public CMidiIn {
public:
    // The longest system-exclusive message joined from pieces for the queue (1 MiB).
    static constexpr size_t kMaxSysexBytes = size_t{1} << 20;

    CEngineMidiIn();
    ~CEngineMidiIn() override;

    void SetHost(CSeqHost* host) noexcept { m_pHost.store(host); }
    void SetMidiOutput(CMidiOut* output) noexcept { m_pOutput.store(output); }
    void SetUserInterface(IUserInterface* ui) noexcept { m_pUserInterface.store(ui); }
    void SetThru(bool thru) noexcept { m_bThru.store(thru); }
    bool Thru() const noexcept { return m_bThru.load(); }

    void OnMessage(CMidiMessage& message) noexcept override;

private:
    // The message to queue for `piece` (itself, or the joined message once complete); null while
    // pieces are still coming or when the piece cannot be placed.
    CMidiMessage* JoinSysex(CMidiMessage& piece);

    // Driver thread only.
    std::vector<uint8_t> m_sysexPending; // the pieces of a long message so far
    CMidiMessage m_sysexWhole;           // the joined message while it is queued

    std::atomic<bool> m_bThru{false};
    std::atomic<CSeqHost*> m_pHost{nullptr};
    std::atomic<CMidiOut*> m_pOutput{nullptr};
    std::atomic<IUserInterface*> m_pUserInterface{nullptr};
};

} // namespace zorvil
