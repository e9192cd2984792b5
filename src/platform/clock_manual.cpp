#include "platform/clock_manual.h"

#include <utility>

namespace zorvil::platform {

ManualClock::ManualClock(uint32_t startMs) noexcept : m_now(startMs) {}

ManualClock::~ManualClock() = default;

uint32_t ManualClock::Now() const noexcept {
    return static_cast<uint32_t>(m_now.load(std::memory_order_acquire));
}

bool ManualClock::GetCaps(TimerCaps& caps) const noexcept {
    if (!m_capsReadable.load()) return false;
    caps.periodMin = m_capsMin.load();
    caps.periodMax = m_capsMax.load();
    return true;
}

bool ManualClock::BeginResolution(uint32_t ms) noexcept {
    if (m_resolutionRefused.load() || ms < m_capsMin.load() || ms > m_capsMax.load()) return false;
    m_lastResolution.store(ms);
    ++m_openResolutions;
    return true;
}

bool ManualClock::EndResolution(uint32_t ms) noexcept {
    if (ms < m_capsMin.load() || ms > m_capsMax.load() || m_openResolutions.load() <= 0)
        return false;
    --m_openResolutions;
    return true;
}

TimerId ManualClock::StartPeriodic(uint32_t periodMs, uint32_t resolutionMs,
                                   TimerCallback callback) {
    if (!callback || periodMs == 0 || periodMs < m_capsMin.load() || periodMs > m_capsMax.load())
        return kNoTimer;
    auto timer = std::make_shared<Timer>();
    timer->period = periodMs;
    timer->resolution = resolutionMs;
    timer->deadline = m_now.load() + periodMs;
    timer->callback = std::move(callback);
    const std::lock_guard lock(m_mutex);
    timer->id = m_nextId++;
    m_timers.emplace(timer->id, timer);
    return timer->id;
}

bool ManualClock::Cancel(TimerId id) noexcept {
    std::unique_lock lock(m_mutex);
    if (m_timers.erase(id) == 0) return false;
    // A tick of this timer running on another thread must end before we return; from inside
    // the tick itself we must not wait for ourselves.
    m_tickDone.wait(lock,
                    [&] { return m_running != id || m_tickThread == std::this_thread::get_id(); });
    return true;
}

bool ManualClock::Advance(uint64_t ms) {
    return AdvanceTo(m_now.load() + ms);
}

bool ManualClock::AdvanceToNextTick() {
    const auto until = UntilNextTick();
    if (!until) return false;
    return Advance(*until);
}

std::optional<uint64_t> ManualClock::UntilNextTick() const {
    const std::lock_guard lock(m_mutex);
    std::optional<uint64_t> earliest;
    for (const auto& [id, timer] : m_timers) {
        if (!earliest || timer->deadline < *earliest) earliest = timer->deadline;
    }
    if (!earliest) return std::nullopt;
    const uint64_t now = m_now.load();
    return *earliest > now ? *earliest - now : 0;
}

bool ManualClock::AdvanceTo(uint64_t target) {
    std::unique_lock lock(m_mutex);
    if (m_running != kNoTimer) return false; // called from inside a tick, or from a second thread
    for (;;) {
        // The earliest due timer; the map is ordered by id, so ties go to the older timer.
        std::shared_ptr<Timer> due;
        for (const auto& [id, timer] : m_timers) {
            if (timer->deadline <= target && (!due || timer->deadline < due->deadline)) due = timer;
        }
        if (!due) break;
        m_now.store(due->deadline, std::memory_order_release);
        due->deadline += due->period;
        m_running = due->id;
        m_tickThread = std::this_thread::get_id();
        lock.unlock();
        due->callback(); // `due` keeps the callback alive even if the tick cancels its timer
        lock.lock();
        m_running = kNoTimer;
        m_tickThread = {};
        m_tickDone.notify_all();
    }
    m_now.store(target, std::memory_order_release);
    return true;
}

void ManualClock::SetCapsReadable(bool readable) noexcept {
    m_capsReadable.store(readable);
}

void ManualClock::SetResolutionRefused(bool refused) noexcept {
    m_resolutionRefused.store(refused);
}

void ManualClock::SetCaps(TimerCaps caps) noexcept {
    m_capsMin.store(caps.periodMin);
    m_capsMax.store(caps.periodMax);
}

int ManualClock::ActiveTimers() const {
    const std::lock_guard lock(m_mutex);
    return static_cast<int>(m_timers.size());
}

int ManualClock::OpenResolutions() const noexcept {
    return m_openResolutions.load();
}

uint32_t ManualClock::LastResolution() const noexcept {
    return m_lastResolution.load();
}

std::optional<ManualClock::TimerInfo> ManualClock::Info(TimerId id) const {
    const std::lock_guard lock(m_mutex);
    const auto it = m_timers.find(id);
    if (it == m_timers.end()) return std::nullopt;
    return TimerInfo{it->second->period, it->second->resolution};
}

} // namespace zorvil::platform
