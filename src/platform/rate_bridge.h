// The device boundary between the program's 44100 Hz and a device's own sample rate.
//
// A wave output's queue holds the engine's 44100 Hz frames; OutputRateBridge plays them at the
// device's rate, through a RateConverter when the rates differ and straight from the queue when
// they are equal. InputRateBridge does the same the other way for a wave input: the device's
// frames, converted when needed, fill the queue's 44100 Hz buffers, so the wave input still
// clocks the engine with 44100 frames per second.
//
// The device's rate is set when the port opens and again whenever the audio system reports a
// new one (a JACK or PipeWire server changing its rate while running). SetDeviceRate makes the
// new converter on the calling thread and hands it to the device's thread without a lock; the
// device's thread never allocates and never waits.
//
//     OutputRateBridge out(queue);
//     out.SetDeviceRate(48000);                 // the opening thread, or a rate notification
//     out.Pull(left, right, frames);            // the device callback, 48000 Hz frames
#pragma once

#include "platform/audio_device.h"
#include "platform/rate_converter.h"
#include "platform/realtime_exchange.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace zorvil::platform {

namespace detail {

// What a bridge uses at one device rate: a converter, or none at the program's own rate.
struct RateStage {
    uint32_t deviceRate = kSampleRate;
    std::unique_ptr<RateConverter> converter;
};

// Makes the stage for a device rate (0 counts as the program's rate); null when no converter
// can be made for it.
std::unique_ptr<RateStage> MakeRateStage(uint32_t deviceRate, bool toDevice);

// The part both bridges share: the stage, swapped under a running device.
class RateBridgeBase {
public:
    // Any thread but the device's. False (and the previous rate kept) when no converter can be
    // made for `rate`.
    bool SetDeviceRate(uint32_t rate) noexcept;
    // The rate the device runs at, as last set (44100 until then).
    uint32_t DeviceRate() const noexcept { return m_rate.load(std::memory_order_acquire); }
    bool Converting() const noexcept { return DeviceRate() != kSampleRate; }

protected:
    explicit RateBridgeBase(bool toDevice) noexcept : m_toDevice(toDevice) {}
    RealtimeExchange<RateStage> m_stage;

private:
    const bool m_toDevice;
    std::atomic<uint32_t> m_rate{kSampleRate};
};

} // namespace detail

class OutputRateBridge : public detail::RateBridgeBase {
public:
    explicit OutputRateBridge(WaveOutQueue& queue) noexcept
        : RateBridgeBase(true), m_queue(queue) {}
    // The device's thread: `frames` frames at the device's rate; silence where the queue has
    // nothing.
    void Pull(float* left, float* right, size_t frames) noexcept;

private:
    WaveOutQueue& m_queue;
};

class InputRateBridge : public detail::RateBridgeBase {
public:
    explicit InputRateBridge(WaveInQueue& queue) noexcept : RateBridgeBase(false), m_queue(queue) {}
    // The device's thread: `frames` recorded frames at the device's rate.
    void Push(const float* left, const float* right, size_t frames) noexcept;

private:
    WaveInQueue& m_queue;
};

} // namespace zorvil::platform
