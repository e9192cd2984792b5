// InputRunState: whether an input device (wave or MIDI) hands on what it receives, and the time
// its time stamps count from. The driver's thread reads both on every delivery; the interface
// thread changes them in the device's Start and Stop.
//
//     m_run.Begin(platform::DeviceTimeMs());        // the start time first, then the flag
//     ...
//     m_run.End([&] { port->Stop(); });             // flag off, grace, stop the port, time 0
//
// End waits kStopGrace between clearing the flag and stopping the port, so that a delivery
// already in progress on the driver's thread sees the flag before the port stops.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

namespace zorvil::platform {

class InputRunState {
public:
    static constexpr std::chrono::milliseconds kStopGrace{10};

    bool IsStarted() const noexcept { return m_bStarted.load(std::memory_order_acquire); }
    uint32_t StartTime() const noexcept { return m_dwStartTime.load(std::memory_order_acquire); }
    void SetStartTime(uint32_t ms) noexcept { m_dwStartTime.store(ms, std::memory_order_release); }

    void Begin(uint32_t startTime) noexcept {
        SetStartTime(startTime); // a message arriving at once is stamped from it
        m_bStarted.store(true, std::memory_order_release);
    }
    // A start that the port refused.
    void Abandon() noexcept {
        m_bStarted.store(false, std::memory_order_release);
        SetStartTime(0);
    }
    template <typename StopPort>
    void End(StopPort&& stopPort) {
        m_bStarted.store(false, std::memory_order_release);
        std::this_thread::sleep_for(kStopGrace);
        stopPort();
        SetStartTime(0);
    }

private:
    std::atomic<bool> m_bStarted{false};
    std::atomic<uint32_t> m_dwStartTime{0};
};

} // namespace zorvil::platform
