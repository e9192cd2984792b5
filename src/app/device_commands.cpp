// The device commands of CZorvilApp: "&MIDI Devices...", "&Wave Devices..." and "&Devices..."
// (see zorvil_app.h and device_dialogs.h), and the devices that went away.
#include "app/zorvil_app.h"

#include "midi/midi_device.h"

namespace zorvil {

namespace {

// Opens a MIDI port by the chosen name; the name to store, empty when it did not open. A port
// that fails to open leaves the one open before open; "* No MIDI *" closes it, as the user
// asked for no port.
template <typename MidiDeviceT>
std::string OpenMidi(MidiDeviceT& device, const std::string& name) {
    if (name == kNoMidiDevice) device.Close();
    return device.OpenByName(name) ? name : std::string();
}

} // namespace

void CZorvilApp::OnMidiDevices() {
    if (m_pDeviceDialogs == nullptr) return;
    const MidiDevicesRequest request = MakeMidiDevicesRequest(m_settings);
    const auto choice = m_pDeviceDialogs->SelectMidiDevices(request);
    if (!choice) return;
    const bool running = IsEngineRunning();
    StopEngine();
    const std::string input = OpenMidi(m_midiIn, request.input.Name(choice->input));
    const std::string output = OpenMidi(m_midiOut, request.output.Name(choice->output));
    m_midiIn.SetThru(choice->thru);
    m_settings.WriteMidiIn(input);
    m_settings.WriteMidiOut(output);
    m_settings.WriteMidiThru(choice->thru);
    if (running) StartEngine();
}

void CZorvilApp::OnWaveDevices() {
    if (m_pDeviceDialogs == nullptr) return;
    const WaveDevicesRequest request = MakeWaveDevicesRequest(m_settings);
    const auto choice = m_pDeviceDialogs->SelectWaveDevices(request);
    if (!choice) return;
    std::string input = request.input.Name(choice->input);
    std::string output = request.output.Name(choice->output);
    const int bufferSize = request.bufferSize.Value(choice->bufferSize);
    const bool running = IsEngineRunning();
    StopEngine();
    // An ASIO output leaves the wave input as it is (the dialog disables its choice).
    if (!IsAsioName(output)) {
        if (!m_waveIn.OpenWaveInByName(input, bufferSize, m_pEngineThread.get())) input.clear();
        m_settings.WriteWaveIn(input);
    }
    if (!m_waveOut.OpenWaveOutByName(output, bufferSize)) output.clear();
    m_settings.WriteWaveOut(output);
    m_settings.WriteWaveOutBufSize(bufferSize);
    if (running) StartEngine();
}

void CZorvilApp::OnDevices() {
    if (m_pDeviceDialogs == nullptr) return;
    const DevicesRequest request = MakeDevicesRequest(m_settings);
    const auto choice = m_pDeviceDialogs->SelectDevices(request);
    if (!choice) return;
    std::string output = request.waveOutput.Name(choice->waveOutput);
    const int bufferSize = request.bufferSize.Value(choice->bufferSize);
    const int renderAdjust = request.renderAdjust.Value(choice->renderAdjust);
    const bool running = IsEngineRunning();
    StopEngine();
    const std::string input = OpenMidi(m_midiIn, request.midiInput.Name(choice->midiInput));
    // Pass-through goes off until the next start, which applies the stored "MidiThru" again.
    m_midiIn.SetThru(false);
    m_settings.WriteMidiIn(input);
    if (!m_waveOut.OpenWaveOutByName(output, bufferSize)) output.clear();
    m_settings.WriteWaveOut(output);
    m_settings.WriteWaveOutBufSize(bufferSize);
    m_settings.WriteRenderAdjust(renderAdjust);
    m_nRenderAdjust = renderAdjust;
    if (running) StartEngine();
}

std::vector<std::string> CZorvilApp::LostDevices() const {
    std::vector<std::string> lost;
    auto check = [&lost](const char* kind, const auto& device) {
        if (device.IsOpen() && !device.Alive())
            lost.push_back(std::string(kind) + " \"" + device.Name() + "\"");
    };
    check("wave output", m_waveOut);
    check("wave input", m_waveIn);
    check("MIDI input", m_midiIn);
    check("MIDI output", m_midiOut);
    return lost;
}

} // namespace zorvil
