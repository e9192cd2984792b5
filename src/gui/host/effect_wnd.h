// CEffectWnd: the window that holds a plug-in's own editor, inside the main frame's child area.
//
// The window embeds a native child widget whose X11 window id the plug-in gets as the parent of
// its editor (effEditOpen). It sizes itself to the editor's rectangle (FitToEditor), follows the
// plug-in when it asks for another size (ResizeClient), never grows past its editor (CheckSize
// and the clamp while the user drags a border), shows "name - Preset : program" as its title,
// offers the effect's preset and bank commands in its system menu, forwards the keys it receives
// to the plug-in, and unloads the effect when it is closed. CEffEditWnd derives from it for the
// parameter dialog.
//
//     CEffectWnd* window = CEffectWnd::OpenEditorWindow(infoFrame); // null: no editor
//     window->ResizeClient(400, 300);
//
// Threads: the user-interface thread only.
#pragma once

#include "host/vst2_interface.h"

#include <QMdiSubWindow>

class QIcon;

namespace zorvil {

class CChildFrame;
class CZorvilApp;

class CEffectWnd : public QMdiSubWindow {
    Q_OBJECT

public:
    CEffectWnd(CZorvilApp& app, CChildFrame& owner);
    ~CEffectWnd() override;

    // Opens the effect's editor window for the information window: asks the plug-in for its
    // editor rectangle, creates, shows and sizes the window, opens the editor into it and sets
    // the title. Null when the plug-in gives no rectangle (it has no editor). The caller records
    // the window as its editor window.
    static CEffectWnd* OpenEditorWindow(CChildFrame& owner);

    // Creates the window's content (the child view, for windows that have one); false when it
    // cannot be created.
    bool Create();
    virtual void SetEffectIndex(int slot);
    virtual bool HasChildView() const { return false; }
    // Title and contents show the effect's current state again.
    virtual void RefreshDisplay();
    // The plug-in reported a new value of parameter `index`; true when the window shows it.
    virtual bool OnParameterChanged(int index);

    int EffectIndex() const noexcept { return m_nEffect; }
    CChildFrame& Owner() const noexcept { return m_owner; }
    CZorvilApp& App() const noexcept { return m_app; }

    // Sizes the window to an editor rectangle; null: ask the plug-in.
    void FitToEditor(const ERect* rect);
    void ResizeClient(int width, int height);
    void CheckSize();
    void UpdateTitle();
    void BuildSystemMenu();
    // The native widget the plug-in's editor opens into.
    QWidget* EditorParent() const noexcept { return m_pEditorParent; }

protected:
    virtual QWidget* CreateChildView() { return nullptr; }
    virtual QIcon WindowIcon() const;
    void closeEvent(QCloseEvent* event) override;

    CZorvilApp& m_app;
    CChildFrame& m_owner;
    QWidget* m_pEditorParent = nullptr;
    int m_nEffect = -1;
};

} // namespace zorvil
