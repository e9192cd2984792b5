// The render to a wave file of CZorvilApp: the command, the start and the end (see
// zorvil_app.h; the file side is CRenderWriter's).
#include "app/zorvil_app.h"

#include "files/file_commands.h"
#include "files/file_dialogs.h"
#include "files/file_io.h"

namespace zorvil {

void CZorvilApp::OnRenderToWave() {
    if (m_pattern.IsPlaying()) return; // disabled while the sequencer plays
    if (IsCommandLineMode()) {
        StartRender(m_commandLine.waveFile);
        return;
    }
    if (m_pProfile == nullptr) return;
    if (auto path = AskForFile(m_ui, *m_pProfile, kWaveFiles, FileDialogKind::Save))
        StartRender(*path);
}

bool CZorvilApp::StartRender(const std::string& path) {
    // A render whose end was handed over but not yet handled is finished first.
    if (m_bRenderDone.exchange(false)) OnRenderDone();
    if (IsRendering()) {
        if (m_pattern.IsPlaying()) return false; // a render in progress is left alone
        // The sequencer stopped and the render never finished: it could not advance (the
        // engine or the wave output was off). This one takes its place.
        AbandonRender();
        if (m_bRenderDone.exchange(false)) OnRenderDone(); // it had just finished after all
    }
    const int bufferFrames = m_settings.WaveOutBufSize();
    m_nRenderAdjust = m_settings.RenderAdjust();
    const RenderPlan plan = MakeRenderPlan(m_pattern.GetMeasures(), m_pattern.GetTempo(),
                                           bufferFrames, m_nRenderAdjust);
    if (m_pattern.IsPlaying()) m_pattern.Stop();
    m_bRenderDone.store(false);
    // The file is created (headers written) and the render armed (state 1); a target that
    // cannot be created is reported there and nothing starts.
    if (!m_renderWriter.Start(path, plan, m_renderState, [this] {
            // Engine thread: the writer closed the file and sets the state back to 0 right
            // after; the rest of the end belongs to the user-interface thread.
            m_bRenderDone.store(true);
            WakeUi();
        }))
        return false;
    if (IsEngineRunning()) {
        StopEngine();
        PostCommand(kCommandRun); // the main window starts it again
    }
    m_strRenderPath = path;
    m_pattern.SetPosition(0);
    m_pattern.Start();
    return true;
}

bool CZorvilApp::IsRendering() const noexcept {
    return m_renderState.load() != RenderState::Idle;
}

void CZorvilApp::AbandonRender() {
    if (m_renderWriter.Abandon() && m_pattern.IsPlaying()) {
        m_pattern.SetPosition(0);
        m_pattern.Stop();
    }
}

void CZorvilApp::OnRenderDone() {
    // The file takes the target's place now (or is removed when it could not be written).
    const files::WriteError error = m_renderWriter.Finish();
    m_pattern.SetPosition(0);
    m_pattern.Stop();
    if (IsCommandLineMode()) {
        if (m_pFileCommands != nullptr) m_pFileCommands->Write(m_commandLine.projectFile);
        PostQuit();
        return;
    }
    if (error)
        m_ui.MessageBox(files::CantOpenForWriteMessage(m_strRenderPath, error.cause), {},
                        MessageButtons::Ok, MessageIcon::Error);
    else
        m_ui.MessageBox(kRenderDoneMessage, {}, MessageButtons::Ok, MessageIcon::None);
}

} // namespace zorvil
