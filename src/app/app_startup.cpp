// Start-up and shut-down of CZorvilApp without the windows, and the command line (see
// zorvil_app.h and command_line.h).
#include "app/zorvil_app.h"

#include "files/file_commands.h"
#include "files/project_effects.h"

#include <exception>
#include <filesystem>

namespace zorvil {

bool CZorvilApp::InitInstance(std::string_view commandLine) {
    // No engine timer yet; the timer capabilities read once more. The block buffers and the
    // engine worker were made with the object.
    StartTimer(0);
    m_clock.GetCaps(m_timerCaps);
    if (!m_pEngineThread) m_pEngineThread = std::make_unique<CEngineThread>(m_host);

    const int bufferSize = m_settings.WaveOutBufSize();
    m_midiOut.OpenByName(m_settings.MidiOut());
    m_waveOut.OpenWaveOutByName(m_settings.WaveOut(), bufferSize);
    m_nRenderAdjust = m_settings.RenderAdjust();
    m_midiIn.OpenByName(m_settings.MidiIn());
    m_midiIn.SetThru(m_settings.MidiThru());
    m_waveIn.OpenWaveInByName(m_settings.WaveIn(), bufferSize, m_pEngineThread.get());
    // The results of the four opens do not matter here: a device that failed stays closed.
    StartEngine();
    ClearEffectRecords();
    NewProject();
    m_commandLine = ParseCommandLine(commandLine);
    ApplyCommandLine();
    return true;
}

void CZorvilApp::ApplyCommandLine() {
    if (!m_commandLine.renderMode) return;
    std::error_code ec;
    const std::string& project = m_commandLine.projectFile;
    if (!project.empty() && std::filesystem::is_regular_file(project, ec) &&
        m_pFileCommands != nullptr) {
        m_pFileCommands->Read(project);
        return;
    }
    SetSequencerValues(m_commandLine.tempo, 1, 32);
}

int CZorvilApp::ExitInstance() {
    ShutdownDevices();
    m_pattern.Stop();
    // A block may still run after StopEngine gave up waiting (a slow plug-in): the worker leaves
    // once it is done, before the effects it runs and the buffers it fills go.
    if (m_pEngineThread) m_pEngineThread->Stop();
    // A plug-in that throws while it closes does not stop the shut-down; its failure is passed
    // on once the rest is done.
    std::exception_ptr closeFailure;
    try {
        m_host.RemoveAll();
    } catch (...) {
        closeFailure = std::current_exception();
    }
    ClearEffectRecords();
    // The worker has left: its buffers go, then the worker itself.
    m_pBlock[0] = nullptr;
    m_pBlock[1] = nullptr;
    m_blockStorage.reset();
    m_waveIn.SetEngine(nullptr);
    m_pEngineThread.reset();
    if (closeFailure) std::rethrow_exception(closeFailure);
    return 0;
}

} // namespace zorvil
