// SequencedCopies: a group of atomic words that one thread rewrites while another reads it whole,
// and neither ever waits for the other.
//
// The words are kept twice, each copy with a sequence counter of its own. The writer applies
// every change to the first copy and then to the second, and a copy's counter is odd while the
// writer is inside that copy. A reader copies the words it needs from a copy and keeps what it
// got if that copy's counter was even and has not moved meanwhile; otherwise it tries the other
// copy. The writer is inside one copy at a time, so a reader that meets a writer stopped halfway
// through a change (preempted, for instance, by the reader's own real-time thread on a single
// processor) finds the other copy whole, as it was just before that change or just after it. A
// reader tries again only while the writer keeps finishing changes under it; it never spins on a
// writer that cannot run.
//
//     SequencedCopies<uint32_t, 4096> grid;
//     grid.Write([&](auto& words) {                  // writer, one at a time; runs once per copy
//         words[a].store(x, std::memory_order_release);
//         words[b].store(y, std::memory_order_release);
//     });
//     grid.Read([&](const auto& words) {             // reader, any thread; may run more than once
//         copyA = words[a].load(std::memory_order_acquire);
//         copyB = words[b].load(std::memory_order_acquire);
//     });
//     const uint32_t one = grid.Current()[a].load(); // a single word needs no Read
//
// A change must do the same to either copy: the copies hold the same words between changes.
// Words are stored with release and loaded with acquire (plain moves on x86): a reader may copy
// words while the writer changes them (and then throws the copy away), so plain data would race.
// The orderings also do the work of fences: a reader that loads a word of a change is ordered
// after the counter step that began the change, so its second look at the counter sees it.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>

namespace zorvil {

template <typename Word, std::size_t Count>
class SequencedCopies {
public:
    using Words = std::array<std::atomic<Word>, Count>;

    // Writer side; callers serialise writers. `change(words)` runs on each copy in turn.
    template <class Change>
    void Write(Change&& change) noexcept {
        for (Copy& copy : m_copies) {
            copy.sequence.store(copy.sequence.load(std::memory_order_relaxed) + 1,
                                std::memory_order_relaxed);
            change(copy.words);
            copy.sequence.store(copy.sequence.load(std::memory_order_relaxed) + 1,
                                std::memory_order_release);
        }
    }

    // The first copy: for the writer's own reads, and for single words from any thread.
    const Words& Current() const noexcept { return m_copies[0].words; }

    // Runs `copy(words)` until it ran over a copy that no change touched meanwhile.
    template <class CopyOut>
    void Read(CopyOut&& copy) const noexcept {
        for (int attempt = 0;; ++attempt) {
            for (const Copy& source : m_copies) {
                const uint32_t before = source.sequence.load(std::memory_order_acquire);
                if ((before & 1) != 0) continue; // the writer is inside this copy
                copy(source.words);
                if (source.sequence.load(std::memory_order_relaxed) == before) return;
            }
            // Both copies changed under the reader: the writer runs on another processor and
            // finishes change after change. Let it have the processor now and then.
            if (attempt >= kAttemptsBeforeYield) std::this_thread::yield();
        }
    }

private:
    static constexpr int kAttemptsBeforeYield = 16;

    struct Copy {
        std::atomic<uint32_t> sequence{0};
        Words words{};
    };
    std::array<Copy, 2> m_copies;
};

} // namespace zorvil
