// The MIDI input's buffer rules and system-exclusive handling, against the virtual
// MIDI ports, the real host queue and the scripted user interface.
#include "devices/device_test_support.h"
#include "midi/midi_in_engine.h"
#include "midi/midi_out_engine.h"
#include "support/scripted_user_interface.h"

namespace zorvil::test {
namespace {

class MidiInTest : public testing::Test {
protected:
    VirtualDevicesOn m_virtual;
    CSeqHost m_host;
    ScriptedUserInterface m_ui;
    CEngineMidiOut m_out;
    CEngineMidiIn m_in;

    void SetUp() override {
        m_in.SetHost(&m_host);
        m_in.SetUserInterface(&m_ui);
        m_in.SetMidiOutput(&m_out);
        ASSERT_TRUE(m_in.OpenByName(platform::kVirtualMidiInName));
        ASSERT_TRUE(m_out.OpenByName(platform::kVirtualMidiOutName));
    }
    void TearDown() override { m_in.Close(); }

    void Send(Bytes bytes) { platform::VirtualDevices::MidiIn()->Send(bytes); }
    std::vector<Bytes> Sent() { return platform::VirtualDevices::MidiOut()->Messages(); }
};

TEST_F(MidiInTest, OnlyAStartedPortDeliversOnlyWholeSystemExclusiveAndResetTakesAllSeven) {
    EXPECT_FALSE(m_in.OpenByName("No Such Port")); // the open port stays open
    Send({0x90, 60, 100});                         // not started: nothing
    ASSERT_TRUE(m_in.Start());
    Send({0xC1, 5});
    const Bytes sysex = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    Send(sysex);
    Send({0xF0, 0x43, 0x10}); // cut short: no 0xF7
    EXPECT_EQ(QueuedWords(m_host), std::vector<uint32_t>{0x05C1});
    EXPECT_LT(m_host.MidiQueue().ShortTime(0), 1000u); // counted from the port's start
    EXPECT_EQ(QueuedSysex(m_host), std::vector<Bytes>{sysex});
    EXPECT_EQ(m_in.PreparedBuffers(), CMidiIn::kBufferCount); // every buffer queued again
    EXPECT_TRUE(Sent().empty());                              // no thru: nothing goes out

    ASSERT_TRUE(m_in.Stop());
    Send(sysex); // stopped: dropped
    EXPECT_EQ(QueuedSysex(m_host).size(), 1u);
    EXPECT_EQ(m_in.PreparedBuffers(), CMidiIn::kBufferCount);
    ASSERT_TRUE(m_in.Reset());
    EXPECT_EQ(m_in.PreparedBuffers(), 0); // all 7 came back and stay unprepared
    ASSERT_TRUE(m_in.Start());            // Start queues them again
    EXPECT_EQ(m_in.PreparedBuffers(), CMidiIn::kBufferCount);
    Send(sysex);
    EXPECT_EQ(QueuedSysex(m_host).size(), 2u);
}

TEST_F(MidiInTest, ALongMessagePassesThroughInPiecesAndIsQueuedWhole) {
    m_in.SetThru(true); // the output takes every delivered piece as it is
    ASSERT_TRUE(m_in.Start());
    Bytes sysex(2 * 8192 + 100, 0x11);
    sysex.front() = 0xF0;
    sysex.back() = 0xF7;
    Send(sysex);
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0], Bytes(sysex.begin(), sysex.begin() + 8192));
    EXPECT_EQ(sent[2], Bytes(sysex.begin() + 2 * 8192, sysex.end()));
    // The plug-ins get one complete message, and no piece as a stray short message.
    EXPECT_EQ(QueuedSysex(m_host), std::vector<Bytes>{sysex});
    EXPECT_TRUE(QueuedWords(m_host).empty());

    // A message cut short before its end is not queued, and does not stick to the next one.
    Bytes cut(8192 + 10, 0x22);
    cut.front() = 0xF0;
    Send(cut);
    const Bytes next = {0xF0, 0x01, 0xF7};
    Send(next);
    EXPECT_EQ(QueuedSysex(m_host), (std::vector<Bytes>{sysex, next}));
    EXPECT_TRUE(QueuedWords(m_host).empty());
    EXPECT_EQ(m_ui.MidiActivityCount(), 5);
}

} // namespace
} // namespace zorvil::test
