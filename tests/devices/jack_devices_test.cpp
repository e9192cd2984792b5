// The devices against the test run's own JACK server, through an ordinary JACK client.
#include "devices/device_test_support.h"
#include "devices/jack_test_client.h"
#include "engine/wave_in_engine.h"
#include "engine/wave_out_engine.h"
#include "host/seq_host.h"
#include "midi/midi_in_engine.h"
#include "midi/midi_out_engine.h"
#include "platform/audio_device_jack.h"
#include "support/jack_server.h"
#include "support/scripted_user_interface.h"

#include <atomic>
#include <iterator>
#include <thread>
#include <unistd.h>

namespace zorvil::test {
namespace {

using Bytes = std::vector<uint8_t>;

class JackDevicesTest : public testing::Test {
protected:
    JackTestClient m_client;

    void SetUp() override {
        ASSERT_NE(JackServer::Current(), nullptr) << "no JACK server for this run";
        ASSERT_TRUE(JackServer::Current()->Running());
        ASSERT_TRUE(m_client.Open());
    }

    std::vector<uint32_t> QueuedWords(CSeqHost& host) {
        const auto counts = host.MidiQueue().Snapshot();
        std::vector<uint32_t> words;
        for (uint32_t i = 0; i < counts.shortCount; ++i)
            words.push_back(host.MidiQueue().ShortWord(i));
        return words;
    }
};

// The samples that are not silence.
std::vector<float> Sound(const std::vector<float>& samples) {
    std::vector<float> sound;
    std::copy_if(samples.begin(), samples.end(), std::back_inserter(sound),
                 [](float v) { return v != 0.0f; });
    return sound;
}

TEST_F(JackDevicesTest, TheListsOfferJackAndTheWaveMapperIsJackWhileAServerRuns) {
    const auto outputs = WaveOutDeviceList();
    EXPECT_NE(std::find(outputs.begin(), outputs.end(), "JACK"), outputs.end());
    const auto midiIn = MidiInDeviceList();
    EXPECT_NE(std::find(midiIn.begin(), midiIn.end(), "JACK MIDI"), midiIn.end());
    CWaveOut out;
    ASSERT_TRUE(out.OpenByName("Wave Mapper"));
    EXPECT_TRUE(m_client.PortExists("Zorvil:out_1"));
    EXPECT_TRUE(m_client.PortExists("Zorvil:out_2"));
    out.Close();
    EXPECT_FALSE(m_client.PortExists("Zorvil:out_1"));
}

TEST_F(JackDevicesTest, TheMidiMapperIsAPortOfZorvilsOwn) {
    // Without an ALSA sequencer the mapper is Zorvil's JACK MIDI port; the input list does not
    // show it, but it opens by name.
    CMidiIn in;
    CMidiOut out;
    ASSERT_TRUE(in.OpenByName("MIDI Mapper"));
    ASSERT_TRUE(out.OpenByName("MIDI Mapper"));
    EXPECT_EQ(in.Name(), "MIDI Mapper");
    if (access("/dev/snd/seq", R_OK | W_OK) != 0) {
        EXPECT_TRUE(m_client.PortExists("Zorvil:midi_in"));
        EXPECT_TRUE(m_client.PortExists("Zorvil:midi_out"));
    }
    in.Close();
    out.Close();
}

TEST_F(JackDevicesTest, TheDialogListsStartWithTheNoDeviceEntryAndCarryThePrefix) {
    VirtualDevicesOn on;
    const auto waveOut = WaveOutDialogList();
    ASSERT_GE(waveOut.size(), 3u);
    EXPECT_EQ(waveOut[0], "* No Wave *");
    EXPECT_EQ(waveOut[1], "MME: Wave Mapper");
    EXPECT_NE(std::find(waveOut.begin(), waveOut.end(), "MME: JACK"), waveOut.end());
    const auto waveIn = WaveInDialogList();
    EXPECT_EQ(waveIn[0], "* No Wave *");
    EXPECT_NE(std::find(waveIn.begin(), waveIn.end(), "MME: Virtual Wave In"), waveIn.end());
    const auto midiOut = MidiOutDialogList();
    ASSERT_GE(midiOut.size(), 3u);
    EXPECT_EQ(midiOut[0], "* No MIDI *");
    EXPECT_EQ(midiOut[1], "MIDI Mapper");
    const auto midiIn = MidiInDialogList();
    EXPECT_EQ(midiIn[0], "* No MIDI *");
    EXPECT_NE(std::find(midiIn.begin(), midiIn.end(), "JACK MIDI"), midiIn.end());
}

TEST_F(JackDevicesTest, AudioReachesZorvilsOutputPortsAtTheLevelTheConversionGives) {
    CEngineWaveOut out;
    ASSERT_TRUE(out.OpenWaveOutByName("MME: JACK", 2205));
    ASSERT_TRUE(m_client.Connect("Zorvil:out_1", "ZorvilTest:in_1"));
    ASSERT_TRUE(m_client.Connect("Zorvil:out_2", "ZorvilTest:in_2"));
    const std::vector<float> left(2205, 0.5f);
    const std::vector<float> right(2205, -0.25f);
    for (int i = 0; i < 8; ++i)
        out.WriteBlock(left.data(), right.data(), 2205);
    EXPECT_EQ(out.InFlight(), 8);
    ASSERT_TRUE(out.WaitForInFlight(0, 10s)); // played in real time, every buffer back
    ASSERT_TRUE(m_client.WaitFor([&] { return Sound(m_client.Left()).size() >= 8 * 2205; }, 5s));
    // A period the server skipped under load shows as a gap of silence, so only the sound is
    // compared: every frame arrived, each at the converted level.
    const float expectedLeft = static_cast<float>(CEngineWaveOut::ConvertSample(0.5f)) / 32768.0f;
    const float expectedRight =
        static_cast<float>(CEngineWaveOut::ConvertSample(-0.25f)) / 32768.0f;
    EXPECT_EQ(Sound(m_client.Left()), std::vector<float>(8 * 2205, expectedLeft));
    EXPECT_EQ(Sound(m_client.Right()), std::vector<float>(8 * 2205, expectedRight));
    EXPECT_TRUE(out.Close());
}

TEST_F(JackDevicesTest, MidiIntoZorvilsInputReachesTheQueueInOrder) {
    CSeqHost host;
    CEngineMidiIn in;
    in.SetHost(&host);
    ASSERT_TRUE(in.OpenByName("JACK MIDI"));
    ASSERT_TRUE(in.Start());
    ASSERT_TRUE(m_client.Connect("ZorvilTest:midi_out", "Zorvil:midi_in"));
    m_client.SendMidi({0x90, 60, 100});
    m_client.SendMidi({0xB0, 1, 64});
    m_client.SendMidi({0xF0, 0x7E, 0x01, 0x02, 0xF7});
    m_client.SendMidi({0x90, 60, 0});
    EXPECT_TRUE(m_client.WaitFor([&] { return QueuedWords(host).size() == 3; }, 5s));
    EXPECT_EQ(QueuedWords(host), (std::vector<uint32_t>{0x643C90, 0x4001B0, 0x403C80}));
    ASSERT_EQ(host.MidiQueue().Snapshot().sysexCount, 1u);
    const CMidiMessage& sysex = host.MidiQueue().Sysex(0);
    EXPECT_EQ(Bytes(sysex.Data(), sysex.Data() + sysex.Length()),
              (Bytes{0xF0, 0x7E, 0x01, 0x02, 0xF7}));
    in.Stop();
    EXPECT_TRUE(in.Reset());
    EXPECT_EQ(in.PreparedBuffers(), 0);
    in.Close();
}

TEST_F(JackDevicesTest, ThruAndPlugInMidiLeaveThroughZorvilsOutput) {
    CSeqHost host;
    ScriptedUserInterface ui;
    CEngineMidiOut out;
    CEngineMidiIn in;
    in.SetHost(&host);
    in.SetMidiOutput(&out);
    in.SetUserInterface(&ui);
    in.SetThru(true);
    ASSERT_TRUE(out.OpenByName("JACK MIDI"));
    ASSERT_TRUE(in.OpenByName("JACK MIDI"));
    ASSERT_TRUE(in.Start());
    ASSERT_TRUE(m_client.Connect("ZorvilTest:midi_out", "Zorvil:midi_in"));
    ASSERT_TRUE(m_client.Connect("Zorvil:midi_out", "ZorvilTest:midi_in"));
    m_client.SendMidi({0x92, 64, 90});
    m_client.SendMidi({0x82, 64, 64});
    ASSERT_TRUE(m_client.WaitFor([&] { return m_client.MidiReceived().size() == 2; }, 5s));
    EXPECT_EQ(m_client.MidiReceived(), (std::vector<Bytes>{{0x92, 64, 90}, {0x92, 64, 0}}));
    EXPECT_EQ(QueuedWords(host), (std::vector<uint32_t>{0x5A4092, 0x004092}));
    EXPECT_EQ(ui.MidiActivityCount(), 2);

    // What a plug-in sends leaves there too.
    host.SetMidiOutput(&out);
    static_cast<IMidiOutputSink&>(out).SendMidiMessage(CMidiMessage(0xB5, 10, 20));
    ASSERT_TRUE(m_client.WaitFor([&] { return m_client.MidiReceived().size() == 3; }, 5s));
    EXPECT_EQ(m_client.MidiReceived().back(), (Bytes{0xB5, 10, 20}));
    in.Close();
    out.Close();
}

TEST_F(JackDevicesTest, TheWaveInputClocksTheEngine) {
    RecordingProcessor processor;
    CEngineThread engine(processor);
    CEngineWaveIn in;
    ASSERT_TRUE(in.OpenWaveInByName("JACK", 2205, &engine));
    m_client.SetOutputLevel(0.5f, -0.5f);
    ASSERT_TRUE(m_client.Connect("ZorvilTest:out_1", "Zorvil:in_1"));
    ASSERT_TRUE(m_client.Connect("ZorvilTest:out_2", "Zorvil:in_2"));
    ASSERT_TRUE(m_client.WaitFor([&] { return m_client.AudioFrames() > 1024; }, 5s));
    ASSERT_TRUE(in.Start());
    ASSERT_TRUE(processor.WaitForBlocks(4, 10s));
    in.Stop();
    EXPECT_TRUE(in.Reset());
    EXPECT_EQ(in.PreparedBuffers(), 0);
    const auto blocks = processor.Blocks();
    for (const auto& block : blocks)
        EXPECT_EQ(block.frames, 2205);
    for (size_t i = 1; i < blocks.size(); ++i)
        EXPECT_GT(static_cast<int32_t>(blocks[i].time - blocks[i - 1].time), 0);
    EXPECT_FLOAT_EQ(blocks.back().left, CEngineWaveIn::ConvertSample(16384));
    EXPECT_FLOAT_EQ(blocks.back().right, CEngineWaveIn::ConvertSample(-16384));
    in.Close();
}

TEST_F(JackDevicesTest, ClosingTheClientWaitsForAProcessCallbackThatIsRunning) {
    // On a server in JACK's usual asynchronous mode, closing a client cancels its process thread
    // at once, asynchronously, even in the middle of a callback; landing in our code, that
    // cancel ended the program ("terminate called without an active exception"). The close now
    // waits for the callback to finish. (The run's own server is synchronous and waits for the
    // cycle itself, which would hide this.)
    // libjack serves one server per process at a time: every client of the other one goes first.
    m_client.Close();
    platform::JackSession::CloseIdle();
    auto server = JackServer::StartOnFreeName(JackServer::Mode::Asynchronous);
    ASSERT_NE(server, nullptr);
    struct SlowProcessor : platform::JackSession::IProcessor {
        std::atomic<bool> inside{false};
        std::atomic<bool> finished{false};
        void Process(jack_nframes_t) noexcept override {
            if (inside.exchange(true)) return;
            std::this_thread::sleep_for(200ms); // a cancellation point, and time for the close
            finished.store(true);
        }
        void OnShutdown() noexcept override {}
    } slow;
    auto session = platform::JackSession::Get();
    ASSERT_NE(session, nullptr);
    ASSERT_TRUE(session->Attach(&slow));
    ASSERT_TRUE(Eventually([&] { return slow.inside.load(); }, 10s));
    session.reset();
    platform::JackSession::CloseIdle(); // the last owner: closes the client
    EXPECT_TRUE(slow.finished.load());

    // A new client comes up in its place.
    CWaveOut out;
    EXPECT_TRUE(out.OpenByName("JACK"));
    out.Close();
    server.reset(); // back to the run's own server
}

TEST_F(JackDevicesTest, StoppingTheServerUnderRunningDevicesNeitherHangsNorCrashes) {
    CSeqHost host;
    CEngineWaveOut waveOut;
    CEngineMidiOut midiOut;
    CEngineMidiIn midiIn;
    RecordingProcessor processor;
    CEngineThread engine(processor);
    CEngineWaveIn waveIn;
    midiIn.SetHost(&host);
    midiIn.SetMidiOutput(&midiOut);
    midiIn.SetThru(true);
    ASSERT_TRUE(waveOut.OpenWaveOutByName("JACK", 2205));
    ASSERT_TRUE(midiOut.OpenByName("JACK MIDI"));
    ASSERT_TRUE(midiIn.OpenByName("JACK MIDI"));
    ASSERT_TRUE(waveIn.OpenWaveInByName("JACK", 2205, &engine));
    ASSERT_TRUE(midiIn.Start());
    ASSERT_TRUE(waveIn.Start());

    // A stand-in for the engine: keeps a few buffers queued all the time.
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        const std::vector<float> block(2205, 0.1f);
        while (!stop.load()) {
            if (waveOut.InFlight() < 3) waveOut.WriteBlock(block.data(), block.data(), 2205);
            midiOut.NoteOn(0, 60, 1);
            std::this_thread::yield();
        }
    });
    ASSERT_TRUE(waveOut.WaitForInFlight(2, 10s)); // buffers are cycling
    m_client.Close();
    JackServer::Current()->Stop();

    // Every buffer comes back, later writes are refused at once, nothing waits for the server.
    EXPECT_TRUE(Eventually([&] { return !waveOut.Alive(); }, 10s));
    EXPECT_TRUE(waveOut.WaitForInFlight(0, 10s));
    stop.store(true);
    writer.join();
    EXPECT_FALSE(midiOut.NoteOn(0, 60, 1));
    EXPECT_FALSE(waveIn.Alive());
    waveIn.Stop();
    waveIn.Reset();
    EXPECT_EQ(waveIn.PreparedBuffers(), 0);
    midiIn.Stop();
    midiIn.Reset();
    EXPECT_TRUE(midiIn.Close());
    EXPECT_TRUE(midiOut.Close());
    EXPECT_TRUE(waveIn.Close());
    EXPECT_TRUE(waveOut.Close());

    // With the server back, the devices open again and sound flows.
    ASSERT_TRUE(JackServer::Current()->Start());
    JackTestClient client;
    ASSERT_TRUE(client.Open());
    ASSERT_TRUE(waveOut.OpenWaveOutByName("JACK", 2205));
    ASSERT_TRUE(client.Connect("Zorvil:out_1", "ZorvilTest:in_1"));
    const std::vector<float> block(2205, 1.0f);
    waveOut.WriteBlock(block.data(), block.data(), 2205);
    ASSERT_TRUE(waveOut.WaitForInFlight(0, 10s));
    ASSERT_TRUE(client.WaitFor([&] { return Sound(client.Left()).size() >= 2205; }, 5s));
    EXPECT_EQ(Sound(client.Left()), std::vector<float>(2205, 32767.0f / 32768.0f));
    waveOut.Close();
}

TEST_F(JackDevicesTest, DevicesClosedOnlyAfterTheServerCameBackOpenAgain) {
    // The user restarts JACK, then Zorvil's devices (Restart, the device dialogs).
    CEngineWaveOut waveOut;
    CEngineMidiOut midiOut;
    ASSERT_TRUE(waveOut.OpenWaveOutByName("JACK", 2205));
    ASSERT_TRUE(midiOut.OpenByName("JACK MIDI"));
    m_client.Close();
    JackServer::Current()->Stop();
    ASSERT_TRUE(JackServer::Current()->Start());
    EXPECT_FALSE(waveOut.Alive());
    EXPECT_TRUE(midiOut.Close());
    EXPECT_TRUE(waveOut.Close());

    JackTestClient client;
    ASSERT_TRUE(client.Open());
    ASSERT_TRUE(waveOut.OpenWaveOutByName("JACK", 2205));
    ASSERT_TRUE(midiOut.OpenByName("JACK MIDI"));
    ASSERT_TRUE(client.Connect("Zorvil:out_1", "ZorvilTest:in_1"));
    ASSERT_TRUE(client.Connect("Zorvil:midi_out", "ZorvilTest:midi_in"));
    const std::vector<float> block(2205, -1.0f);
    waveOut.WriteBlock(block.data(), block.data(), 2205);
    midiOut.NoteOn(3, 70, 80);
    ASSERT_TRUE(waveOut.WaitForInFlight(0, 10s));
    ASSERT_TRUE(client.WaitFor([&] { return Sound(client.Left()).size() >= 2205; }, 5s));
    EXPECT_EQ(Sound(client.Left()), std::vector<float>(2205, -1.0f));
    ASSERT_TRUE(client.WaitFor([&] { return !client.MidiReceived().empty(); }, 5s));
    EXPECT_EQ(client.MidiReceived()[0], (Bytes{0x93, 70, 80}));
}

} // namespace
} // namespace zorvil::test
