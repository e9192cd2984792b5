#include "app/device_watch.h"

#include "app/zorvil_app.h"
#include "engine/wave_device.h"
#include "midi/midi_device.h"
#include "platform/audio_device.h"
#include "platform/midi_port.h"

#include <algorithm>

namespace zorvil {

namespace {

bool Contains(const std::vector<std::string>& list, const std::string& name) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

} // namespace

CDeviceWatch::CDeviceWatch(CZorvilApp& app, Report report)
    : m_app(app), m_report(std::move(report)) {
    m_lastTry = app.Clock().Now();
    CZorvilApp* const a = &app;
    const CSettings& settings = app.Settings();
    const int bufferSize = settings.WaveOutBufSize();
    // Each device is looked for under the name the settings hold: the one it was opened by (a
    // device keeps only the first 31 characters of its name).
    Watch("wave output", app.WaveOut(), ParseStoredWaveName(settings.WaveOut()).name,
          WaveOutDeviceList, [a, bufferSize] {
              return a->WaveOut().OpenWaveOutByName(a->Settings().WaveOut(), bufferSize);
          });
    Watch("wave input", app.WaveIn(), ParseStoredWaveName(settings.WaveIn()).name, WaveInDeviceList,
          [a, bufferSize] {
              return a->WaveIn().OpenWaveInByName(a->Settings().WaveIn(), bufferSize,
                                                  &a->EngineThread());
          });
    Watch("MIDI input", app.MidiIn(), settings.MidiIn(), MidiInDeviceList,
          [a] { return a->MidiIn().OpenByName(a->Settings().MidiIn()); });
    Watch("MIDI output", app.MidiOut(), settings.MidiOut(), MidiOutDeviceList,
          [a] { return a->MidiOut().OpenByName(a->Settings().MidiOut()); });
}

template <typename DeviceT>
void CDeviceWatch::Watch(std::string kind, DeviceT& device, std::string name,
                         std::vector<std::string> (*list)(), std::function<bool()> open) {
    if (!device.IsOpen()) return;
    // A mapper stands for whatever works (the MIDI input's is a port of Zorvil's own and is not
    // listed): only opening it tells whether it is back.
    const bool mapper = name == platform::kWaveMapperName || name == platform::kMidiMapperName;
    m_devices.push_back({std::move(kind), name, [&device] { return device.Alive(); },
                         [list, name, mapper] { return mapper || Contains(list(), name); },
                         [&device, open = std::move(open)] {
                             device.Close();
                             return open();
                         }});
}

bool CDeviceWatch::AnyGone() const noexcept {
    return std::any_of(m_devices.begin(), m_devices.end(),
                       [](const Device& device) { return device.gone; });
}

void CDeviceWatch::Poll() {
    for (Device& device : m_devices) {
        if (device.gone || device.alive()) continue;
        device.gone = true;
        Tell(device.kind + " \"" + device.name +
             "\" stopped (the device went away); waiting for it to come back");
    }
    if (!AnyGone()) return;
    const uint32_t now = m_app.Clock().Now();
    if (now - m_lastTry < kRetryMs) return;
    m_lastTry = now;
    TryToReopen();
}

void CDeviceWatch::ReopenNow() {
    for (Device& device : m_devices)
        if (!device.alive()) device.gone = true;
    m_lastTry = m_app.Clock().Now();
    TryToReopen();
}

void CDeviceWatch::Tell(const std::string& line) const {
    if (m_report) m_report(line);
}

void CDeviceWatch::TryToReopen() {
    std::vector<Device*> back;
    for (Device& device : m_devices)
        if (device.gone && device.listed()) back.push_back(&device);
    if (back.empty()) return;
    // Devices are opened and closed with the engine stopped, as start-up does.
    const bool running = m_app.IsEngineRunning();
    m_app.StopEngine();
    for (Device* device : back) {
        if (!device->reopen() || !device->alive()) continue;
        device->gone = false;
        Tell(device->kind + " \"" + device->name + "\" is back");
    }
    if (running) m_app.StartEngine();
}

} // namespace zorvil
