#include "midi/midi_input_queue.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

using zorvil::CMidiInputQueue;
using zorvil::CMidiMessage;

namespace {

CMidiMessage Note(uint8_t key, uint32_t time) {
    CMidiMessage m(0x90, key, 100);
    m.SetTime(time);
    return m;
}

CMidiMessage Sysex(uint8_t tag, size_t n = 8) {
    std::vector<uint8_t> bytes(n, tag);
    bytes.front() = 0xF0;
    bytes.back() = 0xF7;
    CMidiMessage m;
    m.SetBytes(bytes.data(), bytes.size());
    return m;
}

uint8_t SysexTag(const CMidiMessage& m) {
    return *m.Byte(1);
}

} // namespace

// Short messages keep arrival order, word and time; system common and real-time messages never
// reach the queue, while a stray data byte is queued as it came.
TEST(MidiInputQueue, ShortMessagesKeepArrivalOrderWordAndTime) {
    CMidiInputQueue queue;
    queue.Queue(Note(60, 5));
    for (int status = 0xF1; status <= 0xFF; ++status)
        queue.Queue(CMidiMessage(static_cast<uint8_t>(status), 0, 0));
    queue.Queue(CMidiMessage(0x80, 60, 0));
    queue.Queue(CMidiMessage(0x3C, 0x40, 0));
    const auto counts = queue.Snapshot();
    ASSERT_EQ(counts.shortCount, 3u);
    EXPECT_EQ(counts.sysexCount, 0u);
    EXPECT_EQ(queue.ShortWord(0), 0x00643C90u);
    EXPECT_EQ(queue.ShortTime(0), 5u);
    EXPECT_EQ(queue.ShortWord(1), 0x00003C80u);
    EXPECT_EQ(queue.ShortTime(1), 0u);
    EXPECT_EQ(queue.ShortWord(2), 0x0000403Cu);
}

TEST(MidiInputQueue, The2001stShortMessageIsDroppedAndTheFirst2000KeepTheirOrder) {
    CMidiInputQueue queue;
    for (uint32_t i = 0; i <= CMidiInputQueue::kShortCapacity; ++i)
        queue.Queue(Note(static_cast<uint8_t>(i % 128), i));
    const auto counts = queue.Snapshot();
    ASSERT_EQ(counts.shortCount, 2000u);
    for (uint32_t i = 0; i < counts.shortCount; ++i) {
        ASSERT_EQ(queue.ShortTime(i), i);
        ASSERT_EQ((queue.ShortWord(i) >> 8) & 0xFF, i % 128);
    }
    // Room made by the consumer is used again.
    queue.RemoveFront({1, 0});
    queue.Queue(Note(1, 5000));
    ASSERT_EQ(queue.Snapshot().shortCount, 2000u);
    EXPECT_EQ(queue.ShortTime(0), 1u);
    EXPECT_EQ(queue.ShortTime(1999), 5000u);
}

TEST(MidiInputQueue, SystemExclusiveIsCopiedIntoOwnedRecordsAndThe101stDropped) {
    CMidiInputQueue queue;
    for (uint32_t i = 0; i <= CMidiInputQueue::kSysexCapacity; ++i) {
        auto m = Sysex(static_cast<uint8_t>(i), 4 + i);
        m.SetTime(i);
        queue.Queue(m);
        m.Release(); // the sender frees its record; the queue's copy stays
    }
    const auto counts = queue.Snapshot();
    ASSERT_EQ(counts.sysexCount, 100u);
    EXPECT_EQ(counts.shortCount, 0u);
    for (uint32_t i = 0; i < counts.sysexCount; ++i) {
        const CMidiMessage& r = queue.Sysex(i);
        ASSERT_TRUE(r.Owns()) << i;
        ASSERT_EQ(r.Length(), 4 + i);
        ASSERT_EQ(SysexTag(r), i);
        ASSERT_EQ(r.Time(), i);
    }
    EXPECT_EQ(queue.Sysex(100).Header(), nullptr); // out of range: an empty record
}

TEST(MidiInputQueue, RemoveFrontKeepsLaterArrivalsInOrderWithoutRecopying) {
    CMidiInputQueue queue;
    for (uint8_t k = 0; k < 5; ++k)
        queue.Queue(Note(k, k));
    for (uint8_t t = 0; t < 3; ++t)
        queue.Queue(Sysex(t));
    const auto snapshot = queue.Snapshot();

    // Arrivals while the block is processed.
    queue.Queue(Note(10, 10));
    queue.Queue(Note(11, 11));
    queue.Queue(Sysex(3));
    const zorvil::platform::MIDIHDR* lateBlock = queue.Sysex(3).Header();

    queue.RemoveFront(snapshot);
    const auto after = queue.Snapshot();
    ASSERT_EQ(after.shortCount, 2u);
    EXPECT_EQ(queue.ShortTime(0), 10u);
    EXPECT_EQ(queue.ShortTime(1), 11u);
    ASSERT_EQ(after.sysexCount, 1u);
    EXPECT_EQ(SysexTag(queue.Sysex(0)), 3);
    EXPECT_EQ(queue.Sysex(0).Header(), lateBlock); // moved, not copied again

    // More than is there removes what is there.
    queue.RemoveFront({50, 50});
    EXPECT_EQ(queue.Snapshot().shortCount, 0u);
    EXPECT_EQ(queue.Snapshot().sysexCount, 0u);

    // Recycled records take new messages cleanly.
    queue.Queue(Sysex(7, 5));
    ASSERT_EQ(queue.Snapshot().sysexCount, 1u);
    EXPECT_EQ(SysexTag(queue.Sysex(0)), 7);
    EXPECT_EQ(queue.Sysex(0).Length(), 5u);
}

// Two producer threads (a MIDI input and the step clock) against the engine consumer. Producers
// hold back while the queue is nearly full, so nothing is dropped and every message must arrive
// exactly once, each producer's in its own order.
TEST(MidiInputQueue, ProducersOnRealThreadsAgainstAConsumer) {
    CMidiInputQueue queue;
    constexpr uint32_t kPerProducer = 20000;
    constexpr uint32_t kSysexEvery = 64;

    auto produce = [&](uint8_t producer) {
        for (uint32_t i = 0; i < kPerProducer; ++i) {
            while (queue.Snapshot().shortCount >= CMidiInputQueue::kShortCapacity - 2 ||
                   queue.Snapshot().sysexCount >= CMidiInputQueue::kSysexCapacity - 2)
                std::this_thread::yield();
            CMidiMessage m(static_cast<uint8_t>(0x90 | producer), 60, 100);
            m.SetTime(i);
            queue.Queue(m);
            if (producer == 0 && i % kSysexEvery == 0) {
                auto s = Sysex(static_cast<uint8_t>(i / kSysexEvery % 100), 6);
                s.SetTime(i);
                queue.Queue(s);
            }
        }
    };

    std::vector<uint32_t> next(2, 0);
    uint32_t nextSysex = 0;
    uint32_t received = 0;
    bool ordered = true;
    std::thread p0(produce, 0), p1(produce, 1);
    while (received < 2 * kPerProducer) {
        const auto counts = queue.Snapshot();
        for (uint32_t i = 0; i < counts.shortCount; ++i) {
            const uint32_t producer = queue.ShortWord(i) & 0x0F;
            ordered &= producer < 2 && queue.ShortTime(i) == next[producer & 1]++;
        }
        for (uint32_t i = 0; i < counts.sysexCount; ++i) {
            const CMidiMessage& s = queue.Sysex(i);
            ordered &= s.Length() == 6 && s.Time() == nextSysex * kSysexEvery &&
                       SysexTag(s) == nextSysex % 100;
            ++nextSysex;
        }
        received += counts.shortCount;
        queue.RemoveFront(counts);
        if (counts.shortCount == 0) std::this_thread::yield();
    }
    p0.join();
    p1.join();
    const auto rest = queue.Snapshot();
    for (uint32_t i = 0; i < rest.sysexCount; ++i)
        ordered &= queue.Sysex(i).Time() == nextSysex++ * kSysexEvery;
    EXPECT_TRUE(ordered);
    EXPECT_EQ(next[0], kPerProducer);
    EXPECT_EQ(next[1], kPerProducer);
    EXPECT_EQ(nextSysex, (kPerProducer + kSysexEvery - 1) / kSysexEvery);
    EXPECT_EQ(rest.shortCount, 0u);
}
