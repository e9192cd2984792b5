// The wave device layer: sound devices by name, opened as queues of buffers.
//
// The wave device classes (CWaveOut, CWaveIn) were designed around a driver that takes buffers
// (platform::WAVEHDR) into a queue, works through them in order and hands each one back with
// its done bit set, signalling the owner's device event. This layer gives exactly that on the
// Linux audio systems: a JACK client of our own (named "Zorvil"), PulseAudio and ALSA through
// RtAudio, and virtual devices for tests and headless runs.
//
// Every device is reached through a list of names per direction. Entry -1 is "Wave Mapper",
// the default output of the first audio system that works (JACK when a server runs, else
// PulseAudio, else ALSA). The format the program hands over and gets back is fixed: 44100 Hz,
// 16-bit, stereo. A device that runs at another rate (JACK and PipeWire take the server's rate,
// an ALSA card may refuse 44100 Hz) is carried to and from it by a sample-rate converter inside
// the port (rate_bridge.h); DeviceRate() tells the rate the device runs at.
//
//     DeviceEvent event;
//     auto list = WaveOutDevices();                  // list[i].name
//     std::unique_ptr<IWaveOutPort> port = OpenWaveOutPort(-1, event);
//     header.dwFlags |= WHDR_PREPARED;
//     port->Write(header);                           // later: WHDR_DONE set, event signalled
//
// A device that vanishes (the JACK server stops, a card is unplugged) hands every queued
// buffer back as done and refuses further writes; nothing waits for it.
#pragma once

#include "platform/mm_headers.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zorvil::platform {

// The `timeGetTime` stand-in used by the devices: milliseconds of the monotonic clock as an
// unsigned 32-bit value that wraps.
uint32_t DeviceTimeMs() noexcept;

// The wave format record. The program uses only 44100 Hz, 16-bit, stereo.
struct WAVEFORMATEX {
    uint16_t wFormatTag = 1; // PCM
    uint16_t nChannels = 2;
    uint32_t nSamplesPerSec = 44100;
    uint32_t nAvgBytesPerSec = 176400;
    uint16_t nBlockAlign = 4;
    uint16_t wBitsPerSample = 16;
    uint16_t cbSize = 0;
};

inline constexpr int kSampleRate = 44100;
inline constexpr int kChannels = 2;

inline constexpr const char* kWaveMapperName = "Wave Mapper";

// An auto-reset event: Set() wakes one Wait(); several Set()s before a Wait() count as one.
// Set() never blocks, so a driver's real-time thread may call it.
class DeviceEvent {
public:
    void Set() noexcept {
        m_signalled.store(true, std::memory_order_release);
        m_signalled.notify_one();
    }
    // Returns once signalled and clears the signal; a Set() that comes after the clear stays
    // for the next Wait().
    void Wait() noexcept {
        while (!m_signalled.exchange(false, std::memory_order_acq_rel))
            m_signalled.wait(false, std::memory_order_acquire);
    }

private:
    std::atomic<bool> m_signalled{false};
};

// One wave output of the driver: a queue of headers played in order.
class IWaveOutPort {
public:
    virtual ~IWaveOutPort() = default;
    // Queue a prepared header of interleaved 16-bit stereo frames (dwBufferLength bytes).
    // false when the device refuses it (queue full, device gone); nothing changes then.
    virtual bool Write(WAVEHDR& header) noexcept = 0;
    // Stop playing and hand every queued header back, done, in order.
    virtual void Reset() noexcept = 0;
    // false once the device has vanished.
    virtual bool Alive() const noexcept = 0;
    // The rate the device runs at; the port converts when it is not kSampleRate.
    virtual uint32_t DeviceRate() const noexcept { return kSampleRate; }
    // How often the device had to play silence between buffers (see WaveOutQueue::Gaps).
    virtual uint32_t Gaps() const noexcept { return 0; }
    // How late (in frames) a buffer may come without the device running dry (see
    // WaveOutQueue::SetCushion). Devices that do not play in real time ignore it.
    virtual void SetCushion(size_t /*frames*/) noexcept {}
};

// One wave input of the driver: queued headers are filled while started.
class IWaveInPort {
public:
    virtual ~IWaveInPort() = default;
    virtual bool AddBuffer(WAVEHDR& header) noexcept = 0;
    virtual bool Start() noexcept = 0;
    // Stop recording; a partly filled buffer comes back done with what it holds.
    virtual void Stop() noexcept = 0;
    // Stop and hand every queued header back, done, in order.
    virtual void Reset() noexcept = 0;
    virtual bool Alive() const noexcept = 0;
    // The rate the device runs at; the port converts when it is not kSampleRate.
    virtual uint32_t DeviceRate() const noexcept { return kSampleRate; }
};

// The queue of a wave output, shared by every kind of output port. Write() runs on the engine
// thread, Pull() on the driver's thread, Reset() on the interface thread; one mutex guards the
// queue and the driver side only ever tries to lock it, for a few microseconds at most (it plays
// silence for that period instead of waiting longer). Handed-back headers signal the owner's
// event.
//
// The cushion: the engine makes its blocks by its own clock (a timer, or a wave input), the
// device takes a period's frames by its clock, and neither waits for the other. Played the moment
// they come, the buffers would leave the queue empty at some of the device's pulls (a block a
// little late, or a pull just before the block it needs), and each such pull plays silence: a
// click. So when buffers start coming (after a reset, or after the queue ran dry) the device
// first plays silence for the cushion, the largest period it has pulled plus how late the owner
// says a buffer may come: from then on the queue holds at least that much ahead of the device.
// It costs that much latency; a cushion of 0 plays buffers as they come.
class WaveOutQueue {
public:
    static constexpr size_t kCapacity = 64;

    explicit WaveOutQueue(DeviceEvent& event) noexcept : m_event(event) {}

    bool Push(WAVEHDR& header) noexcept;
    // Any thread: the frames a buffer may come late by; used from the next start on.
    void SetCushion(size_t frames) noexcept { m_cushion.store(frames, std::memory_order_relaxed); }
    // Fills `frames` stereo frames (left/right float arrays, -1..1) from the queue, silence
    // where there is nothing; returns the frames the queue supplied (the cushion's silence and
    // the buffers after it).
    size_t PullFloat(float* left, float* right, size_t frames) noexcept;
    // The same as interleaved 16-bit frames.
    size_t PullInt16(int16_t* interleaved, size_t frames) noexcept;
    void ReturnAll() noexcept;
    // The device is gone: hand everything back and refuse what follows.
    void MarkDead() noexcept;
    bool Dead() const noexcept { return m_dead.load(std::memory_order_acquire); }
    size_t Queued() const noexcept;
    // Audible drop-outs: how often, since the queue was made, the device played silence for a
    // period (or part of one) and buffers followed without a reset in between: the engine fell
    // behind. A queue that runs dry at the end of playing and is reset counts nothing.
    uint32_t Gaps() const noexcept { return m_gaps.load(std::memory_order_relaxed); }

private:
    template <typename Sink>
    size_t Pull(size_t frames, Sink&& sink) noexcept;
    void Complete(WAVEHDR& header) noexcept;

    DeviceEvent& m_event;
    mutable std::mutex m_mutex; // guards the ring and m_offset
    std::array<WAVEHDR*, kCapacity> m_ring{};
    size_t m_head = 0;
    size_t m_count = 0;
    size_t m_offset = 0;      // bytes of the front header already played
    bool m_dry = true;        // the queue ran dry: the next buffer gets a cushion (guarded)
    size_t m_owed = 0;        // cushion frames still to play before the front (guarded)
    size_t m_largestPull = 0; // the device's longest pull so far (guarded)
    std::atomic<size_t> m_cushion{0};
    std::atomic<bool> m_playing{false}; // a buffer came since the last reset
    std::atomic<uint32_t> m_gaps{0};
    std::atomic<bool> m_dead{false};
};

// The queue of a wave input; Push() runs on the driver's thread (it tries to lock for a few
// microseconds at most, and a period is lost when another thread holds the queue longer),
// everything else on the owner's threads.
class WaveInQueue {
public:
    static constexpr size_t kCapacity = 512;

    explicit WaveInQueue(DeviceEvent& event) noexcept : m_event(event) {}

    bool Add(WAVEHDR& header) noexcept;
    void Start() noexcept;
    void Stop() noexcept;
    void ReturnAll() noexcept;
    void MarkDead() noexcept;
    bool Dead() const noexcept { return m_dead.load(std::memory_order_acquire); }
    bool Started() const noexcept { return m_started.load(std::memory_order_acquire); }
    // Driver thread: recorded frames, left/right floats in -1..1 or interleaved 16-bit.
    void PushFloat(const float* left, const float* right, size_t frames) noexcept;
    void PushInt16(const int16_t* interleaved, size_t frames) noexcept;

private:
    template <typename Source>
    void Push(size_t frames, Source&& source) noexcept;
    void CompleteFrontLocked() noexcept;

    DeviceEvent& m_event;
    std::mutex m_mutex; // guards the ring
    std::array<WAVEHDR*, kCapacity> m_ring{};
    size_t m_head = 0;
    size_t m_count = 0;
    std::atomic<bool> m_started{false};
    std::atomic<bool> m_dead{false};
};

// Converts between the device's 16-bit samples and the float samples of the audio systems.
inline float SampleToFloat(int16_t v) noexcept {
    return static_cast<float>(v) / 32768.0f;
}
int16_t FloatToSample(float x) noexcept;

// A device of the lists: its name, and the rate it would run at (0: not known).
struct WaveDeviceInfo {
    std::string name;
    uint32_t rate = 0;
};

std::vector<WaveDeviceInfo> WaveOutDevices();
std::vector<WaveDeviceInfo> WaveInDevices();
// The rate of the device "Wave Mapper" stands for now (0: none opens).
uint32_t WaveMapperRate();

// Open entry `id` of the current list (-1: "Wave Mapper"); null when that fails.
std::unique_ptr<IWaveOutPort> OpenWaveOutPort(int id, DeviceEvent& event);
std::unique_ptr<IWaveInPort> OpenWaveInPort(int id, DeviceEvent& event);

} // namespace zorvil::platform
