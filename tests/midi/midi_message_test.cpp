#include "midi/midi_message.h"
#include "midi/wave_buffer.h"

#include <array>
#include <gtest/gtest.h>
#include <numeric>
#include <vector>

using zorvil::CMidiMessage;
using zorvil::CWaveBuffer;
using zorvil::platform::MIDIHDR;

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

    EXPECT_EQ(CMidiMessage(0x92, 0x3C, 1).ShortMessage(), 0x00013C92u);
    EXPECT_EQ(CMidiMessage(0x82, 0x3C, 0).ShortMessage(), 0x00003C82u);
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
    EXPECT_EQ(BytesOf(m), std::vector<uint8_t>(bytes.begin() + 8, bytes.begin() + 28));

    const uint8_t byte = 0xF0;
    EXPECT_EQ(m.SetBytes(&byte, size_t{1} << 33), 0u); // no 32-bit length holds it
    EXPECT_EQ(m.Header(), nullptr);
    EXPECT_EQ(m.Length(), 0u);
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

TEST(WaveBuffer, OwnedBufferIsZeroFilledAndImpossibleSizesAreRefused) {
    CWaveBuffer buffer(4 * 882);
    ASSERT_NE(buffer.Header(), nullptr);
    EXPECT_EQ(buffer.Length(), 4u * 882);
    for (size_t i = 0; i < buffer.Length(); ++i)
        ASSERT_EQ(buffer.Data()[i], 0) << i;

    CWaveBuffer huge(size_t{1} << 33);
    EXPECT_EQ(huge.Header(), nullptr);
    EXPECT_EQ(huge.Data(), nullptr);
    EXPECT_EQ(huge.Length(), 0u);
}
