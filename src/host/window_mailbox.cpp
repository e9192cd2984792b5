#include "host/window_mailbox.h"

namespace zorvil {

CWindowMailbox::CWindowMailbox() noexcept {
    for (std::size_t i = 0; i < kCapacity; ++i)
        m_cells[i].sequence.store(i, std::memory_order_relaxed);
}

bool CWindowMailbox::Post(const WindowEvent& event) noexcept {
    std::size_t position = m_enqueuePosition.load(std::memory_order_relaxed);
    Cell* cell = nullptr;
    for (;;) {
        cell = &m_cells[position & kMask];
        const std::size_t sequence = cell->sequence.load(std::memory_order_acquire);
        const auto lag = static_cast<std::ptrdiff_t>(sequence - position);
        if (lag == 0) {
            // The cell is free for this position: claim the position.
            if (m_enqueuePosition.compare_exchange_weak(position, position + 1,
                                                        std::memory_order_relaxed))
                break;
        } else if (lag < 0) {
            // The cell still holds the record of one lap ago: full.
            m_bOverflow.store(true, std::memory_order_release);
            RequestWake();
            return false;
        } else {
            position = m_enqueuePosition.load(std::memory_order_relaxed);
        }
    }
    cell->event = event;
    cell->sequence.store(position + 1, std::memory_order_release);
    RequestWake();
    return true;
}

bool CWindowMailbox::Pop(WindowEvent& event) noexcept {
    std::size_t position = m_dequeuePosition.load(std::memory_order_relaxed);
    Cell* cell = nullptr;
    for (;;) {
        cell = &m_cells[position & kMask];
        const std::size_t sequence = cell->sequence.load(std::memory_order_acquire);
        const auto lag = static_cast<std::ptrdiff_t>(sequence - (position + 1));
        if (lag == 0) {
            if (m_dequeuePosition.compare_exchange_weak(position, position + 1,
                                                        std::memory_order_relaxed))
                break;
        } else if (lag < 0) {
            // Empty, or the next record is still being written: its poster wakes us again.
            return false;
        } else {
            position = m_dequeuePosition.load(std::memory_order_relaxed);
        }
    }
    event = cell->event;
    cell->sequence.store(position + kCapacity, std::memory_order_release);
    return true;
}

void CWindowMailbox::RequestWake() noexcept {
    if (!m_bWakePending.exchange(true, std::memory_order_acq_rel) && m_waker) m_waker();
}

} // namespace zorvil
