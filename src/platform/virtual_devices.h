// Virtual devices for tests and headless runs: they stand in the device lists next to the real
// devices, but only while enabled (the environment variable ZORVIL_VIRTUAL_DEVICES=1, or
// EnableVirtualDevices(true)).
//
//   "Virtual Wave Out"              consumes buffers at the real-time rate on a thread of its own
//   "Virtual Wave Out (manual)"     consumes only when asked: Consume(frames), ConsumeAll()
//   "Virtual Wave Out (immediate)"  hands every buffer back as soon as it is written
//   "Virtual Wave In"               records what a test feeds it: Feed(frames)
//   "Virtual MIDI In"               delivers what a test sends it: Send(bytes)
//   "Virtual MIDI Out"              keeps what is sent to it: Messages()
//
// A test opens one through the device classes by name, then reaches the open port here:
//
//     EnableVirtualDevices(true);
//     waveOut.OpenWaveOutByName("Virtual Wave Out (manual)", 2205);
//     VirtualWaveOut* port = VirtualDevices::WaveOut();    // the port that is open now
//     port->Consume(2205);                                  // plays one buffer; done, event
//
// Each accessor returns the port of that kind opened last, or null once it is closed. Vanish()
// makes a port behave like a device that went away.
#pragma once

#include "platform/audio_device.h"
#include "platform/midi_port.h"

#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace zorvil::platform {

inline constexpr const char* kVirtualWaveOutName = "Virtual Wave Out";
inline constexpr const char* kVirtualWaveOutManualName = "Virtual Wave Out (manual)";
inline constexpr const char* kVirtualWaveOutImmediateName = "Virtual Wave Out (immediate)";
inline constexpr const char* kVirtualWaveInName = "Virtual Wave In";
inline constexpr const char* kVirtualMidiInName = "Virtual MIDI In";
inline constexpr const char* kVirtualMidiOutName = "Virtual MIDI Out";

void EnableVirtualDevices(bool enabled) noexcept;
bool VirtualDevicesEnabled() noexcept;

class VirtualWaveOut : public IWaveOutPort {
public:
    enum class Mode { RealTime, Manual, Immediate };

    VirtualWaveOut(Mode mode, DeviceEvent& event);
    ~VirtualWaveOut() override;

    bool Write(WAVEHDR& header) noexcept override;
    void Reset() noexcept override { m_queue.ReturnAll(); }
    bool Alive() const noexcept override { return !m_queue.Dead(); }

    Mode GetMode() const noexcept { return m_mode; }
    // Play up to `frames` frames now, on the caller's thread; returns the frames taken from
    // buffers (the rest is silence).
    size_t Consume(size_t frames);
    // Play every queued buffer to its end.
    void ConsumeAll();
    size_t Queued() const noexcept { return m_queue.Queued(); }
    size_t Written() const noexcept;
    // Interleaved stereo frames played so far (kept while capture is on).
    void SetCapture(bool on);
    std::vector<int16_t> Captured() const;
    void Vanish() noexcept { m_queue.MarkDead(); }

private:
    void Run() noexcept;

    const Mode m_mode;
    WaveOutQueue m_queue;
    mutable std::mutex m_mutex; // guards the capture and the scratch block
    bool m_capture = false;
    std::vector<int16_t> m_captured;
    std::vector<int16_t> m_scratch;
    size_t m_written = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread; // RealTime only
};

class VirtualWaveIn : public IWaveInPort {
public:
    explicit VirtualWaveIn(DeviceEvent& event) : m_queue(event) {}
    ~VirtualWaveIn() override;

    bool AddBuffer(WAVEHDR& header) noexcept override { return m_queue.Add(header); }
    bool Start() noexcept override;
    void Stop() noexcept override { m_queue.Stop(); }
    void Reset() noexcept override { m_queue.ReturnAll(); }
    bool Alive() const noexcept override { return !m_queue.Dead(); }

    // Record interleaved stereo frames as if they came from the driver (caller's thread).
    void Feed(std::span<const int16_t> interleaved) noexcept;
    void Vanish() noexcept { m_queue.MarkDead(); }

private:
    WaveInQueue m_queue;
};

class VirtualMidiIn : public MidiInPort {
public:
    explicit VirtualMidiIn(IMidiInHandler& handler) : MidiInPort(handler) {}
    ~VirtualMidiIn() override;

    bool Alive() const noexcept override { return !m_vanished.load(); }
    // One message as the driver hands it over, delivered on the caller's thread.
    void Send(std::span<const uint8_t> bytes) noexcept {
        if (Alive()) Deliver(bytes);
    }
    void Vanish() noexcept { m_vanished.store(true); }

private:
    std::atomic<bool> m_vanished{false};
};

class VirtualMidiOut : public IMidiOutPort {
public:
    ~VirtualMidiOut() override;

    bool SendShort(uint32_t word) noexcept override;
    bool SendLong(std::span<const uint8_t> bytes) noexcept override;
    bool Alive() const noexcept override { return !m_vanished.load(); }

    std::vector<std::vector<uint8_t>> Messages() const;
    void Clear();
    void Vanish() noexcept { m_vanished.store(true); }

private:
    mutable std::mutex m_mutex; // guards m_messages
    std::vector<std::vector<uint8_t>> m_messages;
    std::atomic<bool> m_vanished{false};
};

// The virtual ports open now (the one of each kind opened last), or null; and the journal of
// their opening and closing, in order ("open MIDI out", "close wave in", ...).
struct VirtualDevices {
    static VirtualWaveOut* WaveOut();
    static VirtualWaveIn* WaveIn();
    static VirtualMidiIn* MidiIn();
    static VirtualMidiOut* MidiOut();
    static std::vector<std::string> Journal();
    static void ClearJournal();
};

} // namespace zorvil::platform
