// CMainFrame: the program's main window around the application object.
//
// Layout: the menus (File, Edit, Sequencer, Options, Window, Help); four bars at the top in this
// order: the file toolbar (New, Open, Save, Render To Wave), the transport toolbar (Play, Pause,
// Go To Start), the tempo bar (CTempoBar) and the effect button bar (CEffectButtonBar); the
// child area with its tiled background, holding the "Pattern Sequencer" (CSeqFrame) and, later,
// the effects' windows; the status bar with the message pane ("Ready", or the prompt of the
// command under the pointer), the MIDI light, the play position and the lock indicators.
//
// Commands: every command is a QAction of CCommands. The frame handles the ones that need a
// window (Exit, Cascade, About, Undo, Redo, the effect buttons) and passes the others to the
// application (CZorvilApp::OnCommand). One update pass (UpdateCommandStates) sets every
// action's enabled and checked state, enables the tempo bar only while the sequencer is
// stopped and shows the play position; it runs whenever the event loop has nothing left to do,
// after every command and on timer 1. Timer 1 (every 100 ms) also sends the plug-ins their idle
// calls, lights the MIDI light when MIDI arrived since the last tick and reads the lock
// indicators. While an editor is open a second timer gives the open editors their idle calls
// about 60 times a second (they draw from them); it stops when the last editor closes.
//
// The frame follows the application as a listener: the title, the pattern's values after New
// and Open (the tempo bar and the view), effects loaded and removed (their buttons). Undo and
// redo go through the pattern's history; its undo hook refreshes the tempo bar and the view.
//
//     CMainFrame frame(app, ui);
//     frame.show();                  // the first showing sizes the window, adds the sequencer
//     app.InitInstance(commandLine);
//
// Threads: the user-interface thread only. What other threads report arrives through
// OnPosted (queued by the program's waker) and the user interface's atomic MIDI flag.
#pragma once

#include "app/app_listener.h"
#include "gui/app/commands.h"
#include "gui/app/status_panes.h"

#include <QMainWindow>
#include <QTimer>

#include <cstdint>
#include <memory>

class QMdiArea;
class QMenu;
class QToolBar;

namespace zorvil {

class CChildFrame;
class CEffectButtonBar;
class CPatternHistory;
class CQtDeviceDialogs;
class CQtUserInterface;
class CSeqFrame;
class CSeqView;
class CTempoBar;
class CZorvilApp;

class CMainFrame : public QMainWindow, public IAppListener {
    Q_OBJECT

public:
    static constexpr int kFirstWidth = 788;
    static constexpr int kFirstHeight = 585;
    static constexpr int kIdleTimerMs = 100;
    // Open editors draw and follow the mouse from their idle calls: about 60 a second.
    static constexpr int kEditIdleTimerMs = 16;
    static constexpr const char* kReady = "Ready";
    static constexpr const char* kSlotOutOfRange = "Vst effect number out of range";
    // "Vst effect %d state out of range" with the slot counted from 1.
    static constexpr const char* kStateOutOfRange = "Vst effect %1 state out of range";

    CMainFrame(CZorvilApp& app, CQtUserInterface& ui, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // The tempo bar shows these values and the view takes them (which sets the pattern's).
    void SetSequencerValues(int tempo, int measures, int stepsPerMeasure);
    // Slot 0-3, state 0 (no effect: hidden), 1 (loaded, windows hidden), 2 (windows shown);
    // anything else is reported in a message box. The focus goes to the main window after.
    void SetEffectButtonState(int slot, int state);
    // The update pass: command states, the tempo bar's enabling, the play position.
    void UpdateCommandStates();
    // Timer 1: the plug-ins' idle calls, the MIDI light, the lock indicators, the update pass;
    // it also starts the editor idle timer when an editor is open.
    void OnIdleTimer();
    // The editor idle timer: effEditIdle to every open editor; it stops itself when none is.
    void OnEditIdleTimer();

    CCommands& Commands() noexcept { return *m_pCommands; }
    QMdiArea* MdiArea() const noexcept { return m_pMdiArea; }
    CSeqFrame* SeqFrame() const noexcept { return m_pSeqFrame; }
    CSeqView* SeqView() const noexcept;
    CTempoBar* TempoBar() const noexcept { return m_pTempoBar; }
    CEffectButtonBar* EffectButtons() const noexcept { return m_pEffectButtons; }
    CStatusPanes& StatusPanes() noexcept { return *m_pStatusPanes; }
    QToolBar* FileToolBar() const noexcept { return m_pFileToolBar; }
    QToolBar* TransportToolBar() const noexcept { return m_pTransportToolBar; }
    QToolBar* TempoToolBar() const noexcept { return m_pTempoToolBar; }
    QToolBar* EffectToolBar() const noexcept { return m_pEffectToolBar; }
    QTimer& IdleTimer() noexcept { return m_idleTimer; }
    QTimer& EditIdleTimer() noexcept { return m_editIdleTimer; }
    bool FirstActivationDone() const noexcept { return m_bFirstActivationDone; }
    // The information window of the effect whose window is active; null: none is.
    CChildFrame* ActiveEffectFrame() const;

public slots:
    // A command from a menu, a toolbar, a key or a button.
    void OnCommand(uint32_t id);
    // Runs what other threads posted to the application; closes the window when it asked to
    // quit (the end of a command-line render).
    void OnPosted();

signals:
    // The load button, the L key (and the plug-in command without a menu) ran: the application
    // asked for a plug-in library and loaded it.
    void loadEffectRequested(uint32_t command);
    // The window closed (the program ends).
    void closed();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

    // IAppListener
    void OnEffectLoaded(int slot) override;
    void OnEffectRemoving(int slot) override;
    void OnPatternValuesChanged() override;
    void OnTitleChanged(const std::string& title) override;

private:
    void BuildMenus();
    void BuildBars();
    void FillWindowMenu();
    void OnFirstActivation();
    void RefreshSequencerValues();
    // A spin of the tempo bar asked for `value`: recorded through the history unless the
    // sequencer plays.
    void OnValueStepped(bool (CPatternHistory::*record)(int), int value);
    void OnEffectButton(int slot);
    // Every effect's information window closes, and with it the effect's windows and effect.
    void CloseEffectFrames();
    bool IsPlaying() const;

    CZorvilApp& m_app;
    CQtUserInterface& m_ui;
    CCommands* m_pCommands = nullptr;
    QMdiArea* m_pMdiArea = nullptr;
    CSeqFrame* m_pSeqFrame = nullptr;
    CTempoBar* m_pTempoBar = nullptr;
    CEffectButtonBar* m_pEffectButtons = nullptr;
    std::unique_ptr<CStatusPanes> m_pStatusPanes;
    std::unique_ptr<CQtDeviceDialogs> m_pDeviceDialogs; // the device commands' dialogs
    QToolBar* m_pFileToolBar = nullptr;
    QToolBar* m_pTransportToolBar = nullptr;
    QToolBar* m_pTempoToolBar = nullptr;
    QToolBar* m_pEffectToolBar = nullptr;
    QMenu* m_pWindowMenu = nullptr;
    QTimer m_idleTimer;
    QTimer m_editIdleTimer;
    bool m_bFirstActivationDone = false;
    bool m_bUpdating = false;
};

} // namespace zorvil
