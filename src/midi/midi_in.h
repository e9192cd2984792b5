// CMidiIn: a MIDI input port. It finds a port by name, keeps seven system-exclusive buffers of
// 8192 bytes queued at the driver, time-stamps what arrives (milliseconds since Start) and hands
// every message, as a CMidiMessage, to OnMessage, which decodes it into per-type hooks.
//
//     class CMyIn : public CMidiIn { void OnNoteOn(int ch, int key, int vel) override { ... } };
//     CMyIn in;
//     in.OpenByName("JACK MIDI");         // "MIDI Mapper": Zorvil's own port
//     in.Start();                         // messages arrive on the driver's thread
//     in.Stop(); in.Reset();              // Reset returns once all 7 buffers are back
//     in.Close();
//
// A system-exclusive message arrives in a buffer (a longer one in several, each its own
// message); one that is cut short goes to OnError and is not delivered. Buffers that come back
// while stopped stay unprepared and are dropped.
//
// Threads: every hook runs on the driver's thread; Open, Start, Stop, Reset and Close on the
// interface thread. Stop clears the started flag and waits 10 ms before stopping the driver, so
// that a delivery in progress sees it.
#pragma once

#include "midi/midi_device.h"
#include "midi/midi_message.h"
#include "platform/input_run_state.h"
#include "platform/midi_port.h"

#include <array>
#include <atomic>
#include <memory>
#include <mutex>

namespace zorvil {

class CMidiIn : public CMidiDevice, protected platform::IMidiInHandler {
public:
    static constexpr int kBufferCount = 7;
    static constexpr size_t kBufferBytes = 8192;

    CMidiIn() = default;
    ~CMidiIn() override;

    // Close if open; open the port (-1: "MIDI Mapper"); queue the 7 buffers. On failure the
    // port is closed.
    bool Open(int id) override;
    // The port list must not be empty (even for "MIDI Mapper"); a name that matches nothing
    // fails and leaves an open port open.
    bool OpenByName(std::string_view name) override;
    bool Reset() override;
    bool Close() override;

    bool PrepareHeader(platform::MIDIHDR& header) noexcept;
    bool UnprepareHeader(platform::MIDIHDR& header) noexcept;
    virtual bool Start();
    virtual bool Stop();

    virtual void OnMessage(CMidiMessage& message) noexcept;
    void OnLongData(platform::MIDIHDR* header, uint32_t time) noexcept override;
    void OnLongError(platform::MIDIHDR* header, uint32_t time) noexcept override;
    virtual void OnError(CMidiMessage&) noexcept {}
    virtual void OnMoreData(CMidiMessage&) noexcept {}
    virtual void OnNoteOn(int, int, int) noexcept {}
    virtual void OnNoteOff(int, int, int) noexcept {}
    virtual void OnPolyPressure(int, int, int) noexcept {}
    virtual void OnChannelPressure(int, int) noexcept {}
    virtual void OnControlChange(int, int, int) noexcept {}
    virtual void OnProgramChange(int, int) noexcept {}
    virtual void OnPitchBend(int, int) noexcept {}

    bool IsStarted() const noexcept { return m_run.IsStarted(); }
    uint32_t StartTime() const noexcept { return m_run.StartTime(); }
    // Buffers still prepared (queued at the driver or being handed on).
    int PreparedBuffers() const noexcept;
    bool Alive() const noexcept;

protected:
    // platform::IMidiInHandler (driver thread)
    void OnShortData(uint32_t word, uint32_t time) noexcept override;

private:
    struct Buffer {
        platform::MIDIHDR header;
        char data[kBufferBytes];
    };

    bool SetUpBuffers();
    bool AddBuffer(platform::MIDIHDR& header) noexcept;
    bool AddAllBuffers() noexcept;
    bool IsOurs(const platform::MIDIHDR* header) const noexcept;
    void TakeBack(platform::MIDIHDR* header, uint32_t time, bool error) noexcept;

    mutable std::mutex m_portMutex; // guards m_port (not held while the port delivers)
    std::unique_ptr<platform::MidiInPort> m_port;
    std::unique_ptr<Buffer[]> m_buffers; // the 7 buffers, allocated on the first open
    platform::InputRunState m_run;
};

} // namespace zorvil
