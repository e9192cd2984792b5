// CWindowMailbox: what plug-ins report about their windows, on its way from any thread to the
// user-interface thread.
//
// A plug-in asks for a new editor size, for a display update or reports an automated parameter
// from whatever thread it runs on: the user-interface thread, a thread of its own, or the engine
// thread inside its process call. None of them may touch a window. They post a small record
// (slot, the slot's generation, kind, values) here instead and return at once; the
// user-interface thread drains the mailbox and hands each record to the windows of that slot,
// provided the slot still holds the same effect (its generation is unchanged).
//
//     mailbox.SetWaker([&queue] { queue.Wake(); });                 // once, before any post
//     mailbox.Post({slot, generation, WindowEventKind::ParameterAutomated, {index, 0}}); // any
//     mailbox.Drain([&](const WindowEvent& event) { ... });        // user-interface thread
//
// Posting never blocks and never allocates: the mailbox is a fixed ring of kCapacity records
// with a sequence number per cell (a bounded multi-producer queue). A post to a full mailbox is
// dropped and remembered as an overflow, which the drain reports once (TakeOverflow), so that
// the windows can show the effect's whole state again instead of missing one change.
// The waker runs once per batch: the first post after a drain began calls it; later posts find
// the wake-up still pending and only add their record.
//
// Threads: Post from any thread, any number at once. Drain and TakeOverflow on one thread (the
// user-interface thread). SetWaker before any thread posts.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace zorvil {

enum class WindowEventKind : uint8_t {
    EditorSize,         // values: width, height
    DisplayUpdate,      // no values
    ParameterAutomated, // values: the parameter's index
    EditorIdle,         // no values: every open editor is to be given its idle call
};

struct WindowEvent {
    int slot = -1;
    uint32_t generation = 0;
    WindowEventKind kind = WindowEventKind::DisplayUpdate;
    std::array<int, 2> values{};
};

class CWindowMailbox {
public:
    static constexpr std::size_t kCapacity = 1024; // a power of two

    CWindowMailbox() noexcept;
    CWindowMailbox(const CWindowMailbox&) = delete;
    CWindowMailbox& operator=(const CWindowMailbox&) = delete;

    // Called (from the posting thread) when a batch begins; it must not block.
    void SetWaker(std::function<void()> waker) { m_waker = std::move(waker); }

    // Adds a record; false when the mailbox is full (the record is dropped, the overflow noted).
    bool Post(const WindowEvent& event) noexcept;

    // Hands every record posted so far to `deliver`, oldest first; returns how many. At most
    // kCapacity records per call, so that a plug-in posting without pause cannot hold the
    // user-interface thread here: what remains asks for another wake-up.
    template <class Deliver>
    std::size_t Drain(Deliver&& deliver) {
        m_bWakePending.exchange(false, std::memory_order_acq_rel);
        std::size_t count = 0;
        WindowEvent event;
        while (count < kCapacity && Pop(event)) {
            deliver(static_cast<const WindowEvent&>(event));
            ++count;
        }
        if (count == kCapacity) RequestWake();
        return count;
    }

    // Whether a record was dropped since the last call.
    bool TakeOverflow() noexcept { return m_bOverflow.exchange(false, std::memory_order_acq_rel); }

private:
    struct Cell {
        std::atomic<std::size_t> sequence{0};
        WindowEvent event;
    };
    static constexpr std::size_t kMask = kCapacity - 1;
    static_assert((kCapacity & kMask) == 0);

    bool Pop(WindowEvent& event) noexcept;
    void RequestWake() noexcept;

    std::array<Cell, kCapacity> m_cells;
    alignas(64) std::atomic<std::size_t> m_enqueuePosition{0};
    alignas(64) std::atomic<std::size_t> m_dequeuePosition{0};
    std::atomic<bool> m_bWakePending{false};
    std::atomic<bool> m_bOverflow{false};
    std::function<void()> m_waker;
};

} // namespace zorvil
