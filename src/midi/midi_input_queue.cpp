#include "midi/midi_input_queue.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace zorvil {

CMidiInputQueue::CMidiInputQueue()
    : m_shortEntries(std::make_unique<ShortEntry[]>(kShortCapacity)),
      m_sysexRecords(std::make_unique<CMidiMessage[]>(kSysexCapacity)) {}

CMidiInputQueue::~CMidiInputQueue() = default;

void CMidiInputQueue::Queue(const CMidiMessage& message) {
    const uint32_t first = message.FirstWord();
    const uint8_t status = static_cast<uint8_t>(first & 0xFF);
    if (status > 0xF0) return;

    if (status != 0xF0) {
        const std::lock_guard lock(m_lock);
        const uint32_t count = m_shortCount.load(std::memory_order_relaxed);
        if (count < kShortCapacity) {
            m_shortEntries[count] = {first, message.Time()};
            m_shortCount.store(count + 1, std::memory_order_release);
        }
        return;
    }

    // A full queue needs no copy. The count only falls meanwhile, so this test can only drop
    // what the locked test below would also have dropped a moment earlier.
    if (m_sysexCount.load(std::memory_order_relaxed) >= kSysexCapacity) return;
    CMidiMessage copy;
    copy.CopyFrom(message);
    {
        const std::lock_guard lock(m_lock);
        const uint32_t count = m_sysexCount.load(std::memory_order_relaxed);
        if (count < kSysexCapacity) {
            swap(m_sysexRecords[count], copy);
            m_sysexCount.store(count + 1, std::memory_order_release);
        }
    }
    // `copy` now holds the recycled record (or the dropped message) and frees it here, outside
    // the lock.
}

CMidiInputQueue::Counts CMidiInputQueue::Snapshot() const noexcept {
    return {m_shortCount.load(std::memory_order_acquire),
            m_sysexCount.load(std::memory_order_acquire)};
}

uint32_t CMidiInputQueue::ShortWord(uint32_t i) const noexcept {
    return i < kShortCapacity ? m_shortEntries[i].word : 0;
}

uint32_t CMidiInputQueue::ShortTime(uint32_t i) const noexcept {
    return i < kShortCapacity ? m_shortEntries[i].time : 0;
}

const CMidiMessage& CMidiInputQueue::Sysex(uint32_t i) const noexcept {
    return i < kSysexCapacity ? m_sysexRecords[i] : m_emptySysex;
}

void CMidiInputQueue::RemoveFront(Counts consumed) noexcept {
    // Most blocks consume nothing: they need not hold up the producers.
    if (consumed.shortCount == 0 && consumed.sysexCount == 0) return;
    const std::lock_guard lock(m_lock);

    const uint32_t shortCount = m_shortCount.load(std::memory_order_relaxed);
    const uint32_t s = std::min(consumed.shortCount, shortCount);
    if (s > 0) {
        std::memmove(m_shortEntries.get(), m_shortEntries.get() + s,
                     (shortCount - s) * sizeof(ShortEntry));
        m_shortCount.store(shortCount - s, std::memory_order_release);
    }

    const uint32_t sysexCount = m_sysexCount.load(std::memory_order_relaxed);
    const uint32_t x = std::min(consumed.sysexCount, sysexCount);
    if (x > 0) {
        // Swaps only: the consumed records keep their blocks at the back until reused.
        std::rotate(m_sysexRecords.get(), m_sysexRecords.get() + x,
                    m_sysexRecords.get() + sysexCount);
        m_sysexCount.store(sysexCount - x, std::memory_order_release);
    }
}

void CMidiInputQueue::Reset() noexcept {
    const std::lock_guard lock(m_lock);
    m_shortCount.store(0, std::memory_order_release);
    m_sysexCount.store(0, std::memory_order_release);
    for (uint32_t i = 0; i < kSysexCapacity; ++i)
        m_sysexRecords[i].Release();
}

} // namespace zorvil
