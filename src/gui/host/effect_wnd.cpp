#include "gui/host/effect_wnd.h"

#include "gui/host/child_frame.h"

#include <QCloseEvent>
#include <QIcon>

namespace zorvil {

CEffectWnd::CEffectWnd(CZorvilApp& app, CChildFrame& owner) : m_app(app), m_owner(owner) {}

CEffectWnd::~CEffectWnd() = default;

CEffectWnd* CEffectWnd::OpenEditorWindow(CChildFrame&) {
    return nullptr;
}

bool CEffectWnd::Create() {
    return true;
}
void CEffectWnd::SetEffectIndex(int slot) {
    m_nEffect = slot;
}
void CEffectWnd::RefreshDisplay() {}
bool CEffectWnd::OnParameterChanged(int) {
    return false;
}
void CEffectWnd::FitToEditor(const ERect*) {}
void CEffectWnd::ResizeClient(int, int) {}
void CEffectWnd::CheckSize() {}
void CEffectWnd::UpdateTitle() {}
void CEffectWnd::BuildSystemMenu() {}
QIcon CEffectWnd::WindowIcon() const {
    return {};
}
void CEffectWnd::closeEvent(QCloseEvent* event) {
    QMdiSubWindow::closeEvent(event);
}

} // namespace zorvil
