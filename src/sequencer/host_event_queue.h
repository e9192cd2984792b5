// CHostEventQueue: connects the step clock to the effect host, so that pattern notes take the
// same road as notes from the MIDI input (CSeqHost::QueueMidiEvent, then the engine's next
// block).
//
//     CHostEventQueue hostEvents(host);
//     pattern.SetEventQueue(&hostEvents);
//
// Threads: as CSeqHost::QueueMidiEvent, any thread. The host outlives the connection.
#pragma once

#include "host/seq_host.h"
#include "sequencer/midi_event_queue.h"

namespace zorvil {

class CHostEventQueue final : public IMidiEventQueue {
public:
    explicit CHostEventQueue(CSeqHost& host) noexcept : m_host(host) {}
    void QueueMidiEvent(const CMidiMessage& message) override { m_host.QueueMidiEvent(message); }

private:
    CSeqHost& m_host;
};

} // namespace zorvil
