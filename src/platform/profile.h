// The application profile: the per-user settings, in an INI file that Qt's QSettings reads too,
// $XDG_CONFIG_HOME/Ostrelworks/Zorvil.conf (default ~/.config/Ostrelworks/Zorvil.conf), one
// group per section ("Settings", "FxbFiles", ...).
//
// Readers return the default when a value is missing (or, for integers, not a number); writers
// rewrite the file at once (through a temporary file and a rename, so a crash never leaves half
// a file). Every call reads the file afresh, so several CProfile objects on one file agree.
//
//     CProfile profile(CProfile::DefaultPath());        // tests: a file in a temporary folder
//     int size = profile.GetInt("Settings", "WaveOutBufSize", 2205);
//     profile.WriteString("Settings", "WaveOut", "MME: JACK");
//
// Threads: any; one lock per object serialises its reads and writes.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace zorvil::platform {

class CProfile {
public:
    explicit CProfile(std::string path) : m_path(std::move(path)) {}

    // $XDG_CONFIG_HOME/Ostrelworks/Zorvil.conf, or $HOME/.config/... when that is not set.
    static std::string DefaultPath();

    const std::string& Path() const noexcept { return m_path; }

    int GetInt(std::string_view section, std::string_view key, int defaultValue) const;
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view defaultValue) const;
    bool WriteInt(std::string_view section, std::string_view key, int value);
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);

private:
    bool Find(std::string_view section, std::string_view key, std::string& value) const;

    std::string m_path;
    mutable std::mutex m_mutex; // one reader or writer of the file at a time
};

// The values of the "Settings" section and their defaults.
namespace settings {
inline constexpr const char* kSection = "Settings";
inline constexpr const char* kMidiIn = "MidiIn";
inline constexpr const char* kMidiOut = "MidiOut";
inline constexpr const char* kMidiThru = "MidiThru";
inline constexpr const char* kWaveIn = "WaveIn";
inline constexpr const char* kWaveOut = "WaveOut";
inline constexpr const char* kWaveOutBufSize = "WaveOutBufSize";
inline constexpr const char* kRenderAdjust = "RenderAdjust";
inline constexpr const char* kEngine = "Engine";
inline constexpr int kDefaultWaveOutBufSize = 2205;
inline constexpr int kDefaultMidiThru = 0;
inline constexpr int kDefaultRenderAdjust = 0;
} // namespace settings

} // namespace zorvil::platform
