// SequenceLock: lets one thread read a group of atomic words consistently while another thread
// rewrites them, without the reader ever blocking the writer.
//
// The writer brackets every change with BeginWrite/EndWrite, which make a counter odd for the
// duration of the change. A reader notes the counter, copies the words, and keeps the copy only
// if the counter was even and has not moved meanwhile; otherwise it copies again. A reader thus
// sees each change completely or not at all and never waits on a lock; it retries only while a
// change is under way. Writers must be serialised by the caller (one writer at a time).
//
//     lock.BeginWrite();                       // writer (under the caller's own mutex)
//     cells[a].store(x, std::memory_order_release);
//     cells[b].store(y, std::memory_order_release);
//     lock.EndWrite();
//
//     lock.Read([&] {                          // reader, any thread; may run more than once
//         copyA = cells[a].load(std::memory_order_acquire);
//         copyB = cells[b].load(std::memory_order_acquire);
//     });
//
// The protected words must be atomics, stored with release and loaded with acquire (plain moves
// on x86): the copy may be taken while a change is under way (and is then thrown away), so plain
// data would race. The orderings do the work of fences: a reader that loads a word of a change
// is ordered after that change's BeginWrite, so its second look at the counter sees the change.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

namespace zorvil {

class SequenceLock {
public:
    void BeginWrite() noexcept {
        m_sequence.store(m_sequence.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    }

    void EndWrite() noexcept {
        m_sequence.store(m_sequence.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }

    // Runs `copy` until it ran entirely between two changes. A change takes microseconds, so
    // the reader spins briefly, then yields the processor to let a preempted writer finish.
    template <class Copy>
    void Read(Copy&& copy) const noexcept {
        for (int attempt = 0;; ++attempt) {
            const uint32_t before = m_sequence.load(std::memory_order_acquire);
            if ((before & 1) == 0) {
                copy();
                if (m_sequence.load(std::memory_order_relaxed) == before) return;
            }
            if (attempt >= kSpinsBeforeYield) std::this_thread::yield();
        }
    }

private:
    static constexpr int kSpinsBeforeYield = 16;
    std::atomic<uint32_t> m_sequence{0};
};

} // namespace zorvil
