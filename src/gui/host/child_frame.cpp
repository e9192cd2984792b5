#include "gui/host/child_frame.h"

#include "gui/app/main_frame.h"
#include "gui/host/eff_edit_wnd.h"
#include "gui/host/effect_wnd.h"
#include "gui/host/info_list_box.h"

#include <QCloseEvent>

namespace zorvil {

CChildFrame::CChildFrame(CZorvilApp& app, CMainFrame& mainFrame)
    : m_app(app), m_mainFrame(mainFrame), m_pInfoList(new CInfoListBox(this)) {
    setWidget(m_pInfoList);
}

CChildFrame::~CChildFrame() = default;

void CChildFrame::AttachEffect(int slot) {
    m_nEffect = slot;
}

void CChildFrame::FillInfo() {}
void CChildFrame::SetBaseTitle(const QString& name) {
    m_strBaseTitle = name;
}
void CChildFrame::UpdateFrameTitle() {}
void CChildFrame::OnProgramChanged() {}
bool CChildFrame::HasEditor() {
    return false;
}
void CChildFrame::OpenEditor() {}
void CChildFrame::OpenParameters() {}
void CChildFrame::OnEditorClosed() {}
void CChildFrame::OnParametersClosed() {}
bool CChildFrame::OnEffectCommand(uint32_t) {
    return false;
}
CZorvilApp::CommandState CChildFrame::EffectCommandState(uint32_t) {
    return {};
}
void CChildFrame::CloseEffectViews() {}
void CChildFrame::ShowEffectWindows(bool) {}
void CChildFrame::OnEditorSizeRequested(int, int) {}
void CChildFrame::OnDisplayUpdateRequested() {}
void CChildFrame::OnParameterAutomated(int) {}
void CChildFrame::OnEffectChanged() {}
void CChildFrame::closeEvent(QCloseEvent* event) {
    QMdiSubWindow::closeEvent(event);
}

} // namespace zorvil
