// The MIDI record (CMidiMessage) and the host's MIDI input queue.
#include "midi/midi_input_queue.h"
#include "midi/midi_message.h"

#include <array>
#include <gtest/gtest.h>
#include <numeric>
#include <thread>
#include <vector>

using zorvil::CMidiInputQueue;
using zorvil::CMidiMessage;
using zorvil::platform::MIDIHDR;

namespace {

CMidiMessage Note(uint8_t key, uint32_t time) {
    CMidiMessage m(0x90, key, 100);
    m.SetTime(time);
    return m;
}

// A system-exclusive message of n bytes whose byte 1 is `tag`, the rest counting up from it.
std::vector<uint8_t> SysexBytes(size_t n, uint8_t tag = 0x10) {
    std::vector<uint8_t> bytes(n);
    std::iota(bytes.begin(), bytes.end(), static_cast<uint8_t>(tag - 1));
    bytes.front() = 0xF0;
    bytes.back() = 0xF7;
    return bytes;
}

CMidiMessage Sysex(uint8_t tag, size_t n = 8) {
    const auto bytes = SysexBytes(n, tag);
    CMidiMessage m;
    m.SetBytes(bytes.data(), bytes.size());
    return m;
}

uint8_t SysexTag(const CMidiMessage& m) {
    return *m.Byte(1);
}

} // namespace

// Every way into a short message rewrites a note-on of velocity 0 as a note-off of velocity 64,
// and leaves everything else as given.
TEST(MidiMessage, NoteOnWithVelocityZeroBecomesNoteOffWithVelocity64) {
    EXPECT_EQ(CMidiMessage(0x92, 0x3C, 0).ShortMessage(), 0x00403C82u);
    EXPECT_EQ(CMidiMessage(0x00003C92u).ShortMessage(), 0x00403C82u);
    CMidiMessage m;
    m.SetShortMessage(0x00007F9Fu);
    EXPECT_EQ(m.ShortMessage(), 0x00407F8Fu);
    const uint8_t bytes[] = {0x95, 0x40, 0x00};
    m.SetBytes(bytes, 3);
    EXPECT_EQ(m.ShortMessage(), 0x00404085u);
    EXPECT_EQ(CMidiMessage(0xB0, 0x07, 0).ShortMessage(), 0x000007B0u); // control change, value 0
    const uint8_t two[] = {0xC0, 0x05, 0x77};
    EXPECT_EQ(m.SetBytes(two, 2), 2u);
    EXPECT_EQ(m.ShortMessage(), 0x000005C0u); // the missing byte is zero, not the third given
}

TEST(MidiMessage, SetBytesCopiesEvenFromItsOwnDataAndRefusesWhatAHeaderCannotDescribe) {
    CMidiMessage m;
    const auto bytes = SysexBytes(64);
    ASSERT_EQ(m.SetBytes(bytes.data(), bytes.size()), 64u);
    EXPECT_TRUE(m.Owns());
    EXPECT_EQ(m.SetBytes(m.Data() + 8, 20), 20u);
    EXPECT_EQ(std::vector<uint8_t>(m.Data(), m.Data() + m.Length()),
              std::vector<uint8_t>(bytes.begin() + 8, bytes.begin() + 28));

    const uint8_t byte = 0xF0;
    EXPECT_EQ(m.SetBytes(&byte, size_t{1} << 33), 0u); // no 32-bit length holds it
    EXPECT_TRUE(m.Header() == nullptr && m.Length() == 0);
    EXPECT_EQ(m.SetBytes(nullptr, 10), 0u);
    EXPECT_EQ(m.Length(), 0u);
}

TEST(MidiMessage, CopyFromDuplicatesBytesIntoAnOwnedBlock) {
    std::array<char, 6> data{'\xF0', 0x7E, 0x7F, 0x09, 0x01, '\xF7'};
    MIDIHDR h;
    h.lpData = data.data();
    h.dwBufferLength = 64;
    h.dwBytesRecorded = 6;
    CMidiMessage source(&h);
    source.SetTime(1234);

    CMidiMessage copy(0x90, 1, 2);
    ASSERT_TRUE(copy.CopyFrom(source));
    ASSERT_TRUE(copy.Owns() && copy.Header() != &h);
    EXPECT_EQ(copy.Time(), 1234u);
    data[1] = 0; // the copy does not point into the source
    EXPECT_EQ(*copy.Byte(1), 0x7E);

    // A three-byte system-exclusive message keeps its bytes rather than becoming a short message.
    h.dwBytesRecorded = 3;
    ASSERT_TRUE(copy.CopyFrom(source));
    ASSERT_EQ(copy.Length(), 3u);
    EXPECT_EQ(copy.FirstWord() & 0xFF, 0xF0u);

    // A header claiming more than its buffer is copied only as far as the buffer goes.
    h.dwBufferLength = 6;
    h.dwBytesRecorded = 500;
    ASSERT_TRUE(copy.CopyFrom(source));
    EXPECT_EQ(copy.Header()->dwBufferLength, 6u);
}

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
    EXPECT_EQ(std::pair(queue.ShortWord(0), queue.ShortTime(0)), std::pair(0x00643C90u, 5u));
    EXPECT_EQ(std::pair(queue.ShortWord(1), queue.ShortTime(1)), std::pair(0x00003C80u, 0u));
    EXPECT_EQ(queue.ShortWord(2), 0x0000403Cu);
}

// The 2001st short message and the 101st system-exclusive one are dropped; the rest keep their
// order, and system-exclusive bytes are copied into records the queue owns.
TEST(MidiInputQueue, FullQueuesDropNewArrivalsAndKeepTheirOrder) {
    CMidiInputQueue queue;
    for (uint32_t i = 0; i <= CMidiInputQueue::kShortCapacity; ++i)
        queue.Queue(Note(static_cast<uint8_t>(i % 128), i));
    for (uint32_t i = 0; i <= CMidiInputQueue::kSysexCapacity; ++i) {
        auto m = Sysex(static_cast<uint8_t>(i), 4 + i);
        m.SetTime(i);
        queue.Queue(m);
        m.Release(); // the sender frees its record; the queue's copy stays
    }
    const auto counts = queue.Snapshot();
    ASSERT_EQ(counts.shortCount, 2000u);
    ASSERT_EQ(counts.sysexCount, 100u);
    for (uint32_t i = 0; i < counts.shortCount; ++i) {
        ASSERT_EQ(queue.ShortTime(i), i);
        ASSERT_EQ((queue.ShortWord(i) >> 8) & 0xFF, i % 128);
    }
    for (uint32_t i = 0; i < counts.sysexCount; ++i) {
        const CMidiMessage& r = queue.Sysex(i);
        ASSERT_TRUE(r.Owns() && r.Length() == 4 + i && SysexTag(r) == i && r.Time() == i) << i;
    }
    EXPECT_EQ(queue.Sysex(100).Header(), nullptr); // out of range: an empty record
}

// Two producers (a MIDI input and the step clock) against the engine consumer, which removes what
// it took while more arrives. Producers hold back while the queue is nearly full: every message
// must arrive exactly once, in its producer's order.
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
    uint32_t nextSysex = 0, received = 0;
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
