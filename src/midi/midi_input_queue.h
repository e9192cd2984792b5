// CMidiInputQueue: the hand-over point between the threads that produce MIDI (the MIDI input's
// driver thread, the sequencer's step clock) and the engine worker that consumes it once per
// processing block. The host holds one; its QueueMidiEvent forwards here.
//
// Two fixed queues, allocated once in the constructor: 2000 short entries (the message's first
// word and its time stamp) and 100 system-exclusive records that own a copy of their bytes.
// Entries stay in arrival order. A full queue drops new messages silently; system common and
// real-time messages (status above 0xF0) are never queued.
//
//     producer (any thread):  queue.Queue(message);           // copied, never retained
//     consumer (engine):      auto n = queue.Snapshot();
//                             for (uint32_t i = 0; i < n.shortCount; ++i)
//                                 Use(queue.ShortWord(i), queue.ShortTime(i));
//                             queue.RemoveFront(n);           // later arrivals move up, in order
//
// Threads and the lock:
// - Queue: any number of producer threads. m_lock guards the entries and the two counts against
//   each other's writes; it is held only to copy one entry in (two words, or a swap of one
//   record whose bytes were copied before the lock was taken), never across an allocation, a
//   free or a plug-in call.
// - Snapshot, ShortWord, ShortTime, Sysex, RemoveFront: the one consumer (the engine worker).
//   The counts are atomics, stored with release under the lock and loaded with acquire by
//   Snapshot, so the entries below a snapshot's counts are complete; producers only write at or
//   above the current count, and only RemoveFront (the consumer itself, under the lock) moves
//   entries, so those entries stay put until the consumer removes them.
// - RemoveFront neither allocates nor frees: system-exclusive records are rotated, so consumed
//   records go to the back with their blocks and are recycled by a later producer, which frees
//   the old block after leaving the lock.
// - Reset: while no consumer runs (the engine is stopped); it frees the records' blocks.
#pragma once

#include "midi/midi_message.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

namespace zorvil {

class CMidiInputQueue {
public:
    static constexpr uint32_t kShortCapacity = 2000;
    static constexpr uint32_t kSysexCapacity = 100;

    struct Counts {
        uint32_t shortCount;
        uint32_t sysexCount;
    };

    CMidiInputQueue();
    CMidiInputQueue(const CMidiInputQueue&) = delete;
    CMidiInputQueue& operator=(const CMidiInputQueue&) = delete;
    ~CMidiInputQueue();

    // Producer side, any thread. Allocates only for a system-exclusive message (its copy).
    void Queue(const CMidiMessage& message);

    // Consumer side (the engine worker).
    Counts Snapshot() const noexcept;
    // Reads of entries below a snapshot's counts; out of range reads give 0 / an empty record.
    uint32_t ShortWord(uint32_t i) const noexcept;
    uint32_t ShortTime(uint32_t i) const noexcept;
    const CMidiMessage& Sysex(uint32_t i) const noexcept;
    // Drops exactly that many entries from the front of each queue (at most what is there);
    // entries that arrived meanwhile move to the front in order.
    void RemoveFront(Counts consumed) noexcept;

    // Empties both queues. Called while no consumer runs.
    void Reset() noexcept;

private:
    struct ShortEntry {
        uint32_t word;
        uint32_t time;
    };

    std::mutex m_lock;
    const std::unique_ptr<ShortEntry[]> m_shortEntries;
    const std::unique_ptr<CMidiMessage[]> m_sysexRecords;
    std::atomic<uint32_t> m_shortCount{0};
    std::atomic<uint32_t> m_sysexCount{0};
    // What Sysex answers for an index out of range. A member, not a function-local static: the
    // first use of such a static registers its destructor, an allocation on the engine thread.
    const CMidiMessage m_emptySysex;
};

} // namespace zorvil
