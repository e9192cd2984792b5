// CZorvilApp: the one application object. This is its engine part, free of Qt: the effect host,
// the engine worker, the block buffers, the engine timer, the output step, and the pattern,
// whose step clock runs on the same clock service and plays into the host's MIDI input queue.
//
// Blocks are made on request. When no wave input clocks the engine, a periodic timer of the
// clock service ticks ten times per block period (at least every minimum period) and
// OnEngineTimer counts the milliseconds since the last block; once more than a period has
// gathered it triggers a block of period x 44.1 frames in the block buffers and keeps the excess
// as carry for the next one, so the blocks follow the clock on average even though each tick
// is late by a little. A block the engine refuses (the previous one still runs) is skipped,
// never made up for. The worker runs the host's ProcessBlock, which ends in OutputBlock here:
// the render state "marker seen" becomes "writing", and the block goes on to the output device.
//
//     platform::RealClock clock;
//     CZorvilApp app(clock, ui);
//     app.SetOutputDevice(&waveOut);            // receives every finished block
//     app.SetStartTime(clock.Now());            // what StartEngine does when it starts
//     app.StartTimer(20);                       // 882-frame blocks
//     ...
//     app.StartTimer(0);                        // stops the timer (synchronously)
//
// Threads: StartTimer and the setters run on the user-interface thread; OnEngineTimer on the
// timer's thread (or the thread advancing a manual clock); OutputBlock on the engine worker.
// The timer's own fields (last tick, carry) belong to the timer thread while it runs; StartTimer
// writes them only with no timer running. The start time and the counters are atomics because
// other threads read or write them while the timer runs.
#pragma once

#include "app/user_interface.h"
#include "engine/block_processor.h"
#include "engine/engine_thread.h"
#include "engine/render_state.h"
#include "host/seq_host.h"
#include "platform/clock_service.h"
#include "sequencer/host_event_queue.h"
#include "sequencer/pattern.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace zorvil {

class CZorvilApp : public IBlockOutput {
public:
    static constexpr int kSampleRate = 44100;
    static constexpr int kBlockBufferFrames = 44100; // each of the two m_pBlock buffers
    // The longest timer period whose block fits the host's mix buffers (725 x 44.1 = 31972).
    static constexpr uint32_t kMaxTimerPeriod = CSeqHost::kMixFrames * 1000 / kSampleRate;

    CZorvilApp(platform::IClockService& clock, IUserInterface& ui);
    ~CZorvilApp() override;

    CZorvilApp(const CZorvilApp&) = delete;
    CZorvilApp& operator=(const CZorvilApp&) = delete;

    // Starts the engine timer with a block period in ms; StartTimer(0) stops it. False when the
    // period is below the timer's minimum period (or above kMaxTimerPeriod) or no timer could
    // be started. A running timer is stopped before a new one starts.
    bool StartTimer(uint32_t period);
    // The timer's tick: triggers a block once more than a period has passed (see above).
    void OnEngineTimer() noexcept;
    // The output step (engine worker): the render state 3 becomes 4, then the block goes to the
    // output device.
    void OutputBlock(float* const* buffers, int frames) noexcept override;

    // Where finished blocks go (the wave output; a capture in tests). Null: nowhere.
    void SetOutputDevice(IBlockOutput* output) noexcept { m_pOutputDevice.store(output); }
    // The time of the last engine start (StartEngine sets it): block time stamps count from it.
    void SetStartTime(uint32_t now) noexcept { m_dwStartTime.store(now); }
    [[nodiscard]] uint32_t StartTime() const noexcept { return m_dwStartTime.load(); }

    CSeqHost& Host() noexcept { return m_host; }
    CPattern& Pattern() noexcept { return m_pattern; }
    CEngineThread& EngineThread() noexcept { return *m_pEngineThread; }
    RenderStateWord& GetRenderState() noexcept { return m_renderState; }
    platform::IClockService& Clock() noexcept { return m_clock; }
    IUserInterface& UserInterface() noexcept { return m_ui; }
    float* const* BlockBuffers() const noexcept { return m_pBlock; }
    [[nodiscard]] const platform::TimerCaps& GetTimerCaps() const noexcept { return m_timerCaps; }

    // The engine timer's state, for the status display and tests.
    [[nodiscard]] uint32_t Period() const noexcept { return m_nPeriod; }
    [[nodiscard]] platform::TimerId GetTimerId() const noexcept { return m_nTimerId; }
    [[nodiscard]] uint32_t Carry() const noexcept { return m_dwCarry.load(); }
    [[nodiscard]] uint32_t BlocksTriggered() const noexcept { return m_nBlocksTriggered.load(); }
    [[nodiscard]] uint32_t BlocksRefused() const noexcept { return m_nBlocksRefused.load(); }
    // The time stamp of the last block the engine accepted.
    [[nodiscard]] uint32_t LastBlockTime() const noexcept { return m_dwLastBlockTime.load(); }

private:
    platform::IClockService& m_clock;
    IUserInterface& m_ui;

    RenderStateWord m_renderState{RenderState::Idle};
    CSeqHost m_host;
    std::unique_ptr<float[]> m_blockStorage;
    float* m_pBlock[2] = {};
    std::unique_ptr<CEngineThread> m_pEngineThread;
    std::atomic<IBlockOutput*> m_pOutputDevice{nullptr};
    // After the host: the pattern plays into it, so it stops first.
    CHostEventQueue m_hostEvents{m_host};
    CPattern m_pattern;

    // The engine timer (StartTimer / OnEngineTimer).
    platform::TimerCaps m_timerCaps;
    platform::TimerId m_nTimerId = platform::kNoTimer;
    uint32_t m_nPeriod = 0;     // block period in ms; 0 while no timer runs
    uint32_t m_nResolution = 0; // the resolution begun for the timer, ended when it stops
    std::atomic<uint32_t> m_dwLastTick{0};
    std::atomic<uint32_t> m_dwCarry{0};
    std::atomic<uint32_t> m_dwStartTime{0};
    std::atomic<uint32_t> m_nBlocksTriggered{0};
    std::atomic<uint32_t> m_nBlocksRefused{0};
    std::atomic<uint32_t> m_dwLastBlockTime{0};
};

} // namespace zorvil
