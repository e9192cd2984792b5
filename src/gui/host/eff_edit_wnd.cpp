#include "gui/host/eff_edit_wnd.h"

#include "gui/host/child_frame.h"
#include "gui/host/param_dialog.h"

#include <QCloseEvent>
#include <QIcon>

namespace zorvil {

CEffEditWnd::CEffEditWnd(CZorvilApp& app, CChildFrame& owner) : CEffectWnd(app, owner) {}

CEffEditWnd::~CEffEditWnd() = default;

CEffEditWnd* CEffEditWnd::OpenParameterWindow(CChildFrame&) {
    return nullptr;
}

void CEffEditWnd::SetEffectIndex(int slot) {
    CEffectWnd::SetEffectIndex(slot);
}
void CEffEditWnd::RefreshDisplay() {}
bool CEffEditWnd::OnParameterChanged(int) {
    return true;
}
QWidget* CEffEditWnd::CreateChildView() {
    return nullptr;
}
QIcon CEffEditWnd::WindowIcon() const {
    return {};
}
void CEffEditWnd::closeEvent(QCloseEvent* event) {
    QMdiSubWindow::closeEvent(event);
}

} // namespace zorvil
