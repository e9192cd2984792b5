// CEngineThread: the engine worker and its trigger.
//
// One worker thread runs one block at a time. A clock (the engine timer, or the wave input when
// it records) calls Trigger with the block's buffers, frame count, channel count and time stamp;
// the worker wakes and runs the block processor (the host's ProcessBlock) over it. A busy flag
// makes sure at most one block is pending or running: a trigger that arrives before the previous
// block has finished is refused and changes nothing, so a slow block costs the next block, never
// the one in hand. The busy flag is guarded by a timed mutex; a caller that cannot have it
// within 1000 ms treats the engine as busy.
//
// The worker asks for SCHED_FIFO at the highest priority granted and runs at normal priority
// when real-time scheduling is refused.
//
//     CEngineThread engine(host);                      // the worker starts at once and waits
//     if (!engine.Trigger(buffers, 882, 2, time)) { /* busy: this block is skipped */ }
//     engine.Stop();                                   // joins the worker
//
// Threads: Trigger and IsBusy come from the clock threads (timer, wave input); Start and Stop
// from the user-interface thread. The block parameters are written by the accepted trigger
// before it wakes the worker and read by the worker after it woke: the wake-up orders them.
#pragma once

#include "engine/block_processor.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace zorvil {

class CEngineThread {
public:
    static constexpr std::chrono::milliseconds kLockTimeout{1000};

    // Starts the worker at once (check IsRunning for the outcome).
    explicit CEngineThread(IBlockProcessor& host);
    virtual ~CEngineThread();

    CEngineThread(const CEngineThread&) = delete;
    CEngineThread& operator=(const CEngineThread&) = delete;

    // Stops any worker and starts a new one. False when no thread could be made.
    bool Start();
    // Stops the worker and waits until it has left; a block still pending is not run.
    // Called from the worker itself it only asks it to leave.
    void Stop();

    // True while a block is pending or running (or when the busy flag's lock could not be had).
    bool IsBusy();
    // Hands a block to the worker. False (the block is not made, nothing changes) while
    // another block is pending or running, or when no worker runs.
    bool Trigger(float* const* buffers, int frames, int channels, uint32_t time);

    [[nodiscard]] bool IsRunning() const noexcept { return m_bRunning.load(); }
    // Whether the worker was granted real-time scheduling.
    [[nodiscard]] bool IsRealtime() const noexcept { return m_bRealtime.load(); }

private:
    void Run() noexcept;

    // The wake-up: an auto-reset event (a trigger or Stop sets it; the worker's wait clears it).
    std::mutex m_eventMutex;
    std::condition_variable m_event;
    bool m_bSignalled = false; // guarded by m_eventMutex
    bool m_bStop = false;      // guarded by m_eventMutex

    std::thread m_thread;
    IBlockProcessor& m_host;

    // The pending block: written by the accepted trigger, read by the worker (see above).
    int m_nChannels = 0;
    int m_nFrames = 0;
    float* const* m_ppBuffers = nullptr;
    uint32_t m_dwTime = 0;

    // True from an accepted trigger until the block is finished. Set and tested under m_mutex;
    // atomic because the worker clears it even when its lock timed out.
    std::timed_mutex m_mutex;
    std::atomic<bool> m_bBusy{false};

    std::atomic<bool> m_bRunning{false};
    std::atomic<bool> m_bRealtime{false};
};

} // namespace zorvil
