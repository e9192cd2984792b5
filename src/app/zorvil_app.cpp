#include "app/zorvil_app.h"

#include <algorithm>

namespace zorvil {

CZorvilApp::CZorvilApp(platform::IClockService& clock, IUserInterface& ui)
    : m_clock(clock), m_ui(ui),
      m_blockStorage(std::make_unique<float[]>(2 * static_cast<size_t>(kBlockBufferFrames))) {
    m_pBlock[0] = m_blockStorage.get();
    m_pBlock[1] = m_blockStorage.get() + kBlockBufferFrames;
    // Unreadable capabilities stay zero: StartTimer then still never asks for a 0 ms tick.
    m_clock.GetCaps(m_timerCaps);
    m_host.SetRenderState(&m_renderState);
    m_host.SetUserInterface(&m_ui);
    m_host.SetBlockOutput(this);
    m_pattern.SetClockService(&m_clock);
    m_pattern.SetEventQueue(&m_hostEvents);
    m_pattern.SetRenderState(&m_renderState);
    m_pattern.SetUserInterface(&m_ui);
    m_pEngineThread = std::make_unique<CEngineThread>(m_host);
}

CZorvilApp::~CZorvilApp() {
    m_pattern.Stop();
    StartTimer(0);
    // The worker goes before the host and the buffers it works on.
    m_pEngineThread.reset();
    m_host.SetBlockOutput(nullptr);
}

bool CZorvilApp::StartTimer(uint32_t period) {
    if (m_nTimerId != platform::kNoTimer) {
        m_clock.Cancel(m_nTimerId); // synchronous: no tick runs once this returns
        m_clock.EndResolution(m_nResolution);
        m_nTimerId = platform::kNoTimer;
        m_nResolution = 0;
        m_nPeriod = 0;
    }
    if (period == 0) return true;
    if (period < m_timerCaps.periodMin || period > kMaxTimerPeriod) return false;

    m_nPeriod = period;
    const uint32_t tick = std::max({period / 10, m_timerCaps.periodMin, platform::kTimerPeriodMin});
    if (m_clock.BeginResolution(tick)) m_nResolution = tick;
    m_dwLastTick.store(m_clock.Now());
    m_dwCarry.store(0);
    m_nTimerId = m_clock.StartPeriodic(tick, tick < 2 ? 1 : tick / 2, [this] { OnEngineTimer(); });
    if (m_nTimerId == platform::kNoTimer) {
        if (m_nResolution != 0) m_clock.EndResolution(m_nResolution);
        m_nResolution = 0;
        m_nPeriod = 0;
        return false;
    }
    return true;
}

void CZorvilApp::OnEngineTimer() noexcept {
    const uint32_t now = m_clock.Now();
    // Unsigned 32-bit subtraction counts across the wrap of the millisecond clock.
    uint32_t elapsed = now - m_dwLastTick.load(std::memory_order_relaxed);
    elapsed += m_dwCarry.load(std::memory_order_relaxed);
    if (elapsed <= m_nPeriod) return;
    m_dwLastTick.store(now, std::memory_order_relaxed);
    m_dwCarry.store(elapsed - m_nPeriod, std::memory_order_relaxed);
    const int frames = static_cast<int>(m_nPeriod * static_cast<uint32_t>(kSampleRate) / 1000);
    const uint32_t time = now - m_dwStartTime.load();
    if (m_pEngineThread->Trigger(m_pBlock, frames, 2, time)) {
        m_dwLastBlockTime.store(time);
        m_nBlocksTriggered.fetch_add(1);
    } else {
        m_nBlocksRefused.fetch_add(1); // the block is skipped, not made up for
    }
}

void CZorvilApp::OutputBlock(float* const* buffers, int frames) noexcept {
    RenderState seen = RenderState::MarkerSeen;
    m_renderState.compare_exchange_strong(seen, RenderState::Writing);
    if (IBlockOutput* output = m_pOutputDevice.load()) output->OutputBlock(buffers, frames);
}

} // namespace zorvil
