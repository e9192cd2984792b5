// CEffEditWnd: the parameter window, an effect window whose content is the parameter dialog
// (CParamDialog) instead of the plug-in's own editor.
//
//     CEffEditWnd* window = CEffEditWnd::OpenParameterWindow(infoFrame);
//     window->OnParameterChanged(3);   // the plug-in automated parameter 3
//
// Threads: the user-interface thread only.
#pragma once

#include "gui/host/effect_wnd.h"

namespace zorvil {

class CParamDialog;

class CEffEditWnd : public CEffectWnd {
    Q_OBJECT

public:
    CEffEditWnd(CZorvilApp& app, CChildFrame& owner);
    ~CEffEditWnd() override;

    // Opens the parameter window for the information window: creates and shows it, fills the
    // dialog for the effect and sizes the window to the dialog, builds the system menu, sets the
    // title. Null when the window cannot be created. The caller records the window.
    static CEffEditWnd* OpenParameterWindow(CChildFrame& owner);

    void SetEffectIndex(int slot) override;
    bool HasChildView() const override { return true; }
    void RefreshDisplay() override;
    bool OnParameterChanged(int index) override;
    CParamDialog* Dialog() const noexcept { return m_pDialog; }

protected:
    QWidget* CreateChildView() override;
    QIcon WindowIcon() const override;
    void closeEvent(QCloseEvent* event) override;

private:
    CParamDialog* m_pDialog = nullptr;
};

} // namespace zorvil
