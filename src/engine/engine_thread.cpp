#include "engine/engine_thread.h"

#include "platform/clock_thread_priority.h"

#include <system_error>

namespace zorvil {

namespace {

// Waits up to the lock time-out for the busy flag's mutex. The deadline is taken on the system
// clock so that the wait is pthread_mutex_timedlock, which ThreadSanitizer follows (it does not
// see the steady-clock variant). A wall-clock jump can only stretch or shorten this time-out,
// which guards against a stuck thread, not a timing.
std::unique_lock<std::timed_mutex> LockBusyFlag(std::timed_mutex& mutex) {
    return std::unique_lock(mutex, std::chrono::system_clock::now() + CEngineThread::kLockTimeout);
}

} // namespace

CEngineThread::CEngineThread(IBlockProcessor& host) : m_host(host) {
    Start();
}

CEngineThread::~CEngineThread() {
    Stop();
    if (m_thread.joinable())
        m_thread.detach(); // destroyed by its own worker: nothing is left to wait for
}

bool CEngineThread::Start() {
    Stop();
    {
        const std::lock_guard lock(m_eventMutex);
        m_bSignalled = false;
        m_bStop = false;
    }
    m_bBusy.store(false);
    m_bRunning.store(true);
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        m_bRunning.store(false);
        return false;
    }
    return true;
}

void CEngineThread::Stop() {
    if (!m_thread.joinable()) return;
    m_bRunning.store(false);
    {
        const std::lock_guard lock(m_eventMutex);
        m_bStop = true;
        m_bSignalled = true;
    }
    m_event.notify_one();
    if (m_thread.get_id() == std::this_thread::get_id())
        return; // asked by the worker itself: it leaves when this block is done
    m_thread.join();
    // No block is pending or running any more; a block that was pending is dropped.
    m_bBusy.store(false);
}

bool CEngineThread::IsBusy() {
    const auto lock = LockBusyFlag(m_mutex);
    if (!lock.owns_lock()) return true;
    return m_bBusy.load();
}

bool CEngineThread::Trigger(float* const* buffers, int frames, int channels, uint32_t time) {
    if (!m_bRunning.load()) return false;
    {
        // Testing and setting the flag under one lock: two clocks triggering at once cannot
        // both win and overwrite each other's block.
        const auto lock = LockBusyFlag(m_mutex);
        if (!lock.owns_lock() || m_bBusy.load()) return false;
        m_bBusy.store(true);
    }
    m_ppBuffers = buffers;
    m_nFrames = frames;
    m_nChannels = channels;
    m_dwTime = time;
    {
        const std::lock_guard lock(m_eventMutex);
        m_bSignalled = true;
    }
    m_event.notify_one();
    return true;
}

void CEngineThread::Run() noexcept {
    m_bRealtime.store(platform::RequestRealtimePriority());
    for (;;) {
        {
            std::unique_lock lock(m_eventMutex);
            m_event.wait(lock, [this] { return m_bSignalled; });
            m_bSignalled = false;
            if (m_bStop) return;
        }
        m_host.ProcessBlock(m_ppBuffers, m_nFrames, m_nChannels, m_dwTime);
        // The flag is cleared even when the lock cannot be had: a lost block is better than
        // an engine that stays busy for ever.
        const auto lock = LockBusyFlag(m_mutex);
        m_bBusy.store(false);
    }
}

} // namespace zorvil
