// Engine control of CZorvilApp: StartEngine, StopEngine, ShutdownDevices and the Engine menu's
// commands (see zorvil_app.h).
#include "app/zorvil_app.h"

#include "app/device_watch.h"

#include <thread>

namespace zorvil {

uint32_t CZorvilApp::EnginePeriod() const {
    // A pool exists after any open attempt of a wave output that is not an "ASIO: " name, also
    // when the device did not open; the data rate is the same either way.
    const int buffers = m_waveOut.BufferCount();
    if (buffers > 0) return static_cast<uint32_t>(1000 / buffers);
    return static_cast<uint32_t>(kSampleRate / m_settings.WaveOutBufSize());
}

bool CZorvilApp::StartEngine() {
    if (IsEngineRunning() || !m_pEngineThread) return false;
    const uint32_t period = EnginePeriod();
    // The wave input, when it records, is the clock; only when it cannot start does the timer.
    // A timer that cannot start either leaves the engine running without a clock.
    const bool waveInput = m_waveIn.Start();
    if (!waveInput) StartTimer(period);
    m_waveOut.SetCushion(BlockLateness(waveInput));
    // Block time stamps count from here, once the clock runs; the wave input's count from the
    // same moment, and the MIDI input starts right after.
    SetStartTime(m_clock.Now());
    if (waveInput) m_waveIn.SetStartTime(StartTime());
    const bool midi = m_midiIn.Start();
    m_bEngineRunning.store(true);
    return midi;
}

size_t CZorvilApp::BlockLateness(bool waveInput) const {
    // A timer's block comes up to a tick (and the clock's rounding, a millisecond) after its
    // time. A wave input's comes right after the device's cycle that filled its buffer, which
    // the cushion's device period covers. Both leave room for the scheduler.
    const uint32_t ms = kSchedulerLatenessMs + (waveInput ? 0 : TimerTick(m_nPeriod) + 1);
    return static_cast<size_t>(ms) * kSampleRate / 1000;
}

void CZorvilApp::StopEngine() {
    if (!IsEngineRunning()) return;
    StartTimer(0);
    m_waveIn.Stop();
    m_midiIn.Stop();
    m_waveIn.Reset();
    m_midiIn.Reset();
    // A block already triggered may still run and hand its output to the wave output: wait for
    // it, then for every wave buffer to come back. Devices that keep their buffers beyond the
    // limit (a device that went away) are given up on instead of hanging the program.
    const auto limit = std::chrono::steady_clock::now() + kStopLimit;
    auto settled = [this] {
        return (!m_pEngineThread || !m_pEngineThread->IsBusy()) &&
               m_waveIn.PreparedBuffers() == 0 && m_waveOut.InFlight() <= 0;
    };
    while (!settled() && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(kStopPoll);
    m_bEngineRunning.store(false);
}

void CZorvilApp::ShutdownDevices() {
    StopEngine();
    m_midiIn.Close();
    m_midiOut.Close();
    m_waveIn.Close();
    m_waveOut.Close();
}

bool CZorvilApp::OnCommand(uint32_t id) {
    switch (id) {
    case kCommandRun:
        if (IsEngineRunning())
            StopEngine();
        else
            StartEngine();
        m_settings.WriteEngine(IsEngineRunning());
        return true;
    case kCommandRestart:
        if (!IsEngineRunning()) return true;
        StopEngine();
        // Devices that went away (a JACK server that stopped) and are there again come back.
        CDeviceWatch(*this, {}).ReopenNow();
        PostCommand(kCommandRun); // starts it again and writes "Engine" = 1
        return true;
    case kCommandAsioPanel:
        return true;
    case command::kMidiDevices:
        OnMidiDevices();
        return true;
    case command::kWaveDevices:
        OnWaveDevices();
        return true;
    case command::kDevices:
        OnDevices();
        return true;
    default:
        return OnMenuCommand(id);
    }
}

CZorvilApp::CommandState CZorvilApp::GetCommandState(uint32_t id) const {
    switch (id) {
    case kCommandRun:
        return {true, IsEngineRunning()};
    case kCommandRestart:
        return {IsEngineRunning(), false};
    default:
        return MenuCommandState(id);
    }
}

} // namespace zorvil
