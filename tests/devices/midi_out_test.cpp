// The MIDI output's note-off rule, helpers and long messages, against the virtual MIDI output.
#include "devices/device_test_support.h"
#include "midi/midi_out_engine.h"

#include <thread>

namespace zorvil::test {
namespace {

class MidiOutTest : public testing::Test {
protected:
    VirtualDevicesOn m_virtual;
    CEngineMidiOut m_out;

    void SetUp() override { ASSERT_TRUE(m_out.OpenByName(platform::kVirtualMidiOutName)); }
    std::vector<Bytes> Sent() { return platform::VirtualDevices::MidiOut()->Messages(); }
};

TEST_F(MidiOutTest, ANoteOffAfterANoteOnOnItsChannelGoesOutAsANoteOnOfVelocityZero) {
    m_out.NoteOn(0, 61, 0); // a note-on of velocity 0 is sent as a note-off
    CMidiMessage on(0x91, 60, 100);
    CMidiMessage off(0x81, 60, 64);
    ASSERT_TRUE(m_out.Send(on));
    ASSERT_TRUE(m_out.Send(off));
    EXPECT_EQ(off.ShortMessage(), 0x003C91u); // the caller's record was rewritten
    m_out.NoteOff(2, 60, 64);                 // another channel: unchanged
    m_out.NoteOn(0, 60, 100);
    CMidiMessage clock(0xF8, 0, 0); // system messages leave the last status alone
    ASSERT_TRUE(m_out.Send(clock));
    m_out.NoteOff(0, 60, 64);
    EXPECT_EQ(m_out.LastStatus(), 0x90);
    // What plug-ins send goes through the same rule but keeps their record.
    const CMidiMessage pluginOff(0x80, 60, 64);
    static_cast<IMidiOutputSink&>(m_out).SendMidiMessage(pluginOff);
    EXPECT_EQ(pluginOff.ShortMessage(), 0x403C80u);
    EXPECT_EQ(Sent(), (std::vector<Bytes>{{0x80, 61, 64},
                                          {0x91, 60, 100},
                                          {0x91, 60, 0},
                                          {0x82, 60, 64},
                                          {0x90, 60, 100},
                                          {0xF8},
                                          {0x90, 60, 0},
                                          {0x90, 60, 0}}));
}

TEST_F(MidiOutTest, ALongMessageReturnsDoneAnEmptyOneNothingAndAClosedPortDropsAll) {
    const uint8_t bytes[] = {0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7};
    CMidiMessage sysex;
    ASSERT_EQ(sysex.SetBytes(bytes, sizeof bytes), sizeof bytes);
    ASSERT_TRUE(m_out.Send(sysex));
    EXPECT_TRUE(sysex.Header()->dwFlags.load() & platform::MHDR_DONE);
    EXPECT_FALSE(sysex.Header()->dwFlags.load() & platform::MHDR_PREPARED);
    static_cast<IMidiOutputSink&>(m_out).SendMidiMessage(sysex); // as a plug-in sends it
    CMidiMessage empty;
    EXPECT_FALSE(m_out.Send(empty));
    const Bytes expected(bytes, bytes + sizeof bytes);
    EXPECT_EQ(Sent(), (std::vector<Bytes>{expected, expected}));
    EXPECT_FALSE(m_out.OpenByName("No Such Port"));
    EXPECT_TRUE(m_out.IsOpen()); // the open port stays open
    m_out.Close();
    EXPECT_FALSE(m_out.NoteOn(0, 60, 1));
}

TEST_F(MidiOutTest, TwoSendersAtOnceKeepEveryNoteOffPaired) {
    // The input's pass-through and the engine send at the same time; every rewrite decision is
    // made against the status that actually went out last.
    auto sender = [this](int channel) {
        for (int i = 0; i < 500; ++i) {
            m_out.NoteOn(channel, 60, 100);
            m_out.NoteOff(channel, 60, 64);
        }
    };
    std::thread a(sender, 0);
    std::thread b(sender, 1);
    a.join();
    b.join();
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 2000u);
    uint8_t last = 0;
    for (const auto& m : sent) {
        EXPECT_FALSE((m[0] & 0xF0) == 0x80 && last == (0x90 | (m[0] & 0x0F))); // not rewritten
        if (m[0] < 0xF0) last = m[0];
    }
}

} // namespace
} // namespace zorvil::test
