// CSettings: the "Settings" section of the profile, with its defaults.
//
//   value            type                                       default   read by
//   "MidiIn"         MIDI input device name                     ""        start-up, dialogs
//   "MidiOut"        MIDI output device name                    ""        start-up, dialogs
//   "MidiThru"       1: MIDI input passed through to the output 0         start-up, dialogs
//   "WaveIn"         wave input, "MME: " + name                 ""        start-up, dialogs
//   "WaveOut"        wave output, "MME: " + name                ""        start-up, dialogs
//   "WaveOutBufSize" wave buffer size in frames                 2205      start-up, engine
//                                                                         start, render
//   "RenderAdjust"   output buffers not written at a render's   0         start-up, render
//                    start
//   "Engine"         1 after Run started the engine, 0 after    (never read: start-up always
//                    it stopped it                               starts the engine)
//
// Missing values read as their defaults and nothing is written back (only the wave devices'
// one-time "MME: " upgrade, the Run command and the device commands write). Without a profile
// every value reads as its default and writes go nowhere.
//
//     CSettings settings(&profile);
//     int frames = settings.WaveOutBufSize();       // bounded: see there
//     settings.WriteEngine(true);
//
// Threads: any (the profile serialises its file access).
#pragma once

#include "platform/profile.h"

#include <string>
#include <string_view>

namespace zorvil {

class CSettings {
public:
    explicit CSettings(platform::CProfile* profile) : m_pProfile(profile) {}

    std::string MidiIn() const;
    std::string MidiOut() const;
    bool MidiThru() const;
    std::string WaveIn() const;
    std::string WaveOut() const;
    // The stored value as it is.
    int StoredWaveOutBufSize() const;
    // The stored value bounded to what the device dialogs offer (147 ... 11025 frames); any
    // other value (0 or less, which has no buffers per second, or one asking for blocks beyond
    // the engine's mix buffers or for no buffer pool at all) gives the default 2205, as the
    // wave devices take it.
    int WaveOutBufSize() const;
    int RenderAdjust() const;

    bool WriteEngine(bool running) const;
    // The device commands store what they opened (an empty name: nothing).
    bool WriteMidiIn(std::string_view name) const {
        return WriteString(platform::settings::kMidiIn, name);
    }
    bool WriteMidiOut(std::string_view name) const {
        return WriteString(platform::settings::kMidiOut, name);
    }
    bool WriteMidiThru(bool thru) const {
        return WriteInt(platform::settings::kMidiThru, thru ? 1 : 0);
    }
    bool WriteWaveIn(std::string_view name) const {
        return WriteString(platform::settings::kWaveIn, name);
    }
    bool WriteWaveOut(std::string_view name) const {
        return WriteString(platform::settings::kWaveOut, name);
    }
    bool WriteWaveOutBufSize(int frames) const {
        return WriteInt(platform::settings::kWaveOutBufSize, frames);
    }
    bool WriteRenderAdjust(int buffers) const {
        return WriteInt(platform::settings::kRenderAdjust, buffers);
    }

private:
    int GetInt(const char* key, int defaultValue) const;
    std::string GetString(const char* key) const;
    bool WriteInt(const char* key, int value) const;
    bool WriteString(const char* key, std::string_view value) const;

    platform::CProfile* m_pProfile;
};

} // namespace zorvil
