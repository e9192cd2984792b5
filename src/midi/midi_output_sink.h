// IMidiOutputSink: where MIDI that leaves Zorvil goes (a plug-in's own MIDI output, the MIDI
// input's pass-through). The MIDI output device implements it; tests observe it.
//
//     void OnPluginEvent(IMidiOutputSink& sink, const VstMidiEvent& e) {
//         sink.SendMidiMessage(CMidiMessage(e.midiData[0], e.midiData[1], e.midiData[2]));
//     }
//
// Threads: called from any thread (the engine worker, the MIDI driver's thread, a plug-in's
// own); an implementation copies what it needs and returns without blocking for long.
#pragma once

#include "midi/midi_message.h"

namespace zorvil {

class IMidiOutputSink {
public:
    virtual ~IMidiOutputSink() = default;
    // The message is only borrowed for the call.
    virtual void SendMidiMessage(const CMidiMessage& message) noexcept = 0;
};

} // namespace zorvil
