// CChildFrame: an effect's information window, and the effect's owner on the window side.
//
// The main frame makes one for every effect the application loads (IAppListener::
// OnEffectLoaded) and gives it the slot (AttachEffect). It lists what the plug-in reports about
// itself (CInfoListBox), then hides: the user works in the effect's editor window (CEffectWnd)
// or parameter window (CEffEditWnd), which this window opens and links to. Every effect command
// (editor, parameters, banks, programs, MIDI channels, close) is carried out here, whether it
// comes from the effect's windows, their system menus or the main frame's "E&ffect" menu.
// Closing either effect window closes this one, which unloads the effect.
//
//     auto* frame = new CChildFrame(app, mainFrame);   // parent: the main frame's MDI area
//     app.AttachEffectFrame(slot, frame);
//     frame->AttachEffect(slot);                       // fills, hides, opens a synth's window
//     frame->OnEffectCommand(command::kEditParameters);
//
// Windows name effects by slot: nothing here keeps a pointer to the plug-in.
// Threads: the user-interface thread only. What a plug-in reports from other threads arrives
// through IEffectFrame's notifications, already on this thread.
#pragma once

#include "app/effect_frame.h"
#include "app/zorvil_app.h"

#include <QMdiSubWindow>

#include <cstdint>

namespace zorvil {

class CEffEditWnd;
class CEffectWnd;
class CInfoListBox;
class CMainFrame;

class CChildFrame : public QMdiSubWindow, public IEffectFrame {
    Q_OBJECT

public:
    // View states, as the effect's button shows them.
    static constexpr int kViewClosed = 0;
    static constexpr int kViewHidden = 1;
    static constexpr int kViewShown = 2;

    CChildFrame(CZorvilApp& app, CMainFrame& mainFrame);
    ~CChildFrame() override;

    void AttachEffect(int slot);
    int EffectIndex() const noexcept { return m_nEffect; }
    int ViewState() const noexcept { return m_nViewState; }
    CZorvilApp& App() const noexcept { return m_app; }
    CMainFrame& MainFrame() const noexcept { return m_mainFrame; }
    CInfoListBox& InfoList() const noexcept { return *m_pInfoList; }

    void FillInfo();
    void SetBaseTitle(const QString& name);
    void UpdateFrameTitle();
    // The current program changed: both effect windows and this window's title show it.
    void OnProgramChanged();
    // Whether the plug-in has an editor (asked once, then remembered).
    bool HasEditor();

    void OpenEditor();
    void OpenParameters();
    void OnEditorClosed();
    void OnParametersClosed();
    CEffectWnd* EditorWindow() const noexcept { return m_pEditWnd; }
    CEffEditWnd* ParameterWindow() const noexcept { return m_pParamWnd; }

    // The effect commands: 32771, 32773, 32782-32784, 32787, 32791, 33000-33999, 57602.
    // Returns false for any other id.
    bool OnEffectCommand(uint32_t id);
    CZorvilApp::CommandState EffectCommandState(uint32_t id);

    // IEffectFrame
    void CloseEffectViews() override;
    void ShowEffectWindows(bool show) override;
    void OnEditorSizeRequested(int width, int height) override;
    void OnDisplayUpdateRequested() override;
    void OnParameterAutomated(int index) override;
    void OnEffectChanged() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    CZorvilApp& m_app;
    CMainFrame& m_mainFrame;
    CInfoListBox* m_pInfoList = nullptr;
    CEffectWnd* m_pEditWnd = nullptr;
    CEffEditWnd* m_pParamWnd = nullptr;
    int m_nEffect = -1;
    int m_nViewState = kViewClosed;
    int m_nHasEditor = -1;
    QString m_strBaseTitle;
};

} // namespace zorvil
