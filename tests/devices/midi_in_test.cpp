// The MIDI input's buffer rules, forwarding order and pass-through, against the virtual MIDI
// ports, the real host queue and the scripted user interface.
#include "devices/device_test_support.h"
#include "host/seq_host.h"
#include "midi/midi_in_engine.h"
#include "midi/midi_out_engine.h"
#include "support/scripted_user_interface.h"

namespace zorvil::test {
namespace {

using Bytes = std::vector<uint8_t>;

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
    }
    void TearDown() override { m_in.Close(); }

    void Send(Bytes bytes) { platform::VirtualDevices::MidiIn()->Send(bytes); }

    std::vector<uint32_t> QueuedWords() {
        const auto counts = m_host.MidiQueue().Snapshot();
        std::vector<uint32_t> words;
        for (uint32_t i = 0; i < counts.shortCount; ++i)
            words.push_back(m_host.MidiQueue().ShortWord(i));
        return words;
    }
    std::vector<Bytes> QueuedSysex() {
        const auto counts = m_host.MidiQueue().Snapshot();
        std::vector<Bytes> messages;
        for (uint32_t i = 0; i < counts.sysexCount; ++i) {
            const CMidiMessage& m = m_host.MidiQueue().Sysex(i);
            messages.emplace_back(m.Data(), m.Data() + m.Length());
        }
        return messages;
    }
};

TEST_F(MidiInTest, MessagesReachTheQueueInOrderOnceStarted) {
    Send({0x90, 60, 100}); // not started: nothing
    ASSERT_TRUE(m_in.Start());
    Send({0x90, 60, 100});
    Send({0xB3, 7, 99});
    Send({0xC1, 5});
    Send({0x90, 62, 0}); // a note-on of velocity 0 arrives as a note-off of velocity 64
    EXPECT_EQ(QueuedWords(), (std::vector<uint32_t>{0x643C90, 0x6307B3, 0x05C1, 0x403E80}));
    EXPECT_EQ(m_ui.MidiActivityCount(), 4);
    // Time stamps count from the start of the port.
    EXPECT_LT(m_host.MidiQueue().ShortTime(0), 1000u);
}

TEST_F(MidiInTest, SystemExclusiveIsDeliveredWholeAndIncompleteOnesAreNot) {
    ASSERT_TRUE(m_in.Start());
    const Bytes sysex = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    Send(sysex);
    Send({0xF0, 0x43, 0x10}); // cut short: no 0xF7
    Send({0xF0, 0x01, 0x02, 0x03, 0xF7});
    EXPECT_EQ(QueuedSysex(), (std::vector<Bytes>{sysex, {0xF0, 0x01, 0x02, 0x03, 0xF7}}));
    EXPECT_EQ(m_in.PreparedBuffers(), CMidiIn::kBufferCount); // every buffer queued again
}

TEST_F(MidiInTest, ALongMessagePassesThroughInPiecesAndIsQueuedWhole) {
    // The output (pass-through) takes every delivered piece as it is.
    ASSERT_TRUE(m_out.OpenByName(platform::kVirtualMidiOutName));
    m_in.SetThru(true);
    ASSERT_TRUE(m_in.Start());
    Bytes sysex(2 * 8192 + 100, 0x11);
    sysex.front() = 0xF0;
    sysex.back() = 0xF7;
    Send(sysex);
    const auto sent = platform::VirtualDevices::MidiOut()->Messages();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0], Bytes(sysex.begin(), sysex.begin() + 8192));
    EXPECT_EQ(sent[2], Bytes(sysex.begin() + 2 * 8192, sysex.end()));
    // The plug-ins get one complete message, and no piece as a stray short message.
    EXPECT_EQ(QueuedSysex(), std::vector<Bytes>{sysex});
    EXPECT_TRUE(QueuedWords().empty());

    // A message cut short before its end is not queued, and does not stick to the next one.
    Bytes cut(8192 + 10, 0x22);
    cut.front() = 0xF0;
    Send(cut);
    const Bytes next = {0xF0, 0x01, 0xF7};
    Send(next);
    EXPECT_EQ(QueuedSysex(), (std::vector<Bytes>{sysex, next}));
    EXPECT_TRUE(QueuedWords().empty());
    EXPECT_EQ(m_ui.MidiActivityCount(), 5);
}

TEST_F(MidiInTest, SystemExclusiveWhileStoppedIsDroppedAndResetWaitsForAllSevenBuffers) {
    ASSERT_TRUE(m_in.Start());
    ASSERT_TRUE(m_in.Stop());
    Send({0xF0, 0x01, 0x02, 0xF7});
    EXPECT_TRUE(QueuedSysex().empty());
    EXPECT_EQ(m_in.PreparedBuffers(), CMidiIn::kBufferCount);
    ASSERT_TRUE(m_in.Reset());
    EXPECT_EQ(m_in.PreparedBuffers(), 0); // all 7 came back and stay unprepared
    ASSERT_TRUE(m_in.Start());            // Start queues them again
    EXPECT_EQ(m_in.PreparedBuffers(), CMidiIn::kBufferCount);
    Send({0xF0, 0x05, 0x06, 0xF7});
    EXPECT_EQ(QueuedSysex().size(), 1u);
}

TEST_F(MidiInTest, ThruSendsEveryMessageToTheOutputBeforeItIsQueued) {
    ASSERT_TRUE(m_out.OpenByName(platform::kVirtualMidiOutName));
    m_in.SetThru(true);
    ASSERT_TRUE(m_in.Start());
    Send({0x91, 60, 100});
    Send({0x81, 60, 64});
    Send({0xF0, 0x7D, 0x01, 0xF7});
    const auto sent = platform::VirtualDevices::MidiOut()->Messages();
    EXPECT_EQ(sent, (std::vector<Bytes>{{0x91, 60, 100}, {0x91, 60, 0}, {0xF0, 0x7D, 0x01, 0xF7}}));
    // The queue got the message as the output rewrote it: a note-on of velocity 0.
    EXPECT_EQ(QueuedWords(), (std::vector<uint32_t>{0x643C91, 0x003C91}));
    EXPECT_EQ(QueuedSysex().size(), 1u);
}

TEST_F(MidiInTest, WithoutThruNothingGoesToTheOutput) {
    ASSERT_TRUE(m_out.OpenByName(platform::kVirtualMidiOutName));
    ASSERT_TRUE(m_in.Start());
    Send({0x91, 60, 100});
    EXPECT_TRUE(platform::VirtualDevices::MidiOut()->Messages().empty());
    EXPECT_EQ(QueuedWords().size(), 1u);
}

TEST_F(MidiInTest, ANameThatMatchesNoPortLeavesTheOpenPortOpen) {
    EXPECT_FALSE(m_in.OpenByName("No Such Port"));
    EXPECT_TRUE(m_in.IsOpen());
    EXPECT_EQ(m_in.Name(), platform::kVirtualMidiInName);
    ASSERT_TRUE(m_in.Start());
    Send({0x90, 1, 1});
    EXPECT_EQ(QueuedWords().size(), 1u);
}

TEST_F(MidiInTest, TheInputListHasNoMapperEntry) {
    const auto list = MidiInDeviceList();
    EXPECT_EQ(std::find(list.begin(), list.end(), "MIDI Mapper"), list.end());
    EXPECT_NE(std::find(list.begin(), list.end(), platform::kVirtualMidiInName), list.end());
    const auto outputs = MidiOutDeviceList();
    ASSERT_FALSE(outputs.empty());
    EXPECT_EQ(outputs[0], "MIDI Mapper");
}

TEST_F(MidiInTest, APortThatVanishesDeliversNothingAndClosesAtOnce) {
    ASSERT_TRUE(m_in.Start());
    platform::VirtualDevices::MidiIn()->Vanish();
    Send({0x90, 1, 1});
    EXPECT_TRUE(QueuedWords().empty());
    EXPECT_FALSE(m_in.Alive());
    EXPECT_TRUE(m_in.Close());
}

// Decoding into the per-type hooks.
class HookRecorder : public CMidiIn {
public:
    std::vector<std::string> calls;
    void OnNoteOn(int c, int k, int v) noexcept override { Add("on", c, k, v); }
    void OnNoteOff(int c, int k, int v) noexcept override { Add("off", c, k, v); }
    void OnPolyPressure(int c, int k, int v) noexcept override { Add("poly", c, k, v); }
    void OnControlChange(int c, int n, int v) noexcept override { Add("cc", c, n, v); }
    void OnProgramChange(int c, int p) noexcept override { Add("pc", c, p, -1); }
    void OnChannelPressure(int c, int p) noexcept override { Add("cp", c, p, -1); }
    void OnPitchBend(int c, int v) noexcept override { Add("pb", c, v, -1); }

private:
    void Add(const char* what, int a, int b, int c) {
        calls.push_back(std::string(what) + " " + std::to_string(a) + " " + std::to_string(b) +
                        " " + std::to_string(c));
    }
};

TEST(MidiInDecoding, EachTypeReachesItsHook) {
    VirtualDevicesOn on;
    HookRecorder in;
    ASSERT_TRUE(in.OpenByName(platform::kVirtualMidiInName));
    ASSERT_TRUE(in.Start());
    auto* port = platform::VirtualDevices::MidiIn();
    for (Bytes m : std::vector<Bytes>{{0x92, 60, 100},
                                      {0x82, 60, 10},
                                      {0xA3, 61, 20},
                                      {0xB4, 7, 30},
                                      {0xC5, 40},
                                      {0xD6, 50},
                                      {0xE7, 0x01, 0x40},
                                      {0xF8}})
        port->Send(m);
    EXPECT_EQ(in.calls,
              (std::vector<std::string>{"on 2 60 100", "off 2 60 64", "poly 3 61 20", "cc 4 7 30",
                                        "pc 5 40 -1", "cp 6 50 -1", "pb 7 8193 -1"}));
    in.Close();
}

} // namespace
} // namespace zorvil::test
