// CWaveIn: a wave input device. It keeps a ring of buffers queued at the driver; each buffer the
// driver fills comes back through the device thread, is stamped with the time its first frame
// was recorded and handed to OnBlock, then queued again. Buffers that come back while the input
// is stopped are not delivered and stay unprepared, which is what lets Reset finish.
//
//     CWaveIn in;
//     in.SetBufferCount(20); in.SetBufferFrames(2205);
//     in.OpenByName("JACK");                      // buffers allocated and queued
//     in.Start();                                 // OnBlock(buffer) per recorded buffer
//     in.Stop(); in.Reset(); in.Close();
//
// Time stamps: t = now - start time - d, with d = dwBytesRecorded * 25 * 40 / average bytes per
// second (unsigned 32-bit arithmetic: the buffer's duration in ms). Engine control may replace
// the start time with the engine's own start (SetStartTime).
//
// Threads: OnEvent, OnData and OnBlock on the device thread; Start, Stop, Reset and Close on the
// interface thread. Stop clears the started flag and waits 10 ms before stopping the driver, so
// that a delivery in progress sees it.
#pragma once

#include "engine/wave_device.h"
#include "platform/input_run_state.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace zorvil {

class CWaveIn : public CWaveDevice {
public:
    static constexpr int kDefaultBufferCount = 10;
    static constexpr int kDefaultBufferFrames = 4410;

    CWaveIn() = default;
    ~CWaveIn() override;

    bool Open(int id, const platform::WAVEFORMATEX* format = nullptr) override;
    // Close if open; compare with "Wave Mapper" and the input list, case-sensitively.
    bool OpenByName(std::string_view name, const platform::WAVEFORMATEX* format = nullptr) override;
    bool Reset() noexcept override;
    bool PrepareHeader(platform::WAVEHDR& header) noexcept override;
    bool UnprepareHeader(platform::WAVEHDR& header) noexcept override;
    bool Close() override;
    void OnEvent() noexcept override;

    virtual bool Start() noexcept;
    virtual bool Stop() noexcept;
    virtual void OnBlock(CWaveBuffer&) noexcept {}
    virtual void OnData(platform::WAVEHDR& header) noexcept;

    void SetBufferCount(int count) noexcept { m_nBufferCount = count; }
    void SetBufferFrames(int frames) noexcept { m_nBufferFrames = frames; }
    int BufferCount() const noexcept { return m_nBufferCount; }
    int BufferFrames() const noexcept { return m_nBufferFrames; }
    int AllocatedBuffers() const noexcept { return static_cast<int>(m_buffers.size()); }
    // Buffers still prepared (queued at the driver or not yet handed on).
    int PreparedBuffers() const noexcept;

    bool IsStarted() const noexcept { return m_run.IsStarted(); }
    uint32_t StartTime() const noexcept { return m_run.StartTime(); }
    void SetStartTime(uint32_t ms) noexcept { m_run.SetStartTime(ms); }
    bool Alive() const noexcept;
    // The rate the device runs at (0 when closed); not 44100: the port converts.
    uint32_t DeviceRate() const noexcept;
    // Waits until no buffer is prepared any more (after Reset); false after `limit`.
    bool WaitForAllUnprepared(std::chrono::milliseconds limit);

private:
    bool AllocateBuffers();
    bool AddBuffer(platform::WAVEHDR& header) noexcept;
    bool AddAllBuffers() noexcept;

    mutable std::mutex m_portMutex; // guards m_port
    std::unique_ptr<platform::IWaveInPort> m_port;
    platform::InputRunState m_run;
    // The buffer ring; reallocated only while the device is closed (no device thread).
    std::vector<std::unique_ptr<CWaveBuffer>> m_buffers;
    int m_nBufferCount = kDefaultBufferCount;
    int m_nBufferFrames = kDefaultBufferFrames;
};

} // namespace zorvil
