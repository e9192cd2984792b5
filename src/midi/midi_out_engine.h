// CEngineMidiOut: the program's MIDI output. Two sources send to it: the MIDI input's
// pass-through (through Send, which may rewrite the caller's record) and the MIDI that plug-ins
// emit (through IMidiOutputSink, which only borrows the record, so the rewrite happens on a copy
// of a short message and a long message is sent from its own bytes).
//
//     CEngineMidiOut midiOut;
//     midiOut.OpenByName("JACK MIDI");
//     host.SetMidiOutput(&midiOut);       // plug-ins' MIDI leaves here
#pragma once

#include "midi/midi_out.h"
#include "midi/midi_output_sink.h"

namespace zorvil {

class CEngineMidiOut : public CMidiOut, public IMidiOutputSink {
public:
    void SendMidiMessage(const CMidiMessage& message) noexcept override;
};

} // namespace zorvil
