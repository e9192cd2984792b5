// The devices against the test run's own JACK server, through an ordinary JACK client.
#include "devices/device_test_support.h"
#include "devices/jack_test_client.h"
#include "engine/wave_in_engine.h"
#include "engine/wave_out_engine.h"
#include "midi/midi_in_engine.h"
#include "midi/midi_out_engine.h"
#include "platform/audio_device_jack.h"
#include "support/jack_server.h"
#include "support/scripted_user_interface.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <dlfcn.h>
#include <future>
#include <mutex>
#include <string_view>
#include <thread>
#include <unistd.h>

// libjack's close of a client whose server died can block for good: it waits for a lock that one
// of libjack's own threads, cancelled by that close, never gives back. This binary's
// jack_client_close stands in front of libjack's, so that a test can make the close of Zorvil's
// client wait for as long as it likes (HeldCloses below); every other close goes straight on.
namespace {
std::mutex g_closeMutex;
std::condition_variable g_closeChanged;
bool g_holdCloses = false; // guarded by g_closeMutex
int g_heldCloses = 0;      // closes of Zorvil's client waiting now; guarded by g_closeMutex
} // namespace

extern "C" int jack_client_close(jack_client_t* client) {
    using Close = int (*)(jack_client_t*);
    static const auto libjackClose = reinterpret_cast<Close>(dlsym(RTLD_NEXT, "jack_client_close"));
    if (client != nullptr && std::string_view(jack_get_client_name(client)) ==
                                 zorvil::platform::JackSession::kClientName) {
        std::unique_lock lock(g_closeMutex);
        ++g_heldCloses;
        g_closeChanged.notify_all();
        g_closeChanged.wait(lock, [] { return !g_holdCloses; });
        --g_heldCloses;
    }
    return libjackClose(client);
}

namespace zorvil::test {
namespace {

// Waits for `frames` frames of sound at the client's input `channel`, each at `level`. A period
// the server skipped under load shows as a gap of silence, so only the sound is compared.
void ExpectSound(const JackTestClient& client, int channel, size_t frames, float level) {
    const auto sound = [&] {
        auto samples = client.Audio(channel);
        std::erase(samples, 0.0f);
        return samples;
    };
    ASSERT_TRUE(client.WaitFor([&] { return sound().size() >= frames; }, 5s));
    EXPECT_EQ(sound(), std::vector<float>(frames, level));
}

// While it lives, closes of Zorvil's client do not return.
class HeldCloses {
public:
    HeldCloses() { Set(true); }
    ~HeldCloses() { Set(false); }
    void Release() { Set(false); }
    bool WaitUntilOneIsHeld(std::chrono::milliseconds limit) {
        std::unique_lock lock(g_closeMutex);
        return g_closeChanged.wait_for(lock, limit, [] { return g_heldCloses > 0; });
    }

private:
    static void Set(bool hold) {
        {
            std::lock_guard lock(g_closeMutex);
            g_holdCloses = hold;
        }
        g_closeChanged.notify_all();
    }
};

// The four devices on JACK, inputs started, MIDI passed through.
struct DevicesOnJack {
    ScriptedUserInterface ui;
    CSeqHost host;
    CEngineWaveOut waveOut;
    CEngineMidiOut midiOut;
    CEngineMidiIn midiIn;
    BlockCapture processor;
    CEngineThread engine{processor};
    CEngineWaveIn waveIn;

    bool OpenAndStart() {
        midiIn.SetHost(&host);
        midiIn.SetUserInterface(&ui);
        midiIn.SetMidiOutput(&midiOut);
        midiIn.SetThru(true);
        return waveOut.OpenWaveOutByName("JACK", 2205) && midiOut.OpenByName("JACK MIDI") &&
               midiIn.OpenByName("JACK MIDI") && waveIn.OpenWaveInByName("JACK", 2205, &engine) &&
               midiIn.Start() && waveIn.Start();
    }
};

class JackDevicesTest : public testing::Test {
protected:
    JackTestClient m_client;

    void SetUp() override {
        ASSERT_NE(JackServer::Current(), nullptr) << "no JACK server for this run";
        ASSERT_TRUE(JackServer::Current()->Running());
        ASSERT_TRUE(m_client.Open());
    }
};

TEST_F(JackDevicesTest, TheListsOfferJackAndTheMappersArePortsOfZorvilsOwn) {
    EXPECT_EQ(std::ranges::count(WaveOutDialogList(), "MME: JACK"), 1);
    EXPECT_EQ(std::ranges::count(MidiInDialogList(), "JACK MIDI"), 1);
    EXPECT_EQ(std::ranges::count(MidiInDeviceList(), "MIDI Mapper"), 0); // opens by name only

    CWaveOut out; // while a server runs the wave mapper is JACK
    ASSERT_TRUE(out.OpenByName("Wave Mapper"));
    EXPECT_TRUE(m_client.PortExists("Zorvil:out_2"));
    out.Close();
    EXPECT_FALSE(m_client.PortExists("Zorvil:out_1"));
    CMidiIn in; // without an ALSA sequencer the MIDI mapper is Zorvil's JACK MIDI port
    CMidiOut midi;
    ASSERT_TRUE(in.OpenByName("MIDI Mapper"));
    ASSERT_TRUE(midi.OpenByName("MIDI Mapper"));
    if (access("/dev/snd/seq", R_OK | W_OK) != 0) {
        EXPECT_TRUE(m_client.PortExists("Zorvil:midi_in"));
        EXPECT_TRUE(m_client.PortExists("Zorvil:midi_out"));
    }
}

// (The wave input on JACK is the rates test's, at every server rate.)
TEST_F(JackDevicesTest, AudioAndMidiReachTheirPorts) {
    DevicesOnJack devices;
    ASSERT_TRUE(devices.OpenAndStart());
    auto& [ui, host, out, midiOut, in, processor, engine, waveIn] = devices;
    const std::pair<const char*, const char*> connections[] = {
        {"Zorvil:out_1", "ZorvilTest:in_1"},
        {"Zorvil:out_2", "ZorvilTest:in_2"},
        {"ZorvilTest:midi_out", "Zorvil:midi_in"},
        {"Zorvil:midi_out", "ZorvilTest:midi_in"}};
    for (const auto& [from, to] : connections)
        ASSERT_TRUE(m_client.Connect(from, to)) << from;
    const std::vector<float> left(2205, 0.5f);
    const std::vector<float> right(2205, -0.25f);
    for (int i = 0; i < 8; ++i)
        out.WriteBlock(left.data(), right.data(), 2205);
    EXPECT_EQ(out.InFlight(), 8);
    ASSERT_TRUE(out.WaitForInFlight(0, 10s)); // played in real time, every buffer back
    ExpectSound(m_client, 0, 8 * 2205, CEngineWaveOut::ConvertSample(0.5f) / 32768.0f);
    ExpectSound(m_client, 1, 8 * 2205, CEngineWaveOut::ConvertSample(-0.25f) / 32768.0f);
    EXPECT_TRUE(out.Close());

    const Bytes sysex = {0xF0, 0x7E, 0x01, 0x02, 0xF7};
    for (const Bytes& m :
         {Bytes{0x92, 64, 90}, Bytes{0x82, 64, 64}, Bytes{0xB0, 1, 64}, sysex, Bytes{0x90, 60, 0}})
        m_client.SendMidi(m);
    ASSERT_TRUE(m_client.WaitFor([&] { return m_client.MidiReceived().size() == 5; }, 5s));
    // Thru sends a note-off that follows a note-on on its channel as a note-on of velocity 0,
    // and the queue gets it as sent; a note-on of velocity 0 arrives as a note-off.
    EXPECT_EQ(
        m_client.MidiReceived(),
        (std::vector<Bytes>{{0x92, 64, 90}, {0x92, 64, 0}, {0xB0, 1, 64}, sysex, {0x80, 60, 64}}));
    EXPECT_EQ(QueuedWords(host), (std::vector<uint32_t>{0x5A4092, 0x004092, 0x4001B0, 0x403C80}));
    EXPECT_EQ(QueuedSysex(host), std::vector<Bytes>{sysex});
    EXPECT_EQ(ui.MidiActivityCount(), 5);

    // A note still sounding when the output closes is ended at the instrument: the reset's
    // note-off leaves before the port goes.
    static_cast<IMidiOutputSink&>(midiOut).SendMidiMessage(CMidiMessage(0x93, 62, 100));
    ASSERT_TRUE(m_client.WaitFor([&] { return m_client.MidiReceived().size() == 6; }, 5s));
    midiOut.Close();
    const auto noteOff = [&] {
        const auto received = m_client.MidiReceived();
        return std::any_of(received.begin() + 6, received.end(), [](const Bytes& m) {
            return m.size() == 3 && m[1] == 62 && (m[0] == 0x83 || (m[0] == 0x93 && m[2] == 0));
        });
    };
    EXPECT_TRUE(m_client.WaitFor(noteOff, 5s)) << m_client.MidiReceived().size();
    in.Stop();
    EXPECT_TRUE(in.Reset());
    EXPECT_EQ(in.PreparedBuffers(), 0);
}

TEST_F(JackDevicesTest, ClosingTheClientWaitsForAProcessCallbackThatIsRunning) {
    // On an asynchronous server (JACK's default; the run's own server is synchronous, which hides
    // this) closing a client cancels its process thread even mid-callback, which used to end the
    // program. libjack serves one server per process at a time: the other one's clients go first.
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

    EXPECT_TRUE(CWaveOut().OpenByName("JACK")); // a new client comes up in its place
    server.reset();                             // back to the run's own server
}

// The server goes while devices play, and libjack then hangs in closing Zorvil's client: every
// buffer comes back, later writes are refused, and the devices still close at once. Once the
// user starts JACK again, Zorvil's devices open on it and play.
TEST_F(JackDevicesTest, DevicesCloseWhileLibjackHangsInClosingTheDeadClient) {
    DevicesOnJack devices;
    ASSERT_TRUE(devices.OpenAndStart());
    auto& [ui, host, waveOut, midiOut, midiIn, processor, engine, waveIn] = devices;
    // A stand-in for the engine: keeps a few buffers queued and MIDI flowing all the time.
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
    HeldCloses held;
    JackServer::Current()->Stop();
    EXPECT_TRUE(Eventually([&] { return !waveOut.Alive(); }, 10s));
    EXPECT_TRUE(waveOut.WaitForInFlight(0, 10s));
    stop.store(true);
    writer.join();
    EXPECT_FALSE(midiOut.NoteOn(0, 60, 1));
    EXPECT_FALSE(waveIn.Alive());
    ASSERT_TRUE(held.WaitUntilOneIsHeld(10s)) << "the dead client was not closed";

    // On a thread of its own, so that a close waiting for libjack fails instead of hanging.
    auto closing = std::async(std::launch::async, [&] {
        midiIn.Stop();
        midiIn.Reset();
        waveIn.Stop();
        waveIn.Reset();
        return midiIn.Close() && midiOut.Close() && waveIn.Close() && waveOut.Close();
    });
    const bool closedMeanwhile = closing.wait_for(10s) == std::future_status::ready;
    held.Release();
    EXPECT_TRUE(closedMeanwhile) << "a device waited for libjack's close";
    EXPECT_TRUE(closing.get());
    EXPECT_EQ(waveIn.PreparedBuffers(), 0);

    ASSERT_TRUE(JackServer::Current()->Start());
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
    ExpectSound(client, 0, 2205, -1.0f);
    ASSERT_TRUE(client.WaitFor([&] { return !client.MidiReceived().empty(); }, 5s));
    EXPECT_EQ(client.MidiReceived()[0], (Bytes{0x93, 70, 80}));
}

} // namespace
} // namespace zorvil::test
