// CMidiOut: a MIDI output port. Short messages go out at once; a system-exclusive message goes
// out synchronously (Send returns when the driver holds it).
//
// The note-off rule: a note-off on channel c that follows a note-on on c (the last channel
// message sent was 0x90 + c) is rewritten, in the caller's record, into a note-on of velocity 0
// before it is sent. System messages (0xF0 and above) leave the last status alone. Reading,
// comparing and updating the last status, and sending, are one step under a lock, since the MIDI
// input's pass-through and the plug-ins' output (the engine thread) send at the same time.
//
//     CMidiOut out;
//     out.OpenByName("MIDI Mapper");
//     out.NoteOn(0, 60, 100);
//     CMidiMessage off(0x80, 60, 64);
//     out.Send(off);                      // goes out as 0x90 60 00; `off` now says so too
//
// Reset silences what this port made sound: a note-off for every note still on (the port keeps
// a map of the notes its note-ons started and its note-offs ended), then, on all 16 channels,
// sustain off and all notes off, so that notes held by a pedal or started elsewhere stop too.
// Close resets first: an instrument never keeps a note that Zorvil started.
//
// Threads: Send and the helpers on any thread; Open, Reset and Close on the interface thread.
#pragma once

#include "midi/midi_device.h"
#include "midi/midi_message.h"
#include "platform/midi_port.h"

#include <array>
#include <bitset>
#include <memory>
#include <mutex>
#include <span>

namespace zorvil {

class CMidiOut : public CMidiDevice {
public:
    CMidiOut() = default;
    ~CMidiOut() override;

    bool Open(int id) override;
    // The port list must not be empty; "MIDI Mapper" and the ports are compared
    // case-sensitively; a name that matches nothing fails and leaves an open port open.
    bool OpenByName(std::string_view name) override;
    bool Reset() override;
    bool Close() override;

    virtual void OnDeviceOpen() {}
    virtual void OnDeviceClose() {}
    virtual void OnDone(platform::MIDIHDR*) {}

    // Sends the message; may rewrite a note-off in place (see above). False when closed, when
    // the record is empty (length 0), or when the driver refuses it.
    virtual bool Send(CMidiMessage& message) noexcept;

    bool NoteOn(int channel, int key, int velocity) noexcept;
    bool NoteOff(int channel, int key, int velocity) noexcept;
    bool PolyPressure(int channel, int key, int value) noexcept;
    bool ChannelPressure(int channel, int value) noexcept;
    bool ControlChange(int channel, int controller, int value) noexcept;
    bool ControlChange14(int channel, int controller, int value) noexcept;
    bool ProgramChange(int channel, int program) noexcept;
    bool PitchBend(int channel, int value) noexcept;
    bool SendShort(CMidiMessage& message) noexcept { return Send(message); }
    bool SystemReset() noexcept;
    bool BankSelect(int channel, int value) noexcept { return ControlChange(channel, 0, value); }
    bool BankSelect14(int channel, int value) noexcept {
        return ControlChange14(channel, 0, value);
    }

    uint8_t LastStatus() const noexcept;
    bool Alive() const noexcept;
    // Notes now sounding at the port (note-ons sent and not yet ended), across all channels.
    int SoundingNotes() const noexcept;

protected:
    // A long message from its header (prepared, sent, marked done, unprepared).
    bool SendLongBytes(platform::MIDIHDR& header) noexcept;
    // A long message from bytes the caller keeps.
    bool SendLongData(std::span<const uint8_t> bytes) noexcept;

private:
    bool SendBytes(int status, int data1, int data2) noexcept;
    // The note-off rule (rewriting `bytes`, status and two data bytes), the last status and the
    // sounding notes, then the port; m_mutex held.
    bool SendShortLocked(uint8_t* bytes) noexcept;

    mutable std::mutex m_mutex; // guards m_port, m_dwLastStatus and m_sounding; held while sending
    std::unique_ptr<platform::IMidiOutPort> m_port;
    uint32_t m_dwLastStatus = 0;
    std::array<std::bitset<128>, 16> m_sounding{}; // per channel, the keys a note-on started
};

} // namespace zorvil
