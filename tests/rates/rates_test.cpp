// Zorvil against JACK servers at 44100, 48000 and 96000 Hz (each test starts its own, on the
// dummy backend): the right pitch through zorvil-cli play, also across buffer-size changes; the
// wave input clocking 44100 frames a second; MIDI time stamps at the server's rate; nothing
// allocated and no converter set up in the device callback while it converts; and RtAudio opening a
// device that refuses 44100 Hz at the device's own rate.
#include "../host/allocation_counter.h"
#include "app/cli_test_support.h"
#include "devices/device_test_support.h"
#include "devices/jack_test_client.h"
#include "engine/wave_in_engine.h"
#include "engine/wave_out_engine.h"
#include "midi/midi_in_engine.h"
#include "platform/audio_device_backends.h"
#include "platform/audio_device_jack.h"
#include "resampler_lock_counter.h"
#include "support/jack_sanitizer_suppressions.h"
#include "support/jack_server.h"
#include "support/test_support.h"
#include "support/tone_analysis.h"

#include <RtAudio.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>
#include <thread>
#include <vector>

namespace zorvil::test {
namespace {

// The longest stretch of `samples` without a gap of silence (an engine block that came late
// leaves one).
std::span<const float> LongestSound(std::span<const float> samples) {
    constexpr size_t kGap = 64;
    size_t best = 0, bestLength = 0, start = 0, quiet = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        quiet = std::fabs(samples[i]) < 1e-4f ? quiet + 1 : 0;
        if (quiet == kGap) start = i + 1;
        if (quiet < kGap && i + 1 - start > bestLength) {
            best = start;
            bestLength = i + 1 - start;
        }
    }
    return samples.subspan(best, bestLength);
}

class RatesTest : public CliFixture, public testing::WithParamInterface<unsigned> {
protected:
    unsigned Rate() const { return GetParam(); }

    void SetUp() override {
        m_server = JackServer::StartOnFreeName(JackServer::Mode::Synchronous, Rate());
        ASSERT_NE(m_server, nullptr);
        ASSERT_TRUE(m_client.Open());
    }
    void TearDown() override {
        m_client.Close();
        platform::JackSession::CloseIdle();
    }

    // What reaches the client's in_1 over the next `seconds` of the server's time.
    std::vector<float> Next(double seconds) {
        const size_t start = m_client.AudioFrames(0);
        const auto frames = static_cast<size_t>(seconds * Rate());
        EXPECT_TRUE(
            m_client.WaitFor([&] { return m_client.AudioFrames(0) >= start + frames; }, 20s));
        const auto audio = m_client.Audio(0);
        return {audio.begin() + static_cast<std::ptrdiff_t>(start),
                audio.begin() +
                    static_cast<std::ptrdiff_t>(std::min(start + frames, audio.size()))};
    }

    // The pitch of what reaches the client's in_1 over the next `seconds`: the strongest partial
    // between 300 and 700 Hz in the longest stretch of sound, which must last 0.2 s. It is the
    // median of 0.1 s windows (half overlapping), so that a period the loaded test machine let
    // slip, which jumps the phase, spoils one window rather than the figure; a wrong rate moves
    // every window alike.
    double PitchOfTheNext(double seconds) {
        const auto recorded = Next(seconds);
        const auto sound = LongestSound(recorded);
        EXPECT_GE(sound.size(), Rate() / 5) << "hardly any sound";
        if (sound.size() < Rate() / 5) return 0.0;
        const size_t window = Rate() / 10;
        std::vector<double> pitches;
        for (size_t at = 0; at + window <= sound.size(); at += window / 2)
            pitches.push_back(StrongestFrequency(sound.subspan(at, window), Rate(), 300, 700));
        std::nth_element(pitches.begin(), pitches.begin() + pitches.size() / 2, pitches.end());
        return pitches[pitches.size() / 2];
    }

    std::unique_ptr<JackServer> m_server;
    JackTestClient m_client;
};

INSTANTIATE_TEST_SUITE_P(ServerRates, RatesTest, testing::Values(44100u, 48000u, 96000u));

// jack_bufsize, as a user (or PipeWire changing its quantum) changes the period while Zorvil
// plays. Periods of 1024 frames and more keep a loaded test machine (and the sanitizer builds)
// up with the server.
bool SetPeriod(int frames) {
    return std::system(("jack_bufsize " + std::to_string(frames) + " >/dev/null").c_str()) == 0;
}

TEST_P(RatesTest, ZorvilCliPlaysA4At440HzAndKeepsPlayingWhenTheBufferSizeChanges) {
    ASSERT_TRUE(SetPeriod(1024));
    const pid_t cli = Start({"play", PluginPath("zorvil-synth"), "--seconds", "60", "--wave-out",
                             "JACK", "--midi-in", "JACK MIDI"});
    [&] { // whatever fails here, the program is stopped below
        ASSERT_TRUE(WaitFor(
            [&] { return Text(m_io.File("out")).find("zorvil-cli: playing") != std::string::npos; },
            30s));
        ASSERT_TRUE(m_client.Connect("ZorvilTest:midi_out", "Zorvil:midi_in"));
        ASSERT_TRUE(m_client.Connect("Zorvil:out_1", "ZorvilTest:in_1"));
        m_client.SendMidi({0x90, 69, 100}); // A4, held
        Next(0.3);                          // the attack
        const double tolerance = 440.0 * 0.002;
        EXPECT_NEAR(PitchOfTheNext(0.6), 440.0, tolerance);
        for (const int frames : {2048, 512}) {
            SCOPED_TRACE("period " + std::to_string(frames));
            ASSERT_TRUE(SetPeriod(frames));
            Next(0.3); // the change itself
            EXPECT_NEAR(PitchOfTheNext(0.6), 440.0, tolerance);
            EXPECT_TRUE(m_client.PortExists("Zorvil:out_1"));
        }
    }();
    ::kill(cli, SIGINT); // as Ctrl+C does
    const Outcome run = Wait(cli);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("wave output \"JACK\" runs at " + std::to_string(Rate()) + " Hz, " +
                           (Rate() == 44100 ? "no conversion" : "converting from 44100 Hz")),
              std::string::npos)
        << run.out;
}

// Marks the thread of Zorvil's JACK process callback for the allocation counter.
struct MarkProcessThread : platform::JackSession::IProcessor {
    void Process(jack_nframes_t) noexcept override {
        if (!marked.exchange(true)) MarkThisThread();
    }
    void OnShutdown() noexcept override {}
    std::atomic<bool> marked{false};
};

TEST_P(RatesTest, TheInputClocksTheEngineAndTheCallbackAllocatesNothingWhileItConverts) {
    auto session = platform::JackSession::Get();
    ASSERT_NE(session, nullptr);
    MarkProcessThread marker;
    ASSERT_TRUE(session->Attach(&marker)); // first: runs before the devices in every period
    CSeqHost host;
    CEngineMidiIn midiIn;
    midiIn.SetHost(&host);
    BlockCapture processor;
    CEngineThread engine(processor);
    CEngineWaveIn waveIn;
    CEngineWaveOut waveOut;
    ASSERT_TRUE(waveOut.OpenWaveOutByName("JACK", 2205));
    ASSERT_TRUE(waveIn.OpenWaveInByName("JACK", 2205, &engine));
    ASSERT_TRUE(midiIn.OpenByName("JACK MIDI"));
    EXPECT_EQ(waveOut.DeviceRate(), Rate());
    EXPECT_EQ(waveIn.DeviceRate(), Rate());
    ASSERT_TRUE(m_client.Connect("Zorvil:out_1", "ZorvilTest:in_1"));
    ASSERT_TRUE(m_client.Connect("ZorvilTest:out_1", "Zorvil:in_1"));
    ASSERT_TRUE(m_client.Connect("ZorvilTest:midi_out", "Zorvil:midi_in"));
    ASSERT_TRUE(midiIn.Start());
    ASSERT_TRUE(waveIn.Start());

    std::atomic<bool> stop{false};
    std::thread writer([&] { // the engine's part: keeps a few blocks queued
        std::vector<float> block(2205);
        for (size_t i = 0; i < block.size(); ++i)
            block[i] = 0.5f * static_cast<float>(std::sin(2 * std::numbers::pi * i / 49.0));
        while (!stop.load()) {
            if (waveOut.InFlight() < 3) waveOut.WriteBlock(block.data(), block.data(), 2205);
            std::this_thread::sleep_for(5ms);
        }
    });
    ASSERT_TRUE(Eventually([&] { return marker.marked.load(); }, 10s));
    ASSERT_TRUE(processor.WaitForBlocks(2, 10s)); // converters warmed up, both ways
    size_t allocations = 0;
    const size_t locksBefore = ResamplerLocks();
    // The wave input clocks the engine with 44100 frames a second of the server's time (and
    // blocks the engine was too busy for).
    const auto delivered = [&] { return uint64_t{waveIn.Triggered()} + waveIn.Dropped(); };
    const uint64_t startFrames = m_client.Frames(), startBlocks = delivered();
    int sent = 0;
    {
        CountAllocations count;
        // MIDI in every other period or so while audio flows, for two seconds of the server's time.
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (m_client.Frames() < startFrames + 2 * Rate() &&
               std::chrono::steady_clock::now() < deadline) {
            m_client.SendMidi({0x90, 60, 100});
            m_client.SendMidi({0x80, 60, 64});
            ++sent;
            std::this_thread::sleep_for(100ms);
        }
        allocations = count.Count();
    }
    const uint64_t frames = m_client.Frames() - startFrames, blocks = delivered() - startBlocks;
    EXPECT_EQ(allocations, 0u);
    EXPECT_EQ(ResamplerLocks(), locksBefore); // no converter set up or destroyed in the callback
    // One block either way for where the stretch cuts the blocks, and a little for what the
    // converter and the device thread hold at either end.
    EXPECT_NEAR(static_cast<double>(blocks * 2205), frames * 44100.0 / Rate(), 2205.0 + 441.0);
    EXPECT_NEAR(processor.Blocks().back().left, 0.5f, 1e-3f); // what the client plays, converted
    EXPECT_TRUE(Eventually([&] { return QueuedWords(host).size() == 2u * sent; }, 10s));

    // Two notes a period apart less one frame reach the queue that far apart in milliseconds,
    // counted at the server's rate.
    ASSERT_TRUE(SetPeriod(2048));
    const size_t before = QueuedWords(host).size();
    m_client.SendMidi({0x90, 64, 1}, 0);
    m_client.SendMidi({0x80, 64, 1}, 2047);
    ASSERT_TRUE(Eventually([&] { return QueuedWords(host).size() == before + 2; }, 10s));
    const uint32_t first = host.MidiQueue().ShortTime(static_cast<uint32_t>(before));
    const uint32_t second = host.MidiQueue().ShortTime(static_cast<uint32_t>(before + 1));
    EXPECT_NEAR(static_cast<double>(second - first), 2047.0 * 1000.0 / Rate(), 1.0);
    EXPECT_LE(second, platform::DeviceTimeMs() - midiIn.StartTime() + 5); // not in the future

    stop.store(true);
    writer.join();
    waveIn.Stop();
    waveIn.Reset();
    midiIn.Stop();
    midiIn.Reset();
    session->Detach(&marker);
}

TEST(RtAudioRateTest, ADeviceThatRefuses44100HzOpensAtItsOwnRateAndPlaysAtTheRightPitch) {
    // RtAudio's JACK API takes no rate but its server's: a device that refuses 44100 Hz. (The
    // program itself reaches JACK through a client of its own, but this is the path an ALSA
    // card at 48000 Hz takes.)
    std::vector<RtAudio::Api> apis;
    RtAudio::getCompiledApi(apis);
    if (std::ranges::count(apis, RtAudio::UNIX_JACK) == 0) GTEST_SKIP() << "no JACK in RtAudio";
    auto server = JackServer::StartOnFreeName(JackServer::Mode::Synchronous, 48000);
    ASSERT_NE(server, nullptr);
    JackTestClient client;
    ASSERT_TRUE(client.Open());
    platform::DeviceEvent event;
    auto port = platform::detail::OpenRtAudioWaveOut(RtAudio::UNIX_JACK, 0, event);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->DeviceRate(), 48000u);
    ASSERT_TRUE(client.Connect("Zorvil:outport 0", "ZorvilTest:in_1"));
    std::vector<int16_t> tone(44100 * 2);
    for (size_t i = 0; i < tone.size() / 2; ++i)
        tone[2 * i] = tone[2 * i + 1] = static_cast<int16_t>(
            std::lround(12000 * std::sin(2 * std::numbers::pi * 1000.0 * i / 44100)));
    platform::WAVEHDR header;
    header.lpData = reinterpret_cast<char*>(tone.data());
    header.dwBufferLength = static_cast<uint32_t>(tone.size() * 2);
    header.dwFlags.store(platform::WHDR_PREPARED);
    ASSERT_TRUE(port->Write(header));
    ASSERT_TRUE(
        Eventually([&] { return (header.dwFlags.load() & platform::WHDR_DONE) != 0; }, 20s));
    const auto audio = client.Audio(0);
    const auto sound = LongestSound(audio);
    ASSERT_GE(sound.size(), 9600u) << audio.size() << " frames recorded";
    const auto middle = sound.subspan(sound.size() / 4, sound.size() / 2);
    EXPECT_NEAR(StrongestFrequency(middle, 48000, 800, 1200), 1000.0, 2.0)
        << middle.size() << " frames of " << sound.size() << " of sound, " << audio.size()
        << " recorded";
    port.reset();
    client.Close();
}

} // namespace
} // namespace zorvil::test
