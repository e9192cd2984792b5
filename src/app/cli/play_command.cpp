#include "app/cli/play_command.h"

#include "app/cli/console_user_interface.h"
#include "app/cli/interrupt.h"
#include "app/device_watch.h"
#include "app/zorvil_app.h"
#include "engine/wave_device.h"
#include "midi/midi_device.h"
#include "platform/clock_real.h"
#include "platform/midi_port.h"
#include "platform/profile.h"
#include "platform/temporary_files.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zorvil::cli {

namespace {

namespace fs = std::filesystem;
namespace keys = platform::settings;

constexpr const char* kPlayUsage =
    "usage: zorvil-cli play PLUGIN.so... [--seconds N] [--wave-out NAME] [--wave-in NAME]\n"
    "                       [--midi-in NAME] [--midi-out NAME] [--thru] [--buffer S]\n";
constexpr int kMaxPlugins = 4;
constexpr auto kPoll = std::chrono::milliseconds(50);

struct PlayOptions {
    std::vector<std::string> plugins;
    std::optional<double> seconds;
    std::optional<std::string> waveOut, waveIn, midiIn, midiOut;
    bool thru = false;
    std::optional<int> buffer;
};

template <typename T>
bool ParseNumber(std::string_view text, T& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

std::optional<PlayOptions> ParseOptions(int count, char** arguments) {
    PlayOptions options;
    for (int i = 0; i < count; ++i) {
        const std::string_view argument = arguments[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= count) return std::nullopt;
            return std::string(arguments[++i]);
        };
        if (argument == "--thru") {
            options.thru = true;
        } else if (argument == "--seconds") {
            const auto text = value();
            double seconds = 0;
            // A number of seconds: "nan", "inf" and the like are not.
            if (!text || !ParseNumber(*text, seconds) || !std::isfinite(seconds) || seconds < 0)
                return std::nullopt;
            options.seconds = seconds;
        } else if (argument == "--buffer") {
            const auto text = value();
            int frames = 0;
            if (!text || !ParseNumber(*text, frames)) return std::nullopt;
            options.buffer = frames;
        } else if (argument == "--wave-out" || argument == "--wave-in" || argument == "--midi-in" ||
                   argument == "--midi-out") {
            auto name = value();
            if (!name) return std::nullopt;
            // The lists' first entries, "* No Wave *" and "* No MIDI *", name no device.
            if (*name == (argument.starts_with("--wave") ? kNoWaveDevice : kNoMidiDevice))
                name->clear();
            (argument == "--wave-out"  ? options.waveOut
             : argument == "--wave-in" ? options.waveIn
             : argument == "--midi-in" ? options.midiIn
                                       : options.midiOut) = std::move(name);
        } else if (argument.starts_with("--")) {
            return std::nullopt;
        } else {
            options.plugins.emplace_back(argument);
        }
    }
    if (options.plugins.empty()) return std::nullopt;
    return options;
}

// A copy of the user's profile in a temporary folder, removed with the object (or by Remove).
// The folder and what the profile writes into it are registered as temporary paths, so that an
// interrupted program removes them too.
class ProfileCopy {
public:
    ProfileCopy() {
        std::string pattern = (fs::temp_directory_path() / "zorvil-play-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            m_dir = pattern;
            m_registered.emplace_back(pattern, platform::TemporaryPaths::Kind::Folder);
        }
        const fs::path file = m_dir.empty() ? fs::path() : m_dir / "Zorvil.conf";
        if (!m_dir.empty()) {
            m_registered.emplace_back(file.string());
            m_registered.emplace_back(file.string() + ".tmp"); // the profile's own saves
            std::error_code ec;
            fs::copy_file(platform::CProfile::DefaultPath(), file, ec);
        }
        m_profile = std::make_unique<platform::CProfile>(file.string());
    }
    ~ProfileCopy() { Remove(); }
    platform::CProfile& Get() { return *m_profile; }
    void Remove() {
        std::error_code ec;
        if (!m_dir.empty()) fs::remove_all(m_dir, ec);
        m_dir.clear();
        m_registered.clear();
    }

private:
    std::vector<platform::TemporaryPath> m_registered;
    fs::path m_dir;
    std::unique_ptr<platform::CProfile> m_profile;
};

// Wave names are stored with their driver-kind prefix.
std::string StoredWaveName(const std::string& name) {
    if (name.empty()) return name;
    const std::string lower = [&] {
        std::string text = name.substr(0, 6);
        for (char& c : text)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    }();
    if (lower.starts_with("mme: ") || lower.starts_with("asio: ")) return name;
    return "MME: " + name;
}

// "zorvil-cli: wave output "JACK" runs at 48000 Hz, converting from 44100 Hz".
void ReportRate(const char* kind, const CWaveDevice& device, uint32_t rate, bool output) {
    if (!device.IsOpen() || rate == 0) return;
    std::cout << "zorvil-cli: " << kind << " \"" << device.Name() << "\" runs at " << rate
              << " Hz, ";
    if (rate == static_cast<uint32_t>(platform::kSampleRate))
        std::cout << "no conversion\n";
    else
        std::cout << (output ? "converting from " : "converting to ") << platform::kSampleRate
                  << " Hz\n";
}

// A device the rig goes on without: one that is not there, or one that is listed but does not
// open (a sound server that refuses the client).
void ReportMissing(const char* kind, const std::string& name, bool open,
                   const std::vector<std::string>& listed) {
    if (name.empty() || open) return;
    const std::string plain = ParseStoredWaveName(name).name;
    const bool known = std::find(listed.begin(), listed.end(), plain) != listed.end();
    std::cerr << "zorvil-cli: " << kind << " \"" << name
              << "\": " << (known ? "cannot be opened" : "no such device")
              << "; going on without it\n";
}

} // namespace

int RunPlay(int count, char** arguments) {
    const std::optional<PlayOptions> options = ParseOptions(count, arguments);
    if (!options) {
        std::cerr << kPlayUsage;
        return 2;
    }
    ProfileCopy profile;
    platform::CProfile& settings = profile.Get();
    if (options->waveOut)
        settings.WriteString(keys::kSection, keys::kWaveOut, StoredWaveName(*options->waveOut));
    if (options->waveIn)
        settings.WriteString(keys::kSection, keys::kWaveIn, StoredWaveName(*options->waveIn));
    if (options->midiIn) settings.WriteString(keys::kSection, keys::kMidiIn, *options->midiIn);
    if (options->midiOut) settings.WriteString(keys::kSection, keys::kMidiOut, *options->midiOut);
    if (options->thru) settings.WriteInt(keys::kSection, keys::kMidiThru, 1);
    if (options->buffer) {
        settings.WriteInt(keys::kSection, keys::kWaveOutBufSize, *options->buffer);
        if (CEngineWaveOut::BoundBufferSize(*options->buffer) != *options->buffer)
            std::cerr << "zorvil-cli: buffer size " << *options->buffer
                      << " is outside 147 ... 11025 frames; using "
                      << CEngineWaveOut::kDefaultBufferSize << '\n';
    }

    ConsoleUserInterface ui(std::cerr);
    platform::RealClock clock;
    CZorvilApp app(clock, ui, &settings);
    app.InitInstance();
    const CSettings& stored = app.Settings();
    // Each name as the user gave it (or as the profile holds it).
    std::vector<std::string> midiIn = MidiInDeviceList();
    midiIn.emplace_back(platform::kMidiMapperName); // Zorvil's own port, opened by that name
    ReportMissing("wave output", options->waveOut.value_or(stored.WaveOut()),
                  app.WaveOut().IsOpen(), WaveOutDeviceList());
    ReportMissing("wave input", options->waveIn.value_or(stored.WaveIn()), app.WaveIn().IsOpen(),
                  WaveInDeviceList());
    ReportMissing("MIDI input", options->midiIn.value_or(stored.MidiIn()), app.MidiIn().IsOpen(),
                  midiIn);
    ReportMissing("MIDI output", options->midiOut.value_or(stored.MidiOut()),
                  app.MidiOut().IsOpen(), MidiOutDeviceList());

    int loaded = 0;
    for (const std::string& path : options->plugins) {
        if (loaded == kMaxPlugins) {
            std::cerr << "zorvil-cli: " << path << ": only " << kMaxPlugins
                      << " plug-ins can be loaded; left out\n";
            continue;
        }
        if (app.LoadEffect(path) < 0) {
            std::cerr << "zorvil-cli: " << path
                      << ": not a usable VST 2 plug-in: " << app.Host().LastLoadError() << '\n';
            continue;
        }
        ++loaded;
    }
    if (Interrupted()) {
        // Stopped before it played: the program ends by the signal, as an interrupted command.
        profile.Remove();
        app.ExitInstance();
        return 1;
    }
    if (loaded == 0) {
        std::cerr << "zorvil-cli: none of the plug-ins loaded; nothing to play\n";
        profile.Remove();
        app.ExitInstance();
        return 1;
    }
    ReportRate("wave output", app.WaveOut(), app.WaveOut().DeviceRate(), true);
    ReportRate("wave input", app.WaveIn(), app.WaveIn().DeviceRate(), false);
    std::cout << "zorvil-cli: playing " << loaded << " plug-in" << (loaded == 1 ? "" : "s")
              << (options->seconds ? "" : " until stopped (Ctrl+C)") << '\n'
              << std::flush;

    const auto start = std::chrono::steady_clock::now();
    const auto limit = options->seconds ? std::chrono::duration<double>(*options->seconds)
                                        : std::chrono::duration<double>::max();
    // A device that stops (the JACK server went away) is reported, and so is its return.
    CDeviceWatch watch(app, [](const std::string& line) {
        std::cerr << "zorvil-cli: " << line << '\n' << std::flush;
    });
    while (!Interrupted() && std::chrono::steady_clock::now() - start < limit) {
        app.ProcessPosted();
        watch.Poll();
        std::this_thread::sleep_for(kPoll);
    }
    TakeInterruptAsStop(); // Ctrl+C while it plays is its normal end
    // Nothing is written at exit: the copy goes before the plug-ins are unloaded, so that one
    // that crashes while it closes leaves nothing behind.
    profile.Remove();
    return app.ExitInstance();
}

} // namespace zorvil::cli
