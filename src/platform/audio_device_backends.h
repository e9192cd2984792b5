// The audio systems behind the wave device lists (internal to the platform layer).
//
// Each system contributes entries, a name and how to open it; audio_device.cpp puts the lists
// together in a fixed order (virtual devices when enabled, JACK, PulseAudio, ALSA) and picks
// the "Wave Mapper" among the systems' defaults.
#pragma once

#include "platform/audio_device.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zorvil::platform::detail {

// `rate`: the rate the device would run at (the virtual devices run at the program's own).
struct WaveOutEntry {
    std::string name;
    std::function<std::unique_ptr<IWaveOutPort>(DeviceEvent&)> open;
    uint32_t rate = kSampleRate;
};

struct WaveInEntry {
    std::string name;
    std::function<std::unique_ptr<IWaveInPort>(DeviceEvent&)> open;
    uint32_t rate = kSampleRate;
};

// JACK: one entry per direction while a server runs ("JACK").
void AddJackWaveOut(std::vector<WaveOutEntry>& list);
void AddJackWaveIn(std::vector<WaveInEntry>& list);
std::unique_ptr<IWaveOutPort> OpenJackWaveOut(DeviceEvent& event);

// PulseAudio and ALSA through RtAudio: "PulseAudio: name", "ALSA: name".
void AddRtAudioWaveOut(std::vector<WaveOutEntry>& list);
void AddRtAudioWaveIn(std::vector<WaveInEntry>& list);
// The default output of PulseAudio (pulse = true) or ALSA; null when it does not open.
std::unique_ptr<IWaveOutPort> OpenRtAudioDefaultOut(bool pulse, DeviceEvent& event);
// Device `device` of RtAudio's API `api` (an RtAudio::Api value); null when it does not open.
// The program reaches PulseAudio and ALSA this way; the tests also use RtAudio's JACK API,
// which refuses every rate but its server's: a device that refuses 44100 Hz.
std::unique_ptr<IWaveOutPort> OpenRtAudioWaveOut(int api, unsigned int device, DeviceEvent& event);
std::unique_ptr<IWaveInPort> OpenRtAudioWaveIn(int api, unsigned int device, DeviceEvent& event);

// Virtual devices, only while enabled.
void AddVirtualWaveOut(std::vector<WaveOutEntry>& list);
void AddVirtualWaveIn(std::vector<WaveInEntry>& list);

} // namespace zorvil::platform::detail
