// RealtimeExchange<T>: hands an object over to one real-time reader that may neither wait nor
// free memory (a device callback), from threads that may (the one opening the device, a JACK
// notification thread that reports a new sample rate).
//
// The reader enters with Read() at the start of each callback and uses what is current until
// the Reading goes; a writer publishes a replacement and frees the old object itself, once the
// reader is provably out of it. The reader never blocks: entering and leaving are one atomic
// increment each (odd while inside).
//
//     RealtimeExchange<Stage> m_stage;
//     m_stage.Publish(std::make_unique<Stage>(48000));   // any thread but the reader's
//     // the device callback:
//     auto stage = m_stage.Read();
//     if (stage) stage->converter.Pull(...);
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace zorvil::platform {

template <typename T>
class RealtimeExchange {
public:
    // How long a writer waits for the reader to leave an old object before it keeps the object
    // until the exchange goes instead (a reader stuck in a callback must not hang the writer).
    static constexpr std::chrono::milliseconds kReaderLimit{2000};

    class Reading {
    public:
        ~Reading() { m_owner.m_visits.fetch_add(1, std::memory_order_seq_cst); }
        Reading(const Reading&) = delete;
        Reading& operator=(const Reading&) = delete;
        T* get() const noexcept { return m_object; }
        T* operator->() const noexcept { return m_object; }
        explicit operator bool() const noexcept { return m_object != nullptr; }

    private:
        friend class RealtimeExchange;
        Reading(const RealtimeExchange& owner, T* object) noexcept
            : m_owner(owner), m_object(object) {}
        const RealtimeExchange& m_owner;
        T* m_object;
    };

    RealtimeExchange() = default;
    ~RealtimeExchange() { delete m_current.load(std::memory_order_acquire); }
    RealtimeExchange(const RealtimeExchange&) = delete;
    RealtimeExchange& operator=(const RealtimeExchange&) = delete;

    // The reader's thread only (one reader).
    [[nodiscard]] Reading Read() const noexcept {
        m_visits.fetch_add(1, std::memory_order_seq_cst); // odd: inside
        return Reading(*this, m_current.load(std::memory_order_seq_cst));
    }

    // Any thread but the reader's. Returns once the previous object is freed (or parked).
    void Publish(std::unique_ptr<T> next) {
        std::lock_guard lock(m_writerMutex);
        T* old = m_current.exchange(next.release(), std::memory_order_seq_cst);
        if (old == nullptr) return;
        const uint64_t visit = m_visits.load(std::memory_order_seq_cst);
        if (visit % 2 != 0) {
            // The reader is inside and may hold `old`: wait until that visit ends.
            const auto deadline = std::chrono::steady_clock::now() + kReaderLimit;
            while (m_visits.load(std::memory_order_seq_cst) == visit) {
                if (std::chrono::steady_clock::now() >= deadline) {
                    m_parked.emplace_back(old);
                    return;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        }
        delete old;
    }

    // The current object, for writers (and for the reader's owner while no reader runs).
    T* Peek() const noexcept { return m_current.load(std::memory_order_acquire); }

private:
    std::atomic<T*> m_current{nullptr};
    mutable std::atomic<uint64_t> m_visits{0}; // odd while the reader is inside
    std::mutex m_writerMutex;                  // one writer at a time; guards m_parked
    std::vector<std::unique_ptr<T>> m_parked;  // objects a stuck reader may still hold
};

} // namespace zorvil::platform
