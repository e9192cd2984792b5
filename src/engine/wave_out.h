// CWaveOut: a wave output device. Buffers written to it are played in order and come back with
// the done bit set; the device thread then calls OnEvent, where a derived class collects them.
//
//     CWaveOut out;
//     out.OpenByName("Wave Mapper");               // or an entry of WaveOutDeviceList()
//     out.Write(buffer, false);                     // prepared and queued; false: refused
//     out.Reset();                                  // every queued buffer comes back done
//     out.Close();
//
// Threads: Write on the engine thread; Open, Reset and Close on the interface thread; OnEvent
// and OnDone on the device thread. The port is guarded by a lock that Write holds only while it
// queues one buffer, so a Close racing a late Write refuses that Write instead of crashing.
#pragma once

#include "engine/wave_device.h"

#include <functional>
#include <memory>
#include <mutex>

namespace zorvil {

class CWaveOut : public CWaveDevice {
public:
    CWaveOut() = default;
    ~CWaveOut() override;

    // Close if open; the device list must not be empty; the id must name a device (-1: the
    // mapper); starts the device thread, opens the port.
    bool Open(int id, const platform::WAVEFORMATEX* format = nullptr) override;
    // Close if open; compare the name, case-sensitively, with "Wave Mapper" and the list; the
    // first match is opened and its name kept. No match: the device stays closed.
    bool OpenByName(std::string_view name, const platform::WAVEFORMATEX* format = nullptr) override;
    // Close if open; opens a port the caller makes, without looking at the device lists, so that
    // no audio system is touched; `name` is what Name() reports (offline rendering).
    using PortMaker =
        std::function<std::unique_ptr<platform::IWaveOutPort>(platform::DeviceEvent&)>;
    bool OpenPort(std::string_view name, const PortMaker& make);
    // Every queued buffer comes back marked done.
    bool Reset() noexcept override;
    bool PrepareHeader(platform::WAVEHDR& header) noexcept override;
    // Fails while the header is still queued at the device.
    bool UnprepareHeader(platform::WAVEHDR& header) noexcept override;
    bool Close() override;
    void OnEvent() noexcept override {}

    // Prepare and queue. With `wait`, return only when the buffer has been played (or the
    // device went away), unprepared again.
    bool Write(CWaveBuffer& buffer, bool wait) noexcept;

    // False once the device has gone away (the JACK server stopped, ...).
    bool Alive() const noexcept;
    // The rate the device runs at (0 when closed); not 44100: the port converts.
    uint32_t DeviceRate() const noexcept;
    // How often the open device played silence because the engine fell behind (measurements).
    uint32_t Gaps() const noexcept;
    // How late (in frames) a buffer may come without the device running dry; kept for the
    // devices opened later too. The device plays that much silence, plus one of its periods,
    // before the first buffer after a start (platform::WaveOutQueue::SetCushion).
    void SetCushion(size_t frames) noexcept;

    virtual void OnDone(platform::WAVEHDR&) noexcept {}

private:
    // Keeps an opened port (false for none) and gives it the cushion.
    bool AttachPort(std::unique_ptr<platform::IWaveOutPort> port);

    mutable std::mutex m_portMutex; // guards m_port
    std::unique_ptr<platform::IWaveOutPort> m_port;
    size_t m_cushion = 0; // guarded by m_portMutex
};

} // namespace zorvil
