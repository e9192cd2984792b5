// The MIDI input's buffer rules and system-exclusive handling, the MIDI output's note-off rule
// and long messages, against the virtual MIDI ports and the real host queue.
#include "devices/device_test_support.h"
#include "midi/midi_in_engine.h"
#include "midi/midi_out_engine.h"
#include "support/scripted_user_interface.h"

namespace zorvil::test {
namespace {

class MidiPortsTest : public testing::Test {
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

    void Send(Bytes bytes) { platform::VirtualDevices::MidiIn()->Send(bytes); }
    std::vector<Bytes> Sent() { return platform::VirtualDevices::MidiOut()->Messages(); }
};

TEST_F(MidiPortsTest, InOnlyAStartedPortDeliversOnlyWholeSystemExclusiveAndResetTakesAllSeven) {
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

TEST_F(MidiPortsTest, InALongMessagePassesThroughInPiecesAndIsQueuedWhole) {
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

// A note-off after a note-on on its channel goes out as a note-on of velocity 0; a long message is
// done at once, and a closed port drops everything.
TEST_F(MidiPortsTest, OutRewritesNoteOffsAndSendsLongMessagesWhileOpen) {
    m_out.NoteOn(0, 61, 0); // a note-on of velocity 0 is sent as a note-off
    CMidiMessage on(0x91, 60, 100);
    CMidiMessage off(0x81, 60, 64);
    ASSERT_TRUE(m_out.Send(on));
    ASSERT_TRUE(m_out.Send(off));
    EXPECT_EQ(off.ShortMessage(), 0x003C91u); // the caller's record was rewritten
    m_out.NoteOff(2, 60, 64);                 // another channel: unchanged
    m_out.NoteOn(0, 60, 100);
    m_out.NoteOff(0, 60, 64);
    EXPECT_EQ(m_out.LastStatus(), 0x90);
    // What plug-ins send goes through the same rule but keeps their record.
    const CMidiMessage pluginOff(0x80, 60, 64);
    static_cast<IMidiOutputSink&>(m_out).SendMidiMessage(pluginOff);
    EXPECT_EQ(pluginOff.ShortMessage(), 0x403C80u);
    const Bytes bytes = {0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7};
    CMidiMessage sysex;
    ASSERT_EQ(sysex.SetBytes(bytes.data(), bytes.size()), bytes.size());
    ASSERT_TRUE(m_out.Send(sysex));
    EXPECT_EQ(sysex.Header()->dwFlags.load() & (platform::MHDR_DONE | platform::MHDR_PREPARED),
              platform::MHDR_DONE);
    static_cast<IMidiOutputSink&>(m_out).SendMidiMessage(sysex); // as a plug-in sends it
    EXPECT_EQ(Sent(), (std::vector<Bytes>{{0x80, 61, 64},
                                          {0x91, 60, 100},
                                          {0x91, 60, 0},
                                          {0x82, 60, 64},
                                          {0x90, 60, 100},
                                          {0x90, 60, 0},
                                          {0x90, 60, 0},
                                          bytes,
                                          bytes}));
    EXPECT_FALSE(m_out.OpenByName("No Such Port"));
    EXPECT_TRUE(m_out.IsOpen()); // the open port stays open
    m_out.Close();
    EXPECT_FALSE(m_out.NoteOn(0, 60, 1));
}

TEST_F(MidiPortsTest, OutResetEndsEveryNoteStillOnAndClosingResets) {
    m_in.SetThru(true);
    ASSERT_TRUE(m_in.Start());
    Send({0x90, 60, 100}); // held through pass-through
    Send({0x93, 64, 90});
    static_cast<IMidiOutputSink&>(m_out).SendMidiMessage(
        CMidiMessage(0x95, 70, 100)); // a plug-in's
    m_out.NoteOn(2, 50, 100);         // started and ended: nothing to end
    m_out.NoteOff(2, 50, 64);
    m_out.NoteOn(0, 61, 0); // velocity 0 ends nothing and starts nothing
    EXPECT_EQ(m_out.SoundingNotes(), 3);
    platform::VirtualDevices::MidiOut()->Clear();
    ASSERT_TRUE(m_out.Reset());
    std::vector<Bytes> expected = {{0x80, 60, 64}, {0x83, 64, 64}, {0x85, 70, 64}};
    for (uint8_t channel = 0; channel < 16; ++channel) { // sustain off, all notes off
        expected.push_back({static_cast<uint8_t>(0xB0 + channel), 64, 0});
        expected.push_back({static_cast<uint8_t>(0xB0 + channel), 123, 0});
    }
    EXPECT_EQ(Sent(), expected);
    EXPECT_EQ(m_out.SoundingNotes(), 0);

    // Closing the port (or changing it) resets it first.
    m_out.NoteOn(9, 36, 100);
    m_out.Close();
    EXPECT_EQ(m_out.SoundingNotes(), 0);
}

} // namespace
} // namespace zorvil::test
