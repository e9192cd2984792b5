// The MIDI port layer: MIDI inputs and outputs by name, with the behaviour the MIDI device
// classes (CMidiIn, CMidiOut) were designed around.
//
// An input port delivers on the driver's thread, once started: every short message as a packed
// word (status | data1 << 8 | data2 << 16) and every system-exclusive message through the
// buffers (platform::MIDIHDR) the owner queued with AddBuffer, 8192 bytes at most per buffer,
// each with a time stamp in milliseconds counted from Start. A system-exclusive message that is
// cut short (no closing 0xF7) comes back through OnLongError instead. Reset hands every queued
// buffer back. An output port sends short messages and whole system-exclusive messages.
//
//     struct Handler : IMidiInHandler { ... };
//     auto in = OpenMidiInPort(0, handler);          // list: MidiInPorts()
//     in->AddBuffer(header); in->Start();            // handler.OnShortData(word, ms) ...
//     auto out = OpenMidiOutPort(-1);                // -1: "MIDI Mapper", a port of our own
//     out->SendShort(0x403C90);
//
// Ports come from the ALSA sequencer (RtMidi), from Zorvil's own JACK client ("JACK MIDI": the
// ports Zorvil:midi_in and Zorvil:midi_out), and from the virtual ports of tests and headless
// runs. "MIDI Mapper" (-1) is a port of Zorvil's own that other programs connect to: an ALSA
// sequencer port named "MIDI Mapper", or the JACK MIDI port when there is no sequencer.
#pragma once

#include "platform/mm_headers.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace zorvil::platform {

inline constexpr const char* kMidiMapperName = "MIDI Mapper";
inline constexpr size_t kMidiLongBufferBytes = 8192;

// What an input port calls on the driver's thread.
class IMidiInHandler {
public:
    virtual ~IMidiInHandler() = default;
    virtual void OnShortData(uint32_t word, uint32_t timeMs) noexcept = 0;
    // A queued buffer comes back (done, dwBytesRecorded bytes): data, or 0 bytes after Reset.
    virtual void OnLongData(MIDIHDR* header, uint32_t timeMs) noexcept = 0;
    // A buffer holding an incomplete system-exclusive message.
    virtual void OnLongError(MIDIHDR* header, uint32_t timeMs) noexcept = 0;
};

// An input port. The base class holds the rules; the audio systems feed Deliver().
class MidiInPort {
public:
    static constexpr size_t kMaxBuffers = 16;

    explicit MidiInPort(IMidiInHandler& handler) noexcept : m_handler(handler) {}
    virtual ~MidiInPort() = default;
    MidiInPort(const MidiInPort&) = delete;
    MidiInPort& operator=(const MidiInPort&) = delete;

    // Queue a prepared buffer for system-exclusive data (any thread, also from the handler).
    bool AddBuffer(MIDIHDR& header) noexcept;
    bool Start() noexcept;
    void Stop() noexcept;
    // Stop, and hand every queued buffer back through OnLongData with 0 bytes.
    void Reset() noexcept;
    bool Started() const noexcept { return m_started.load(std::memory_order_acquire); }
    virtual bool Alive() const noexcept { return true; }

    // Driver thread: one complete message as the audio system hands it over, `ageMs`
    // milliseconds after it arrived (an audio system that hands over a period's messages at
    // once knows when in the period each came). Implementations make sure that no delivery runs
    // any more once their destructor has returned.
    void Deliver(std::span<const uint8_t> bytes, uint32_t ageMs = 0) noexcept;

private:
    MIDIHDR* TakeBuffer() noexcept;
    uint32_t Now() const noexcept;

    IMidiInHandler& m_handler;
    std::mutex m_mutex; // guards the buffer ring
    std::array<MIDIHDR*, kMaxBuffers> m_ring{};
    size_t m_head = 0;
    size_t m_count = 0;
    std::atomic<bool> m_started{false};
    std::atomic<uint32_t> m_startTime{0};
};

// An output port. Any thread may send; implementations serialise their senders.
class IMidiOutPort {
public:
    virtual ~IMidiOutPort() = default;
    virtual bool SendShort(uint32_t word) noexcept = 0;
    // A whole message; returns once the driver holds the bytes.
    virtual bool SendLong(std::span<const uint8_t> bytes) noexcept = 0;
    virtual void Reset() noexcept {}
    virtual bool Alive() const noexcept { return true; }
};

// Bytes of a packed short message: by its status byte (1, 2 or 3).
size_t ShortMessageBytes(uint32_t word) noexcept;

struct MidiPortInfo {
    std::string name;
};

std::vector<MidiPortInfo> MidiInPorts();
std::vector<MidiPortInfo> MidiOutPorts();

// Open entry `id` of the current list (-1: "MIDI Mapper"); null when that fails.
std::unique_ptr<MidiInPort> OpenMidiInPort(int id, IMidiInHandler& handler);
std::unique_ptr<IMidiOutPort> OpenMidiOutPort(int id);

namespace detail {

struct MidiInEntry {
    std::string name;
    std::function<std::unique_ptr<MidiInPort>(IMidiInHandler&)> open;
};
struct MidiOutEntry {
    std::string name;
    std::function<std::unique_ptr<IMidiOutPort>()> open;
};

void AddJackMidiIn(std::vector<MidiInEntry>& list);
void AddJackMidiOut(std::vector<MidiOutEntry>& list);
std::unique_ptr<MidiInPort> OpenJackMidiIn(IMidiInHandler& handler);
std::unique_ptr<IMidiOutPort> OpenJackMidiOut();

void AddRtMidiIn(std::vector<MidiInEntry>& list);
void AddRtMidiOut(std::vector<MidiOutEntry>& list);
std::unique_ptr<MidiInPort> OpenRtMidiMapperIn(IMidiInHandler& handler);
std::unique_ptr<IMidiOutPort> OpenRtMidiMapperOut();

void AddVirtualMidiIn(std::vector<MidiInEntry>& list);
void AddVirtualMidiOut(std::vector<MidiOutEntry>& list);

} // namespace detail

} // namespace zorvil::platform
