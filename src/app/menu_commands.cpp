// The menu commands CZorvilApp handles without a window, their command states, and the New
// project operation (see zorvil_app.h and command_ids.h).
#include "app/zorvil_app.h"

#include "files/file_commands.h"

namespace zorvil {

void CZorvilApp::NewProject() {
    // No path: the title names only the program, and a following Save asks for a name instead
    // of overwriting the previous project with an empty one.
    if (m_pFileCommands != nullptr)
        m_pFileCommands->ClearPath();
    else
        SetTitle(std::string(kAppTitle));
    m_pattern.Reset();
    // Undo steps belong to the pattern that is gone.
    m_patternHistory.Clear();
    Notify([](IAppListener& listener) { listener.OnPatternValuesChanged(); });

    // Every effect goes: first through its windows (closing them unloads it), then any effect
    // that had no window open. The engine stops once around all of it.
    bool anyEffect = m_host.GetNextEffect(-1) >= 0 || m_nLoadedEffects > 0;
    if (anyEffect) {
        const bool running = IsEngineRunning();
        StopEngine();
        CloseEffectWindows();
        for (int slot = m_host.GetNextEffect(-1); slot >= 0; slot = m_host.GetNextEffect(-1))
            UnloadEffect(slot);
        if (running) StartEngine();
    }
    ClearEffectRecords();
}

bool CZorvilApp::OnNewProject() {
    if (!GetCommandState(command::kNew).enabled) return false;
    NewProject();
    return true;
}

void CZorvilApp::SetSequencerValues(int tempo, int measures, int stepsPerMeasure) {
    m_pattern.SetTempo(tempo);
    m_pattern.SetMeasures(measures);
    m_pattern.SetStepsPerMeasure(stepsPerMeasure);
    Notify([](IAppListener& listener) { listener.OnPatternValuesChanged(); });
}

bool CZorvilApp::OnMenuCommand(uint32_t id) {
    switch (id) {
    case command::kNew:
    case command::kOpen:
    case command::kSave:
    case command::kSaveAs:
    case command::kRenderToWave:
    case command::kExportMidi:
    case command::kPlay:
    case command::kPause:
    case command::kGoToStart:
    case command::kStartStop:
    case command::kGoToStartKey:
    case command::kLoadEffect:
    case command::kNewDocument:
        break;
    default:
        return false;
    }
    // A command that is disabled now does nothing, whichever way it arrived.
    if (!MenuCommandState(id).enabled) return true;
    switch (id) {
    case command::kNew:
        NewProject();
        break;
    case command::kOpen:
        if (m_pFileCommands != nullptr) m_pFileCommands->OnOpen();
        break;
    case command::kSave:
        if (m_pFileCommands != nullptr) m_pFileCommands->OnSave();
        break;
    case command::kSaveAs:
        if (m_pFileCommands != nullptr) m_pFileCommands->OnSaveAs();
        break;
    case command::kRenderToWave:
        OnRenderToWave();
        break;
    case command::kExportMidi:
        if (m_pFileCommands != nullptr) m_pFileCommands->OnExportMidi();
        break;
    case command::kPlay:
        if (!m_pattern.IsPlaying()) m_pattern.Start();
        break;
    case command::kPause:
        if (m_pattern.IsPlaying()) m_pattern.Stop();
        break;
    case command::kStartStop:
        if (m_pattern.IsPlaying())
            m_pattern.Stop();
        else
            m_pattern.Start();
        break;
    case command::kGoToStart:
    case command::kGoToStartKey:
        if (!m_pattern.IsPlaying()) m_pattern.SetPosition(0);
        break;
    case command::kLoadEffect:
    case command::kNewDocument:
        OnOpenPlugin(id);
        break;
    default:
        break;
    }
    return true;
}

CZorvilApp::CommandState CZorvilApp::MenuCommandState(uint32_t id) const {
    const bool stopped = !m_pattern.IsPlaying();
    switch (id) {
    case command::kNew:
    case command::kOpen:
    case command::kSave:
    case command::kSaveAs:
        return {stopped && !IsCommandLineMode(), false};
    case command::kRenderToWave:
    case command::kGoToStart:
        return {stopped, false};
    case command::kPlay:
        return {true, !stopped};
    case command::kExportMidi:
    case command::kPause:
    case command::kStartStop:
    case command::kGoToStartKey:
    case command::kDevices:
    case command::kMidiDevices:
    case command::kWaveDevices:
    case command::kLoadEffect:
    case command::kNewDocument:
        return {true, false};
    default:
        if (id >= command::kEffectButton1 && id <= command::kEffectButton4) return {true, false};
        return {};
    }
}

} // namespace zorvil
