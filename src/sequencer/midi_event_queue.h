// IMidiEventQueue: where the step clock sends the notes it plays.
//
// The application connects it to the effect host's MIDI input queue (CSeqHost::QueueMidiEvent),
// so pattern notes reach the plug-ins by the same road as notes from the MIDI input. The message
// is copied by the callee and only borrowed for the call.
//
//     class HostEvents : public IMidiEventQueue {
//         void QueueMidiEvent(const CMidiMessage& m) override { host.QueueMidiEvent(m); }
//     };
//
// Threads: called on the clock's timer thread (each tick) and on the user-interface thread
// (the note-offs of Stop); an implementation must not block for long.
#pragma once

#include "midi/midi_message.h"

namespace zorvil {

class IMidiEventQueue {
public:
    virtual ~IMidiEventQueue() = default;
    virtual void QueueMidiEvent(const CMidiMessage& message) = 0;
};

} // namespace zorvil
