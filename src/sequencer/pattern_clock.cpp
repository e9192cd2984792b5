// The step clock of CPattern: Start, Stop, OnStep and SetPosition (see pattern.h).
#include "sequencer/pattern.h"

#include <algorithm>

namespace zorvil {

namespace {

constexpr uint8_t kNoteOn = 0x90;  // channel 1
constexpr uint8_t kNoteOff = 0x80; // channel 1
constexpr uint32_t kTargetResolutionMs = 1;
constexpr const char* kNoTimerCapsText = "Computer does not support 1ms timer resolution";

} // namespace

uint32_t CPattern::TimerResolution(platform::TimerCaps caps) noexcept {
    const uint32_t resolution = std::max(caps.periodMin, kTargetResolutionMs);
    return resolution < caps.periodMax ? resolution : caps.periodMax;
}

void CPattern::SetRenderState(RenderStateWord* word) noexcept {
    m_pRenderState = word != nullptr ? word : &m_ownRenderState;
}

void CPattern::Start() {
    if (IsPlaying() || m_pClock == nullptr) return;

    platform::TimerCaps caps = m_timerCaps;
    if (m_pClock->GetCaps(caps))
        m_timerCaps = caps;
    else if (m_pUserInterface != nullptr)
        m_pUserInterface->MessageBox(kNoTimerCapsText, "", MessageButtons::Ok, MessageIcon::None);

    m_nTimerResolution = TimerResolution(m_timerCaps);
    m_bResolutionBegun = m_pClock->BeginResolution(m_nTimerResolution);
    m_nStepPeriod = StepPeriod(m_nStepsPerMeasure, m_nTempo);
    // A timer that cannot be made leaves id 0: the clock counts as playing but never ticks.
    m_nTimerId = m_pClock->StartPeriodic(m_nStepPeriod, m_nTimerResolution, [this] { OnStep(); });
    m_bPlaying.store(true, std::memory_order_release);
}

void CPattern::CancelTimer() noexcept {
    if (m_pClock == nullptr) return;
    if (m_nTimerId != platform::kNoTimer)
        m_pClock->Cancel(m_nTimerId); // synchronous: no tick runs once this returns
    m_nTimerId = platform::kNoTimer;
    if (m_bResolutionBegun) m_pClock->EndResolution(m_nTimerResolution);
    m_bResolutionBegun = false;
}

void CPattern::Stop() {
    if (!IsPlaying()) return;
    CancelTimer();
    m_bPlaying.store(false, std::memory_order_release);

    // Every key that may still sound: a note anywhere up to the position, or one on the last
    // step (its note-off would have come at step 0).
    const int position = GetPosition();
    const int last = GetTotalSteps() - 1;
    std::array<bool, kKeyCount> off{};
    {
        const std::lock_guard lock(m_editLock);
        for (int key = 0; key < kKeyCount; ++key) {
            if (position >= 0) {
                for (int step = 0; step <= std::min(position, kStepCapacity - 1) && !off[key];
                     ++step)
                    off[key] = CellPart(LoadCell(step, key)) != 0;
            }
            if (!off[key] && InGrid(last, key)) off[key] = CellPart(LoadCell(last, key)) != 0;
        }
    }
    for (int key = 0; key < kKeyCount; ++key) {
        if (off[key]) SendNote(kNoteOff, key, 0);
    }
}

void CPattern::SetPosition(int position) noexcept {
    const bool inPattern = position >= 0 && position < GetTotalSteps();
    m_nPosition.store(inPattern ? position : 0, std::memory_order_release);
}

void CPattern::OnStep() noexcept {
    const int total = GetTotalSteps();
    const int stored = GetPosition();
    // A pattern shortened below the position plays on from its start.
    const int position = stored >= 0 && stored < total ? stored : 0;

    if (position == 0) {
        // The state moves before the marker is queued: the engine looks for the marker only
        // once the state says it was sent, so it cannot consume the marker unnoticed.
        RenderState armed = RenderState::Armed;
        if (m_pRenderState->compare_exchange_strong(armed, RenderState::MarkerSent))
            SendNote(kNoteOn, 0, 1);
    }

    const int previous = position == 0 ? total - 1 : position - 1;
    const int next = position == total - 1 ? 0 : position + 1;

    std::array<CellWord, kKeyCount> now;
    std::array<CellWord, kKeyCount> before;
    m_grid.Read([&](const Grid::Words& cells) {
        for (int key = 0; key < kKeyCount; ++key) {
            now[key] = LoadCell(cells, position, key);
            before[key] = LoadCell(cells, previous, key);
        }
    });

    for (int key = 0; key < kKeyCount; ++key) {
        const int part = CellPart(now[key]);
        if (part == 1)
            SendNote(kNoteOn, key, CellVelocity(now[key]));
        else if (part == 0 && CellPart(before[key]) != 0)
            SendNote(kNoteOff, key, 0);
    }

    // Unless the user moved the position meanwhile (Go To Start during play).
    int expected = stored;
    m_nPosition.compare_exchange_strong(expected, next, std::memory_order_acq_rel);
}

void CPattern::SendNote(uint8_t status, int key, int velocity) const noexcept {
    if (m_pEvents == nullptr) return;
    const CMidiMessage message(status, static_cast<uint8_t>(key), static_cast<uint8_t>(velocity));
    try {
        m_pEvents->QueueMidiEvent(message);
    } catch (...) {
        // Nothing to tell on the timer thread; the note is lost like one dropped by a full queue.
    }
}

} // namespace zorvil
