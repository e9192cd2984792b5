#include "platform/clock_real.h"

#include "platform/clock_thread_priority.h"

#include <sys/prctl.h>
#include <time.h>

#include <chrono>
#include <condition_variable>
#include <system_error>
#include <utility>

namespace zorvil::platform {

// The timer's own thread and Cancel share this: `stop` ends the thread's wait at once.
// std::condition_variable::wait_until on steady_clock sleeps on CLOCK_MONOTONIC.
struct RealClock::TimerState {
    std::mutex mutex; // guards `stop`
    std::condition_variable wake;
    bool stop = false;
    uint32_t period = 0;
    std::chrono::steady_clock::time_point start; // when the timer was asked for
    TimerCallback callback;
};

namespace {
using Clock = std::chrono::steady_clock;
} // namespace

void RealClock::RunTimer(const std::shared_ptr<TimerState>& state) noexcept {
    RequestRealtimePriority();
    // Normal threads wake up to 50 us after their deadline by default; ask for none.
    (void)prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    const auto period = std::chrono::milliseconds(state->period);
    auto deadline = state->start + period;
    for (;;) {
        {
            std::unique_lock lock(state->mutex);
            if (state->wake.wait_until(lock, deadline, [&] { return state->stop; })) return;
        }
        state->callback();
        deadline += period;
        // After an overrun of whole periods, drop the missed ticks but keep the phase.
        const auto now = Clock::now();
        if (deadline < now) deadline += ((now - deadline) / period + 1) * period;
    }
}

RealClock::~RealClock() {
    std::map<TimerId, Entry> timers;
    {
        const std::lock_guard lock(m_mutex);
        timers.swap(m_timers);
    }
    for (auto& [id, entry] : timers) {
        {
            const std::lock_guard lock(entry.state->mutex);
            entry.state->stop = true;
        }
        entry.state->wake.notify_all();
        if (entry.thread.joinable() && entry.thread.get_id() != std::this_thread::get_id())
            entry.thread.join();
        else if (entry.thread.joinable())
            entry.thread.detach();
    }
    ReapFinished();
    for (auto& thread : m_finished)
        thread.detach(); // only when the clock is destroyed from inside a tick
}

int64_t RealClock::MonotonicNanoseconds() noexcept {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

uint32_t RealClock::Now() const noexcept {
    return static_cast<uint32_t>(static_cast<uint64_t>(MonotonicNanoseconds()) / 1000000);
}

bool RealClock::GetCaps(TimerCaps& caps) const noexcept {
    caps.periodMin = kTimerPeriodMin;
    caps.periodMax = kTimerPeriodMax;
    return true;
}

bool RealClock::BeginResolution(uint32_t ms) noexcept {
    return ms >= kTimerPeriodMin && ms <= kTimerPeriodMax;
}

bool RealClock::EndResolution(uint32_t ms) noexcept {
    return ms >= kTimerPeriodMin && ms <= kTimerPeriodMax;
}

TimerId RealClock::StartPeriodic(uint32_t periodMs, uint32_t /*resolutionMs*/,
                                 TimerCallback callback) {
    if (!callback || periodMs < kTimerPeriodMin || periodMs > kTimerPeriodMax) return kNoTimer;
    ReapFinished();
    auto state = std::make_shared<TimerState>();
    state->period = periodMs;
    state->start = Clock::now();
    state->callback = std::move(callback);

    const std::lock_guard lock(m_mutex);
    const TimerId id = m_nextId++;
    Entry entry{state, {}};
    try {
        // The thread holds its own reference: the state outlives a cancel from inside a tick.
        entry.thread = std::thread([state] { RunTimer(state); });
    } catch (const std::system_error&) {
        return kNoTimer;
    }
    m_timers.emplace(id, std::move(entry));
    return id;
}

bool RealClock::Cancel(TimerId id) noexcept {
    Entry entry;
    {
        const std::lock_guard lock(m_mutex);
        const auto it = m_timers.find(id);
        if (it == m_timers.end()) return false;
        entry = std::move(it->second);
        m_timers.erase(it);
    }
    {
        const std::lock_guard lock(entry.state->mutex);
        entry.state->stop = true;
    }
    entry.state->wake.notify_all();
    if (entry.thread.get_id() == std::this_thread::get_id()) {
        // Cancelled from inside its own tick: the loop sees `stop` when the tick returns.
        const std::lock_guard lock(m_mutex);
        m_finished.push_back(std::move(entry.thread));
        return true;
    }
    entry.thread.join();
    return true;
}

void RealClock::ReapFinished() noexcept {
    std::vector<std::thread> finished;
    {
        const std::lock_guard lock(m_mutex);
        // A thread that is reaping cannot join itself: leave it for a later call.
        for (auto it = m_finished.begin(); it != m_finished.end();) {
            if (it->get_id() != std::this_thread::get_id()) {
                finished.push_back(std::move(*it));
                it = m_finished.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& thread : finished)
        thread.join();
}

} // namespace zorvil::platform
