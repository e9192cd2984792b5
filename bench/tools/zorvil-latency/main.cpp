// zorvil-latency: the time from a MIDI note entering Zorvil's JACK MIDI port to its first audible
// sample leaving Zorvil's JACK output, measured against a running JACK server (bench/latency.sh
// starts one on the dummy backend).
//
//     zorvil-latency BUFSIZE timer|wavein [NOTES] [PLUGIN.so]
//
// It runs the application as start-up does, on a profile of its own: wave output "JACK" with
// "WaveOutBufSize" = BUFSIZE, MIDI input "JACK MIDI", and for "wavein" also the wave input
// "JACK", which then clocks the engine. The demo synth (attack 1 ms) is loaded. A JACK client of
// the tool's own ("ZorvilLatency") sends NOTES note-ons, one at a time, into Zorvil:midi_in at
// the first frame of a period and watches Zorvil:out_1; the latency of a note is the number of
// frames from the frame it was sent at to the first sample whose magnitude exceeds 1/1000,
// counted on the server's frame clock at the server's rate. A note is sent only after a silent
// period, and one never sent or never heard is left out. It prints the rate, whether Zorvil
// converts for it, min, median, mean and max in milliseconds, and, over the same time, how often
// Zorvil's output played silence because the engine fell behind (gaps) and how many periods the
// server reported late (xruns: on the dummy backend without real-time scheduling, a loaded
// machine).
#include "app/zorvil_app.h"
#include "platform/clock_real.h"
#include "platform/jack_cancellation.h"
#include "platform/profile.h"
#include "platform/user_interface.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
namespace keys = zorvil::platform::settings;

class QuietUserInterface final : public zorvil::IUserInterface {
public:
    zorvil::MessageResult MessageBox(std::string_view text, std::string_view,
                                     zorvil::MessageButtons, zorvil::MessageIcon) override {
        std::fprintf(stderr, "zorvil-latency: %.*s\n", static_cast<int>(text.size()), text.data());
        return zorvil::MessageResult::Ok;
    }
    std::optional<std::string> OpenFileDialog(const zorvil::FileDialogRequest&) override {
        return {};
    }
    std::optional<std::string> SaveFileDialog(const zorvil::FileDialogRequest&) override {
        return {};
    }
    std::optional<std::string> BrowseFolder(std::string_view, std::string_view) override {
        return {};
    }
    void RefreshEffectWindows(int) override {}
    void SignalMidiActivity() noexcept override {}
};

// The measuring client. The process callback sends a pending note at the first frame of its
// period and looks for the first loud sample afterwards; the main thread arms and reads.
class Probe {
public:
    bool Open() {
        m_client = jack_client_open("ZorvilLatency", JackNoStartServer, nullptr);
        if (m_client == nullptr) return false;
        m_midiOut =
            jack_port_register(m_client, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        m_in = jack_port_register(m_client, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(m_client, &Probe::Process, this);
        jack_set_xrun_callback(
            m_client,
            [](void* arg) {
                static_cast<Probe*>(arg)->m_xruns.fetch_add(1);
                return 0;
            },
            this);
        return m_midiOut != nullptr && m_in != nullptr && jack_activate(m_client) == 0;
    }
    ~Probe() {
        if (m_client != nullptr) jack_client_close(m_client);
    }
    bool Connect(const char* from, const char* to) { return jack_connect(m_client, from, to) == 0; }
    double Rate() const { return jack_get_sample_rate(m_client); }
    // Periods the server reported late (xruns) since the client opened.
    unsigned Xruns() const { return m_xruns.load(); }

    // Sends one note (on, then off once heard) and returns its latency in frames, or -1.
    long Measure(std::chrono::milliseconds limit) {
        m_detected.store(-1);
        m_state.store(kSendOn);
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (m_detected.load() < 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        m_state.store(kSendOff);
        while (m_state.load() != kIdle && std::chrono::steady_clock::now() < deadline + 1s)
            std::this_thread::sleep_for(1ms);
        return m_detected.load();
    }

private:
    enum : int { kIdle, kSendOn, kWaiting, kSendOff };

    static int Process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<Probe*>(arg);
        return zorvil::platform::RunWithoutCancellation(
            [self, frames] { return self->Cycle(frames); });
    }

    int Cycle(jack_nframes_t frames) {
        void* midi = jack_port_get_buffer(m_midiOut, frames);
        jack_midi_clear_buffer(midi);
        const auto* in = static_cast<const float*>(jack_port_get_buffer(m_in, frames));
        const jack_nframes_t start = jack_last_frame_time(m_client);
        const int state = m_state.load();
        // A note is sent only into silence: an output that never falls quiet (stale buffers
        // played again, a note that did not end) would otherwise be "heard" at once.
        const bool quiet =
            std::all_of(in, in + frames, [](float sample) { return std::fabs(sample) <= 0.001f; });
        if (state == kSendOn && quiet) {
            const jack_midi_data_t on[3] = {0x90, 60, 127};
            jack_midi_event_write(midi, 0, on, 3);
            m_sentAt = start;
            m_state.store(kWaiting);
        } else if (state == kWaiting) {
            for (jack_nframes_t i = 0; i < frames; ++i)
                if (std::fabs(in[i]) > 0.001f) {
                    m_detected.store(static_cast<long>(start + i - m_sentAt));
                    m_state.store(kIdle);
                    break;
                }
        } else if (state == kSendOff) {
            const jack_midi_data_t off[3] = {0x80, 60, 64};
            jack_midi_event_write(midi, 0, off, 3);
            m_state.store(kIdle);
        }
        return 0;
    }

    jack_client_t* m_client = nullptr;
    jack_port_t* m_midiOut = nullptr;
    jack_port_t* m_in = nullptr;
    std::atomic<int> m_state{kIdle};
    std::atomic<long> m_detected{-1};
    std::atomic<unsigned> m_xruns{0};
    jack_nframes_t m_sentAt = 0; // process thread only
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: zorvil-latency BUFSIZE timer|wavein [NOTES] [PLUGIN.so]\n");
        return 2;
    }
    const int bufferSize = std::atoi(argv[1]);
    const bool waveIn = std::string(argv[2]) == "wavein";
    const int notes = argc > 3 ? std::atoi(argv[3]) : 20;
    std::string plugin = argc > 4 ? argv[4] : "";
    if (plugin.empty()) {
        std::error_code ec;
        const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
        plugin = (self.parent_path().parent_path() / "plugins" / "zorvil-synth.so").string();
    }

    char folder[] = "/tmp/zorvil-latency-XXXXXX";
    if (mkdtemp(folder) == nullptr) return 1;
    const std::string profilePath = std::string(folder) + "/Zorvil.conf";
    zorvil::platform::CProfile profile(profilePath);
    profile.WriteString(keys::kSection, keys::kWaveOut, "MME: JACK");
    profile.WriteString(keys::kSection, keys::kMidiIn, "JACK MIDI");
    profile.WriteInt(keys::kSection, keys::kWaveOutBufSize, bufferSize);
    if (waveIn) profile.WriteString(keys::kSection, keys::kWaveIn, "MME: JACK");

    int status = 0;
    {
        QuietUserInterface ui;
        zorvil::platform::RealClock clock;
        zorvil::CZorvilApp app(clock, ui, &profile);
        app.InitInstance();
        const int slot = app.LoadEffect(plugin);
        Probe probe;
        if (!app.WaveOut().IsOpen() || !app.MidiIn().IsOpen() || slot < 0 || !probe.Open() ||
            !probe.Connect("ZorvilLatency:midi_out", "Zorvil:midi_in") ||
            !probe.Connect("Zorvil:out_1", "ZorvilLatency:in_1") ||
            (waveIn && !app.WaveIn().IsStarted())) {
            std::fprintf(stderr,
                         "zorvil-latency: no JACK server, or Zorvil's ports did not open\n");
            status = 1;
        } else {
            app.Host().GetEffect(slot)->SetParameter(1, 0.0f); // attack 1 ms
            app.Host().GetEffect(slot)->SetParameter(2, 0.0f); // release 5 ms
            std::this_thread::sleep_for(1500ms);               // let the pool fill up
            std::vector<double> ms;
            const uint32_t gapsBefore = app.WaveOut().Gaps();
            // Blocks the engine could not take (the previous one still ran): sound lost.
            auto lost = [&] { return app.BlocksRefused() + app.WaveIn().Dropped(); };
            const uint32_t lostBefore = lost();
            const unsigned xrunsBefore = probe.Xruns();
            for (int i = 0; i < notes; ++i) {
                const long frames = probe.Measure(3000ms);
                if (frames >= 0) ms.push_back(static_cast<double>(frames) * 1000.0 / probe.Rate());
                // A random phase against the engine's blocks for the next note.
                std::this_thread::sleep_for(std::chrono::milliseconds(150 + std::rand() % 97));
            }
            std::sort(ms.begin(), ms.end());
            if (ms.empty()) {
                std::fprintf(stderr, "zorvil-latency: no note was heard\n");
                status = 1;
            } else {
                const uint32_t rate = app.WaveOut().DeviceRate();
                std::printf("server %u Hz (%s), WaveOutBufSize %d, clock %s: %zu notes, latency "
                            "ms min %.1f median %.1f mean %.1f max %.1f; output gaps %u, blocks "
                            "lost %u, server xruns %u\n",
                            rate, rate == 44100 ? "no conversion" : "converted", bufferSize,
                            waveIn ? "wave input" : "engine timer", ms.size(), ms.front(),
                            ms[ms.size() / 2],
                            std::accumulate(ms.begin(), ms.end(), 0.0) / ms.size(), ms.back(),
                            app.WaveOut().Gaps() - gapsBefore, lost() - lostBefore,
                            probe.Xruns() - xrunsBefore);
            }
        }
        app.ExitInstance();
    }
    std::filesystem::remove_all(folder);
    return status;
}
