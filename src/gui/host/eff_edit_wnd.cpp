#include "gui/host/eff_edit_wnd.h"

#include "gui/app/images.h"
#include "gui/app/main_frame.h"
#include "gui/host/child_frame.h"
#include "gui/host/param_dialog.h"

#include <QCloseEvent>
#include <QIcon>
#include <QMdiArea>

namespace zorvil {

CEffEditWnd::CEffEditWnd(CZorvilApp& app, CChildFrame& owner) : CEffectWnd(app, owner) {}

CEffEditWnd::~CEffEditWnd() = default;

CEffEditWnd* CEffEditWnd::OpenParameterWindow(CChildFrame& owner) {
    auto* window = new CEffEditWnd(owner.App(), owner);
    if (!window->Create()) { // Create makes the dialog the window's content
        delete window;
        return nullptr;
    }
    owner.MainFrame().MdiArea()->addSubWindow(window);
    window->showNormal();
    window->SetEffectIndex(owner.EffectIndex());
    window->BuildSystemMenu();
    window->PlaceInView();
    window->UpdateTitle();
    return window;
}

void CEffEditWnd::SetEffectIndex(int slot) {
    CEffectWnd::SetEffectIndex(slot);
    if (m_pDialog == nullptr) return;
    m_pDialog->FillParameters(slot);
    // The client area takes exactly the dialog's size: the window adds its own frame.
    resize(m_pDialog->sizeHint().grownBy(contentsMargins()));
}

void CEffEditWnd::RefreshDisplay() {
    UpdateTitle();
    if (m_pDialog != nullptr) m_pDialog->ShowSelectedParameter();
}

bool CEffEditWnd::OnParameterChanged(int index) {
    if (m_pDialog != nullptr) m_pDialog->OnParameterChanged(index);
    return true;
}

QWidget* CEffEditWnd::CreateChildView() {
    if (m_pDialog == nullptr) m_pDialog = new CParamDialog(m_app, this);
    return m_pDialog;
}

QIcon CEffEditWnd::WindowIcon() const {
    return images::ParameterWindowIcon();
}

void CEffEditWnd::closeEvent(QCloseEvent* event) {
    // The owner forgets this window and closes the effect, which unloads it.
    Owner().OnParametersClosed();
    QMdiSubWindow::closeEvent(event);
}

} // namespace zorvil
