#include "midi/midi_message.h"
#include "midi/wave_buffer.h"

#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <numeric>
#include <vector>

using zorvil::CMidiMessage;
using zorvil::CWaveBuffer;
using zorvil::platform::MIDIHDR;
using zorvil::platform::WAVEHDR;

namespace {

std::vector<uint8_t> SysexBytes(size_t n) {
    std::vector<uint8_t> bytes(n);
    std::iota(bytes.begin(), bytes.end(), uint8_t{0x10});
    bytes.front() = 0xF0;
    bytes.back() = 0xF7;
    return bytes;
}

std::vector<uint8_t> BytesOf(const CMidiMessage& m) {
    return {m.Data(), m.Data() + m.Length()};
}

} // namespace

TEST(MidiMessage, NoteOnWithVelocityZeroBecomesNoteOffWithVelocity64) {
    EXPECT_EQ(CMidiMessage(0x92, 0x3C, 0).ShortMessage(), 0x00403C82u);
    EXPECT_EQ(CMidiMessage(0x00003C92u).ShortMessage(), 0x00403C82u);
    CMidiMessage m;
    m.SetShortMessage(0x00007F9Fu);
    EXPECT_EQ(m.ShortMessage(), 0x00407F8Fu);
    const uint8_t bytes[] = {0x95, 0x40, 0x00};
    m.SetBytes(bytes, 3);
    EXPECT_EQ(m.ShortMessage(), 0x00404085u);
}

TEST(MidiMessage, OtherMessagesAreStoredAsGiven) {
    EXPECT_EQ(CMidiMessage(0x92, 0x3C, 1).ShortMessage(), 0x00013C92u);
    EXPECT_EQ(CMidiMessage(0x82, 0x3C, 0).ShortMessage(), 0x00003C82u);
    EXPECT_EQ(CMidiMessage(0xB0, 0x07, 0).ShortMessage(), 0x000007B0u); // control change, value 0
    EXPECT_EQ(CMidiMessage(0xC3, 0x05, 0).ShortMessage(), 0x000005C3u);
}

TEST(MidiMessage, ShortDataIsThePackedWordInByteOrder) {
    CMidiMessage m(0x90, 60, 100);
    EXPECT_EQ(m.Header(), nullptr);
    EXPECT_FALSE(m.Owns());
    EXPECT_EQ(m.Data()[0], 0x90);
    EXPECT_EQ(*m.Byte(1), 60);
    EXPECT_EQ(*m.Byte(2), 100);
    EXPECT_EQ(m.Byte(4), nullptr);
    EXPECT_EQ(m.FirstWord(), 0x00643C90u);
    EXPECT_EQ(m.Length(), 3u);
    EXPECT_EQ(m.Time(), 0u);
}

TEST(MidiMessage, LengthFollowsTheStatusTable) {
    for (int s = 0; s < 256; ++s) {
        size_t expected = 0;
        if ((s >= 0x80 && s <= 0xBF) || (s >= 0xE0 && s <= 0xEF) || s == 0xF2)
            expected = 3;
        else if ((s >= 0xC0 && s <= 0xDF) || s == 0xF1 || s == 0xF3)
            expected = 2;
        else if (s == 0xF6 || s == 0xF8 || s == 0xFA || s == 0xFB || s == 0xFC || s == 0xFE ||
                 s == 0xFF)
            expected = 1;
        EXPECT_EQ(CMidiMessage::ShortMessageLength(static_cast<uint8_t>(s)), expected) << s;
        EXPECT_EQ(CMidiMessage(static_cast<uint8_t>(s), 1, 1).Length(), expected) << s;
    }
}

TEST(MidiMessage, SetBytesBelowFourMakesAShortMessage) {
    CMidiMessage m;
    const uint8_t three[] = {0xE1, 0x00, 0x40};
    EXPECT_EQ(m.SetBytes(three, 3), 3u);
    EXPECT_EQ(m.Header(), nullptr);
    EXPECT_EQ(m.ShortMessage(), 0x004000E1u);

    const uint8_t two[] = {0xC0, 0x05, 0x77};
    EXPECT_EQ(m.SetBytes(two, 2), 2u);
    EXPECT_EQ(m.ShortMessage(), 0x000005C0u); // the missing byte is zero, not the third given

    EXPECT_EQ(m.SetBytes(nullptr, 0), 0u);
    EXPECT_EQ(m.ShortMessage(), 0u);
}

TEST(MidiMessage, SetBytesFromFourMakesAnOwnedHeaderAndData) {
    CMidiMessage m;
    const auto bytes = SysexBytes(4);
    EXPECT_EQ(m.SetBytes(bytes.data(), bytes.size()), 4u);
    ASSERT_NE(m.Header(), nullptr);
    EXPECT_TRUE(m.Owns());
    const MIDIHDR* h = m.Header();
    EXPECT_EQ(h->lpData, reinterpret_cast<const char*>(h + 1)); // one block: header, then data
    EXPECT_EQ(h->dwBufferLength, 4u);
    EXPECT_EQ(h->dwBytesRecorded, 4u);
    EXPECT_EQ(h->dwFlags.load(), 0u);
    EXPECT_EQ(h->dwUser, 0u);
    EXPECT_EQ(BytesOf(m), bytes);
    EXPECT_EQ(m.FirstWord(), 0xF71211F0u);
    EXPECT_EQ(m.ShortMessage(), 0u);

    const auto longer = SysexBytes(300);
    EXPECT_EQ(m.SetBytes(longer.data(), longer.size()), 300u);
    EXPECT_EQ(BytesOf(m), longer);

    m.Release();
    EXPECT_EQ(m.Header(), nullptr);
    EXPECT_FALSE(m.Owns());
    EXPECT_EQ(m.Length(), 0u);
}

TEST(MidiMessage, SetBytesFromItsOwnDataKeepsTheBytes) {
    CMidiMessage m;
    const auto bytes = SysexBytes(64);
    m.SetBytes(bytes.data(), bytes.size());
    EXPECT_EQ(m.SetBytes(m.Data() + 8, 20), 20u);
    EXPECT_EQ(BytesOf(m), std::vector<uint8_t>(bytes.begin() + 8, bytes.begin() + 28));
}

TEST(MidiMessage, SetBytesRefusesWhatAHeaderCannotDescribe) {
    CMidiMessage m(0x90, 60, 100);
    const uint8_t byte = 0xF0;
    EXPECT_EQ(m.SetBytes(&byte, size_t{1} << 33), 0u); // no 32-bit length holds it
    EXPECT_EQ(m.Header(), nullptr);
    EXPECT_EQ(m.ShortMessage(), 0u);
    EXPECT_EQ(m.Length(), 0u);
    EXPECT_EQ(m.SetBytes(nullptr, 10), 0u);
    EXPECT_EQ(m.Length(), 0u);
}

TEST(MidiMessage, ForeignHeaderIsReadButNotOwned) {
    std::array<char, 8> data{'\xF0', 1, 2, 3, 4, 5, 6, '\xF7'};
    MIDIHDR h;
    h.lpData = data.data();
    h.dwBufferLength = 8;
    CMidiMessage m(&h);
    EXPECT_EQ(m.Header(), &h);
    EXPECT_FALSE(m.Owns());
    EXPECT_EQ(m.Length(), 8u); // nothing recorded: the buffer length
    h.dwBytesRecorded = 5;
    EXPECT_EQ(m.Length(), 5u);
    EXPECT_EQ(m.FirstWord(), 0x030201F0u);
    EXPECT_EQ(*m.Byte(7), 0xF7);
    EXPECT_EQ(m.Byte(8), nullptr);
    m.Release(); // must not free the caller's header
    EXPECT_EQ(m.Header(), nullptr);

    h.dwBufferLength = 2; // a header shorter than a word: FirstWord reads only what is there
    m.SetHeader(&h);
    EXPECT_EQ(m.FirstWord(), 0x000001F0u);
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
    ASSERT_NE(copy.Header(), nullptr);
    EXPECT_NE(copy.Header(), &h);
    EXPECT_TRUE(copy.Owns());
    EXPECT_EQ(copy.Length(), 6u);
    EXPECT_EQ(copy.Time(), 1234u);
    data[1] = 0; // the copy does not point into the source
    EXPECT_EQ(*copy.Byte(1), 0x7E);

    // A three-byte system-exclusive message keeps its bytes rather than becoming a short message.
    h.dwBytesRecorded = 3;
    ASSERT_TRUE(copy.CopyFrom(source));
    ASSERT_NE(copy.Header(), nullptr);
    EXPECT_EQ(copy.Length(), 3u);
    EXPECT_EQ(copy.FirstWord() & 0xFF, 0xF0u);

    // A header claiming more than its buffer is copied only as far as the buffer goes.
    h.dwBufferLength = 6;
    h.dwBytesRecorded = 500;
    ASSERT_TRUE(copy.CopyFrom(source));
    EXPECT_EQ(copy.Header()->dwBufferLength, 6u);

    CMidiMessage shortCopy;
    shortCopy.CopyFrom(CMidiMessage(0x80, 60, 0));
    EXPECT_EQ(shortCopy.ShortMessage(), 0x00003C80u);
    EXPECT_EQ(shortCopy.Header(), nullptr);
    EXPECT_TRUE(shortCopy.CopyFrom(shortCopy));
    EXPECT_EQ(shortCopy.ShortMessage(), 0x00003C80u);
}

TEST(MidiMessage, MovingHandsTheBlockOver) {
    const auto bytes = SysexBytes(10);
    CMidiMessage a;
    a.SetBytes(bytes.data(), bytes.size());
    a.SetTime(7);
    const MIDIHDR* block = a.Header();

    CMidiMessage b(std::move(a));
    EXPECT_EQ(b.Header(), block);
    EXPECT_TRUE(b.Owns());
    EXPECT_EQ(b.Time(), 7u);
    EXPECT_EQ(a.Header(), nullptr); // NOLINT(bugprone-use-after-move): moved-from is empty
    EXPECT_FALSE(a.Owns());

    CMidiMessage c(0x90, 1, 1);
    c = std::move(b);
    EXPECT_EQ(c.Header(), block);
    EXPECT_EQ(BytesOf(c), bytes);

    swap(a, c);
    EXPECT_EQ(a.Header(), block);
    EXPECT_EQ(c.Header(), nullptr);
}

TEST(WaveBuffer, OwnedBufferIsZeroFilledAfterItsHeader) {
    CWaveBuffer buffer(4 * 882);
    ASSERT_NE(buffer.Header(), nullptr);
    EXPECT_TRUE(buffer.Owns());
    const WAVEHDR* h = buffer.Header();
    EXPECT_EQ(buffer.Data(), reinterpret_cast<const char*>(h + 1));
    EXPECT_EQ(h->dwBufferLength, 4u * 882);
    EXPECT_EQ(h->dwBytesRecorded, 0u);
    EXPECT_EQ(h->dwFlags.load(), 0u);
    EXPECT_EQ(buffer.Length(), 4u * 882);
    for (size_t i = 0; i < buffer.Length(); ++i)
        ASSERT_EQ(buffer.Data()[i], 0) << i;
    buffer.Header()->dwBytesRecorded = 100;
    EXPECT_EQ(buffer.Length(), 100u);

    CWaveBuffer moved(std::move(buffer));
    EXPECT_EQ(moved.Header(), h);
    moved.Release();
    EXPECT_EQ(moved.Header(), nullptr);
    EXPECT_EQ(moved.Length(), 0u);
}

TEST(WaveBuffer, WrapsAForeignHeaderAndRefusesImpossibleSizes) {
    std::array<char, 16> data{};
    WAVEHDR h;
    h.lpData = data.data();
    h.dwBufferLength = 16;
    {
        CWaveBuffer wrapped(&h);
        wrapped.SetTime(99);
        EXPECT_EQ(wrapped.Data(), data.data());
        EXPECT_EQ(wrapped.Length(), 16u);
        EXPECT_EQ(wrapped.Time(), 99u);
        EXPECT_FALSE(wrapped.Owns());
    } // the destructor leaves the caller's header alone
    EXPECT_EQ(h.lpData, data.data());

    CWaveBuffer huge(size_t{1} << 33);
    EXPECT_EQ(huge.Header(), nullptr);
    EXPECT_EQ(huge.Data(), nullptr);
    EXPECT_EQ(huge.Length(), 0u);
}
