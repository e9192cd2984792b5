#include "gui/app/main_frame.h"

#include "app/zorvil_app.h"
#include "gui/app/about_box.h"
#include "gui/app/device_dialogs.h"
#include "gui/app/images.h"
#include "gui/app/lock_indicators.h"
#include "gui/app/qt_user_interface.h"
#include "gui/host/child_frame.h"
#include "gui/host/effect_menu.h"
#include "gui/sequencer/effect_button_bar.h"
#include "gui/sequencer/seq_frame.h"
#include "gui/sequencer/seq_view.h"
#include "gui/sequencer/tempo_bar.h"
#include "sequencer/pattern_history.h"

#include <QAbstractEventDispatcher>
#include <QActionGroup>
#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QToolBar>

namespace zorvil {

namespace {

bool IsEffectButton(uint32_t id) {
    return id >= command::kEffectButton1 && id <= command::kEffectButton4;
}

// Commands that show a check mark.
bool IsCheckable(uint32_t id) {
    return id == command::kPlay || id == command::kEngineRun;
}

} // namespace

CMainFrame::CMainFrame(CZorvilApp& app, CQtUserInterface& ui, QWidget* parent)
    : QMainWindow(parent), m_app(app), m_ui(ui) {
    setObjectName(QStringLiteral("mainFrame"));
    setWindowIcon(images::ProgramIcon());
    setWindowTitle(QString::fromStdString(m_app.Title()));

    // The child area, tiled with the background; scroll bars when a child reaches past it.
    m_pMdiArea = new QMdiArea(this);
    m_pMdiArea->setBackground(QBrush(images::Background()));
    m_pMdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_pMdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_pMdiArea);

    m_pStatusPanes = std::make_unique<CStatusPanes>(statusBar());
    statusBar()->showMessage(QString::fromLatin1(kReady));

    m_pCommands = new CCommands(this);
    for (QAction* action : m_pCommands->Actions())
        action->setCheckable(IsCheckable(CCommands::IdOf(action)));
    connect(m_pCommands, &CCommands::triggered, this, &CMainFrame::OnCommand);
    BuildMenus();
    BuildBars();

    m_pDeviceDialogs = std::make_unique<CQtDeviceDialogs>(this);
    m_app.SetDeviceDialogs(m_pDeviceDialogs.get());
    m_app.AddListener(this);
    // A bank loaded or a program chosen outside the effect's windows: they show it.
    connect(&m_ui, &CQtUserInterface::effectWindowsRefreshRequested, this, [this](int slot) {
        if (auto* frame = dynamic_cast<CChildFrame*>(m_app.EffectRecord(slot).frame))
            frame->OnEffectChanged();
    });
    CPatternHistory& history = m_app.PatternHistory();
    history.SetUndoHook([this](CPatternHistory::Change change) {
        if (change.values)
            RefreshSequencerValues();
        else if (change.notes && SeqView() != nullptr)
            SeqView()->Redraw();
    });

    // Timer 1, and the update pass whenever the event loop runs out of work.
    m_idleTimer.setInterval(kIdleTimerMs);
    connect(&m_idleTimer, &QTimer::timeout, this, &CMainFrame::OnIdleTimer);
    m_idleTimer.start();
    m_editIdleTimer.setInterval(kEditIdleTimerMs);
    connect(&m_editIdleTimer, &QTimer::timeout, this, &CMainFrame::OnEditIdleTimer);
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                &CMainFrame::UpdateCommandStates);
    UpdateCommandStates();
}

CMainFrame::~CMainFrame() {
    CloseEffectFrames();
    m_app.PatternHistory().SetUndoHook({});
    m_app.RemoveListener(this);
    m_app.SetDeviceDialogs(nullptr);
}

void CMainFrame::BuildMenus() {
    auto add = [this](QMenu* menu, uint32_t id) { menu->addAction(m_pCommands->Action(id)); };

    QMenu* file = menuBar()->addMenu(tr("&File"));
    add(file, command::kNew);
    add(file, command::kOpen);
    file->addSeparator();
    add(file, command::kSave);
    add(file, command::kSaveAs);
    file->addSeparator();
    add(file, command::kRenderToWave);
    add(file, command::kExportMidi);
    file->addSeparator();
    add(file, command::kExit);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    add(edit, command::kUndo);
    add(edit, command::kRedo);

    QMenu* sequencer = menuBar()->addMenu(tr("&Sequencer"));
    add(sequencer, command::kPlay);
    add(sequencer, command::kPause);
    add(sequencer, command::kGoToStart);

    QMenu* options = menuBar()->addMenu(tr("&Options"));
    add(options, command::kDevices);
    add(options, command::kMidiDevices);
    add(options, command::kWaveDevices);
    options->addSeparator();
    add(options, command::kEngineRun);
    add(options, command::kEngineRestart);
    add(options, command::kAsioPanel);

    QMenu* effect = AddEffectMenu(*menuBar(), *m_pCommands, [this] { return ActiveEffectFrame(); });

    m_pWindowMenu = menuBar()->addMenu(tr("&Window"));
    connect(m_pWindowMenu, &QMenu::aboutToShow, this, &CMainFrame::FillWindowMenu);
    FillWindowMenu();

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    add(help, command::kAbout);

    // A menu about to open shows the states of now.
    for (QMenu* menu : {file, edit, sequencer, options, effect, help})
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
}

void CMainFrame::FillWindowMenu() {
    // Cascade, then the child windows, the active one checked.
    m_pWindowMenu->clear();
    m_pWindowMenu->addAction(m_pCommands->Action(command::kCascade));
    // Hidden windows (the effects' information windows, effect windows put away) are not
    // listed.
    QList<QMdiSubWindow*> windows = m_pMdiArea->subWindowList();
    windows.removeIf([](const QMdiSubWindow* window) { return window->isHidden(); });
    if (windows.isEmpty()) return;
    m_pWindowMenu->addSeparator();
    auto* group = new QActionGroup(m_pWindowMenu);
    int number = 1;
    for (QMdiSubWindow* window : windows) {
        const QString text = number < 10
                                 ? QStringLiteral("&%1 %2").arg(number).arg(window->windowTitle())
                                 : QStringLiteral("%1 %2").arg(number).arg(window->windowTitle());
        QAction* action = m_pWindowMenu->addAction(text);
        action->setCheckable(true);
        action->setChecked(window == m_pMdiArea->activeSubWindow());
        group->addAction(action);
        connect(action, &QAction::triggered, this,
                [this, window] { m_pMdiArea->setActiveSubWindow(window); });
        ++number;
    }
}

void CMainFrame::BuildBars() {
    auto makeBar = [this](const QString& name, const QString& title) {
        QToolBar* bar = addToolBar(title);
        bar->setObjectName(name);
        bar->setIconSize(QSize(images::kToolbarButtonWidth, images::kToolbarButtonHeight));
        bar->setFloatable(false);
        return bar;
    };
    auto addButton = [this](QToolBar* bar, uint32_t id) {
        QAction* action = m_pCommands->Action(id);
        action->setIcon(QIcon(images::ToolbarButton(id)));
        bar->addAction(action);
    };

    m_pFileToolBar = makeBar(QStringLiteral("fileToolBar"), tr("File"));
    addButton(m_pFileToolBar, command::kNew);
    addButton(m_pFileToolBar, command::kOpen);
    addButton(m_pFileToolBar, command::kSave);
    m_pFileToolBar->addSeparator();
    addButton(m_pFileToolBar, command::kRenderToWave);

    m_pTransportToolBar = makeBar(QStringLiteral("transportToolBar"), tr("Transport"));
    addButton(m_pTransportToolBar, command::kPlay);
    addButton(m_pTransportToolBar, command::kPause);
    addButton(m_pTransportToolBar, command::kGoToStart);

    m_pTempoToolBar = makeBar(QStringLiteral("tempoToolBar"), tr("Tempo"));
    m_pTempoBar = new CTempoBar(m_pTempoToolBar);
    m_pTempoToolBar->addWidget(m_pTempoBar);
    connect(m_pTempoBar->Tempo(), &CWrapSpinBox::stepped, this,
            [this](int value) { OnValueStepped(&CPatternHistory::SetTempo, value); });
    connect(m_pTempoBar->Measures(), &CWrapSpinBox::stepped, this,
            [this](int value) { OnValueStepped(&CPatternHistory::SetMeasures, value); });
    connect(m_pTempoBar->Steps(), &CWrapSpinBox::stepped, this,
            [this](int value) { OnValueStepped(&CPatternHistory::SetStepsPerMeasure, value); });

    m_pEffectToolBar = makeBar(QStringLiteral("effectToolBar"), tr("Effects"));
    m_pEffectButtons = new CEffectButtonBar(m_pEffectToolBar);
    m_pEffectToolBar->addWidget(m_pEffectButtons);
    connect(m_pEffectButtons, &CEffectButtonBar::loadClicked, this,
            [this] { OnCommand(command::kLoadEffect); });
    connect(m_pEffectButtons, &CEffectButtonBar::slotClicked, this,
            [this](int slot) { OnCommand(command::kEffectButton1 + static_cast<uint32_t>(slot)); });
}

CSeqView* CMainFrame::SeqView() const noexcept {
    return m_pSeqFrame != nullptr ? m_pSeqFrame->View() : nullptr;
}

bool CMainFrame::IsPlaying() const {
    return m_app.Pattern().IsPlaying();
}

bool CMainFrame::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::WindowActivate:
        OnFirstActivation();
        break;
    case QEvent::StatusTip:
        // Nothing under the pointer has a prompt: the message pane says "Ready".
        if (static_cast<QStatusTipEvent*>(event)->tip().isEmpty()) {
            statusBar()->showMessage(QString::fromLatin1(kReady));
            return true;
        }
        break;
    default:
        break;
    }
    return QMainWindow::event(event);
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The first showing activates the window; without a window manager (a bare X server) no
    // activation may ever arrive, so it counts as the first activation itself.
    OnFirstActivation();
}

void CMainFrame::OnFirstActivation() {
    if (m_bFirstActivationDone) return;
    m_bFirstActivationDone = true;
    resize(kFirstWidth, kFirstHeight); // the top-left corner stays
    m_pSeqFrame = new CSeqFrame(m_app.Pattern(), m_app.PatternHistory());
    m_pMdiArea->addSubWindow(m_pSeqFrame);
    m_pSeqFrame->show();
    m_pSeqFrame->MoveAndSize();
    m_pMdiArea->setActiveSubWindow(m_pSeqFrame);
    connect(SeqView(), &CSeqView::patternEdited, this, &CMainFrame::UpdateCommandStates);
    RefreshSequencerValues();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    m_idleTimer.stop();
    m_editIdleTimer.stop();
    QMainWindow::closeEvent(event);
    if (!event->isAccepted()) return;
    CloseEffectFrames();
    emit closed();
}

void CMainFrame::CloseEffectFrames() {
    // Each closes its editor (with the plug-in still there to end it) and unloads its effect.
    for (int slot = 0; slot < CZorvilApp::kMaxEffects; ++slot)
        if (auto* frame = dynamic_cast<CChildFrame*>(m_app.EffectRecord(slot).frame))
            frame->close();
}

CChildFrame* CMainFrame::ActiveEffectFrame() const {
    return CChildFrame::OfWindow(m_pMdiArea->activeSubWindow());
}

void CMainFrame::OnIdleTimer() {
    m_app.Host().IdleAll();
    if (!m_editIdleTimer.isActive() && m_app.Host().AnyEditorOpen()) {
        m_editIdleTimer.start();
        m_app.Host().EditIdleAll();
    }
    // Lit for one tick after MIDI arrived, dark at the next tick without any.
    m_pStatusPanes->SetMidiLight(m_ui.TakeMidiActivity());
    m_pStatusPanes->SetLocks(ReadLockIndicators());
    m_pStatusPanes->SetLostDevices(m_app.LostDevices());
    UpdateCommandStates();
}

void CMainFrame::OnEditIdleTimer() {
    if (m_app.Host().AnyEditorOpen())
        m_app.Host().EditIdleAll();
    else
        m_editIdleTimer.stop();
}

void CMainFrame::UpdateCommandStates() {
    if (m_bUpdating) return;
    m_bUpdating = true;
    const CPatternHistory& history = m_app.PatternHistory();
    for (QAction* action : m_pCommands->Actions()) {
        const uint32_t id = CCommands::IdOf(action);
        CZorvilApp::CommandState state;
        switch (id) {
        case command::kExit:
        case command::kCascade:
        case command::kAbout:
            state = {true, false};
            break;
        case command::kUndo:
            state = {history.CanUndo(), false};
            break;
        case command::kRedo:
            state = {history.CanRedo(), false};
            break;
        default:
            if (CChildFrame::IsEffectCommand(id)) {
                CChildFrame* frame = ActiveEffectFrame();
                state =
                    frame != nullptr ? frame->EffectCommandState(id) : CZorvilApp::CommandState{};
                break;
            }
            state = m_app.GetCommandState(id);
            break;
        }
        if (action->isEnabled() != state.enabled) action->setEnabled(state.enabled);
        if (action->isCheckable() && action->isChecked() != state.checked)
            action->setChecked(state.checked);
    }
    // The tempo bar's values change only while the sequencer is stopped.
    const bool stopped = !IsPlaying();
    if (m_pTempoBar->isEnabled() != stopped) m_pTempoBar->setEnabled(stopped);
    const CPattern& pattern = m_app.Pattern();
    m_pStatusPanes->SetPosition(pattern.GetPosition(), pattern.GetStepsPerMeasure());
    m_bUpdating = false;
}

void CMainFrame::OnCommand(uint32_t id) {
    switch (id) {
    case command::kExit:
        close();
        break;
    case command::kCascade:
        m_pMdiArea->cascadeSubWindows();
        break;
    case command::kAbout: {
        CAboutBox about(this);
        about.exec();
        break;
    }
    case command::kUndo:
        m_app.PatternHistory().Undo();
        break;
    case command::kRedo:
        m_app.PatternHistory().Redo();
        break;
    case command::kLoadEffect:
    case command::kNewDocument:
        m_app.OnCommand(id);
        setFocus();
        emit loadEffectRequested(id);
        break;
    case command::kNew:
        if (m_app.OnCommand(id)) setFocus();
        break;
    default:
        if (IsEffectButton(id)) {
            OnEffectButton(static_cast<int>(id - command::kEffectButton1));
        } else if (CChildFrame::IsEffectCommand(id)) {
            if (CChildFrame* frame = ActiveEffectFrame()) frame->OnEffectCommand(id);
        } else
            m_app.OnCommand(id);
        break;
    }
    UpdateCommandStates();
}

void CMainFrame::OnPosted() {
    m_app.ProcessPosted();
    if (m_app.QuitRequested()) close();
    UpdateCommandStates();
}

void CMainFrame::OnEffectButton(int slot) {
    IEffectFrame* frame = m_app.EffectRecord(slot).frame;
    if (frame == nullptr) return;
    const int state = m_pEffectButtons->State(slot);
    if (state == CEffectButtonBar::kHidden)
        frame->ShowEffectWindows(true);
    else if (state == CEffectButtonBar::kShown)
        frame->ShowEffectWindows(false);
}

void CMainFrame::SetEffectButtonState(int slot, int state) {
    if (slot < 0 || slot >= CEffectButtonBar::kSlots)
        m_ui.MessageBox(kSlotOutOfRange, {}, MessageButtons::Ok, MessageIcon::None);
    else if (state < CEffectButtonBar::kEmpty || state > CEffectButtonBar::kShown)
        m_ui.MessageBox(QString::fromLatin1(kStateOutOfRange).arg(slot + 1).toStdString(), {},
                        MessageButtons::Ok, MessageIcon::None);
    else
        m_pEffectButtons->SetState(slot, state);
    setFocus();
}

void CMainFrame::SetSequencerValues(int tempo, int measures, int stepsPerMeasure) {
    m_pTempoBar->ShowValues(tempo, measures, stepsPerMeasure);
    if (CSeqView* view = SeqView()) {
        view->SetTempo(tempo);
        view->SetMeasures(measures);
        view->SetStepsPerMeasure(stepsPerMeasure);
        view->Redraw();
    }
}

void CMainFrame::RefreshSequencerValues() {
    const CPattern& pattern = m_app.Pattern();
    SetSequencerValues(pattern.GetTempo(), pattern.GetMeasures(), pattern.GetStepsPerMeasure());
}

void CMainFrame::OnValueStepped(bool (CPatternHistory::*record)(int), int value) {
    if (IsPlaying()) return; // the control keeps its value
    // One undo step; the pattern's tempo reaches the plug-ins through the application.
    (m_app.PatternHistory().*record)(value);
    RefreshSequencerValues();
    UpdateCommandStates();
}

void CMainFrame::OnEffectLoaded(int slot) {
    SetEffectButtonState(slot, CEffectButtonBar::kHidden);
    // The effect's information window: it fills itself, hides, and opens a synth's window.
    auto* frame = new CChildFrame(m_app, *this);
    m_pMdiArea->addSubWindow(frame);
    m_pMdiArea->setActiveSubWindow(frame);
    m_app.AttachEffectFrame(slot, frame);
    frame->AttachEffect(slot);
}

void CMainFrame::OnEffectRemoving(int slot) {
    SetEffectButtonState(slot, CEffectButtonBar::kEmpty);
    if (auto* frame = dynamic_cast<CChildFrame*>(m_app.EffectRecord(slot).frame))
        frame->OnEffectRemoving();
}

void CMainFrame::OnPatternValuesChanged() {
    RefreshSequencerValues();
}

void CMainFrame::OnTitleChanged(const std::string& title) {
    setWindowTitle(QString::fromStdString(title));
}

} // namespace zorvil
