#include "gui/host/child_frame.h"

#include "app/command_ids.h"
#include "files/file_commands.h"
#include "gui/app/images.h"
#include "gui/app/main_frame.h"
#include "gui/host/eff_edit_wnd.h"
#include "gui/host/effect_wnd.h"
#include "gui/host/info_list_box.h"
#include "gui/host/program_dialogs.h"
#include "host/effect_info.h"
#include "host/seq_effect.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QStyle>

namespace zorvil {

CChildFrame::CChildFrame(CZorvilApp& app, CMainFrame& mainFrame)
    : m_app(app), m_mainFrame(mainFrame), m_pInfoList(new CInfoListBox(this)) {
    setObjectName(QStringLiteral("infoFrame"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(images::InformationWindowIcon());
    setWidget(m_pInfoList);
    // The focus goes on to the list; so do the commands it does not take.
    setFocusProxy(m_pInfoList);
}

CChildFrame::~CChildFrame() = default;

CChildFrame* CChildFrame::OfWindow(QMdiSubWindow* window) {
    if (auto* frame = qobject_cast<CChildFrame*>(window)) return frame;
    if (auto* effectWindow = qobject_cast<CEffectWnd*>(window)) return &effectWindow->Owner();
    return nullptr;
}

bool CChildFrame::IsEffectCommand(uint32_t id) noexcept {
    switch (id) {
    case command::kOpenEditor:
    case command::kRenamePreset:
    case command::kEditParameters:
    case command::kLoadBank:
    case command::kSaveBank:
    case command::kSaveBankAs:
    case command::kPrograms:
    case command::kMidiChannels:
    case command::kCloseDocument:
        return true;
    default:
        return id >= command::kFirstProgram && id <= command::kLastProgram;
    }
}

CSeqEffect* CChildFrame::Effect() const {
    return m_app.Host().GetSeqEffect(m_nEffect);
}

void CChildFrame::AttachEffect(int slot) {
    m_nEffect = slot;
    m_mainFrame.SetEffectButtonState(slot, kViewHidden);
    m_nViewState = kViewHidden;
    SetBaseTitle(QString::fromStdString(InfoFrameName(m_app.Host(), slot)));
    FillInfo();
    // A synth is played at once: its editor, or the parameter window when it has none. An
    // effect waits until the user asks for one of them.
    if (CSeqEffect* effect = Effect(); effect != nullptr && effect->HasFlag(effFlagsIsSynth)) {
        if (effect->HasFlag(effFlagsHasEditor))
            OpenEditor();
        else
            OpenParameters();
        ShowEffectWindows(true);
    }
}

void CChildFrame::FillInfo() {
    m_pInfoList->ClearLines();
    for (const std::string& line : EffectInfoLines(m_app.Host(), m_nEffect))
        m_pInfoList->AddLine(QString::fromStdString(line));
    // Sized to its lines, should the user ever bring it up; hidden: the effect's own windows
    // are the ones to work in.
    const QMargins frame = contentsMargins();
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    resize(m_pInfoList->ScrollExtent() + frame.left() + frame.right() + scrollBar,
           m_pInfoList->TotalHeight() + frame.top() + frame.bottom() + scrollBar);
    hide();
}

void CChildFrame::SetBaseTitle(const QString& name) {
    m_strBaseTitle = QStringLiteral("%1 I: %2").arg(m_nEffect).arg(name);
    UpdateFrameTitle();
}

void CChildFrame::UpdateFrameTitle() {
    setWindowTitle(m_strBaseTitle +
                   QString::fromStdString(ProgramTitleSuffix(m_app.Host(), m_nEffect)));
}

void CChildFrame::OnProgramChanged() {
    if (m_pEditWnd != nullptr) m_pEditWnd->RefreshDisplay();
    if (m_pParamWnd != nullptr) m_pParamWnd->RefreshDisplay();
    UpdateFrameTitle();
}

bool CChildFrame::HasEditor() {
    if (m_nHasEditor < 0) {
        CSeqEffect* effect = Effect();
        if (effect == nullptr) return false;
        ERect* rect = nullptr;
        effect->Dispatch(effEditGetRect, 0, 0, &rect, 0.0f);
        m_nHasEditor = rect != nullptr ? 1 : 0;
    }
    return m_nHasEditor == 1;
}

namespace {

// Activates the window that `link` holds, or opens one and keeps the link until it is gone.
template <typename Window>
void OpenOrActivate(CChildFrame& frame, QMdiArea& area, Window*& link,
                    Window* (*open)(CChildFrame&)) {
    if (link != nullptr) {
        area.setActiveSubWindow(link);
        return;
    }
    link = open(frame);
    if (link != nullptr)
        QObject::connect(link, &QObject::destroyed, &frame, [&link] { link = nullptr; });
}

} // namespace

void CChildFrame::OpenEditor() {
    if (m_pEditWnd == nullptr && Effect() == nullptr) return;
    OpenOrActivate(*this, *m_mainFrame.MdiArea(), m_pEditWnd, &CEffectWnd::OpenEditorWindow);
}

void CChildFrame::OpenParameters() {
    if (m_pParamWnd == nullptr && Effect() == nullptr) return;
    OpenOrActivate(*this, *m_mainFrame.MdiArea(), m_pParamWnd, &CEffEditWnd::OpenParameterWindow);
}

void CChildFrame::OnEditorClosed() {
    m_pEditWnd = nullptr;
    OnViewClosed();
}

void CChildFrame::OnParametersClosed() {
    m_pParamWnd = nullptr;
    OnViewClosed();
}

void CChildFrame::OnViewClosed() {
    // While this window closes the effect itself, a closing view only drops its link.
    if (m_bClosing) return;
    if (m_nEffect >= 0) m_mainFrame.SetEffectButtonState(m_nEffect, kViewHidden);
    close();
}

bool CChildFrame::OnEffectCommand(uint32_t id) {
    if (id >= command::kFirstProgram && id <= command::kLastProgram) {
        SelectProgram(static_cast<int>(id - command::kFirstProgram));
        return true;
    }
    CFileCommands* files = m_app.FileCommands();
    switch (id) {
    case command::kOpenEditor:
        OpenEditor();
        return true;
    case command::kEditParameters:
        OpenParameters();
        return true;
    case command::kRenamePreset:
        if (CEffectWnd* window = m_pEditWnd != nullptr ? m_pEditWnd : m_pParamWnd)
            RenamePreset(*window);
        return true;
    case command::kLoadBank:
        if (files != nullptr) files->OnLoadBank(m_nEffect);
        return true;
    case command::kSaveBank:
        if (files != nullptr) files->OnSaveBank(m_nEffect);
        return true;
    case command::kSaveBankAs:
        if (files != nullptr) files->OnSaveBankAs(m_nEffect);
        return true;
    case command::kPrograms:
        if (EffectCommandState(id).enabled) ShowProgramsPopup(*this);
        return true;
    case command::kMidiChannels:
        EditMidiChannels(*this);
        return true;
    case command::kCloseDocument:
        close();
        return true;
    default:
        return false;
    }
}

CZorvilApp::CommandState CChildFrame::EffectCommandState(uint32_t id) {
    if (id >= command::kFirstProgram && id <= command::kLastProgram) return {true, false};
    switch (id) {
    case command::kOpenEditor:
        return {HasEditor(), false};
    case command::kPrograms: {
        const CSeqEffect* effect = Effect();
        const AEffect* plugin = effect != nullptr ? effect->GetAEffect() : nullptr;
        return {plugin != nullptr && plugin->numPrograms > 1 &&
                    m_mainFrame.MdiArea()->activeSubWindow() != nullptr,
                false};
    }
    case command::kEditParameters:
    case command::kRenamePreset:
    case command::kLoadBank:
    case command::kSaveBank:
    case command::kSaveBankAs:
    case command::kMidiChannels:
    case command::kCloseDocument:
        return {true, false};
    default:
        return {};
    }
}

void CChildFrame::SelectProgram(int program) {
    CSeqEffect* effect = Effect();
    if (effect == nullptr) return;
    effect->Dispatch(effSetProgram, 0, program, nullptr, 0.0f);
    OnProgramChanged();
}

void CChildFrame::CloseEffectViews() {
    if (m_pEditWnd != nullptr)
        m_pEditWnd->close();
    else if (m_pParamWnd != nullptr)
        m_pParamWnd->close();
}

void CChildFrame::ShowEffectWindows(bool show) {
    hide();
    if (m_nEffect < 0) return;
    // An effect whose windows were never opened (an effect loaded as such, not a synth) has
    // nothing to show: its button opens its editor, or its parameter window without one, so the
    // user always gets a window to work in.
    if (show && m_pEditWnd == nullptr && m_pParamWnd == nullptr) {
        if (HasEditor())
            OpenEditor();
        else
            OpenParameters();
    }
    m_nViewState = show ? kViewShown : kViewHidden;
    m_mainFrame.SetEffectButtonState(m_nEffect, m_nViewState);
    for (CEffectWnd* window :
         {static_cast<CEffectWnd*>(m_pEditWnd), static_cast<CEffectWnd*>(m_pParamWnd)}) {
        if (window == nullptr) continue;
        if (show) {
            window->show();
            m_mainFrame.MdiArea()->setActiveSubWindow(window);
        } else {
            window->hide();
        }
    }
}

void CChildFrame::OnEditorSizeRequested(int width, int height) {
    if (m_pEditWnd != nullptr) m_pEditWnd->ResizeClient(width, height);
}

void CChildFrame::OnDisplayUpdateRequested() {
    if (m_pEditWnd != nullptr) m_pEditWnd->RefreshDisplay();
}

void CChildFrame::OnParameterAutomated(int index) {
    if (m_pParamWnd != nullptr) m_pParamWnd->OnParameterChanged(index);
}

void CChildFrame::OnEffectChanged() {
    FillInfo();
    OnProgramChanged();
}

void CChildFrame::OnEffectRemoving() {
    if (m_bClosing) return;
    // The effect goes without this window having closed it (New, for an effect with no window
    // open): its windows close, the effect stays for the application to remove.
    m_bClosing = true;
    CloseViews();
    m_nViewState = kViewClosed;
    close();
}

void CChildFrame::CloseViews() {
    // Each view's close ends its editor (with the plug-in still loaded) and drops its link.
    if (m_pEditWnd != nullptr) m_pEditWnd->close();
    if (m_pParamWnd != nullptr) m_pParamWnd->close();
}

void CChildFrame::CloseEffect() {
    if (m_bClosing) return;
    m_bClosing = true;
    // Editors close before their plug-in goes: a plug-in unloaded with its editor open would
    // draw into a window that no longer has a library behind it.
    CloseViews();
    const int slot = m_nEffect;
    // Unloading stops the engine around the removal and starts it again if it ran.
    if (slot >= 0) {
        m_app.UnloadEffect(slot);
        m_mainFrame.SetEffectButtonState(slot, kViewClosed);
    }
    m_nViewState = kViewClosed;
}

void CChildFrame::closeEvent(QCloseEvent* event) {
    CloseEffect();
    QMdiSubWindow::closeEvent(event);
}

} // namespace zorvil
