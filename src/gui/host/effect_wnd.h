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
// Sizes are the sub-window's real ones: the frame around the editor is the sub-window's own
// frame margins (title bar and borders), so the editor always gets exactly its rectangle, and the
// window's largest size is the editor's (a Cascade or a drag never shows more than the editor).
//
// Keys: a key pressed in the window goes to the plug-in first (effEditKeyDown/Up with the
// Windows key numbers, see host/editor_keys.h); only a key the plug-in does not take gets the
// host's handling, the main frame's shortcuts (Space, Numpad 0, L) included.
//
// Threads: the user-interface thread only.
#pragma once

#include "host/vst2_interface.h"

#include <QMdiSubWindow>
#include <QRect>

#include <optional>

class QIcon;
class QKeyEvent;

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
    // Moves a newly opened window to where it shows whole, as far as the child area allows.
    void PlaceInView();
    void BuildSystemMenu();
    // The native widget the plug-in's editor opens into.
    QWidget* EditorParent() const noexcept { return m_pEditorParent; }
    // The outer window size and the client area of the last fit (the frame is what the window
    // may grow to).
    QRect FrameRect() const noexcept { return m_rcFrame; }
    QRect ClientRect() const noexcept { return m_rcClient; }

protected:
    virtual QWidget* CreateChildView() { return nullptr; }
    virtual QIcon WindowIcon() const;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

    CZorvilApp& m_app;
    CChildFrame& m_owner;
    QWidget* m_pEditorParent = nullptr;
    int m_nEffect = -1;

private:
    // Frame and client rectangle for an editor rectangle (null: ask the plug-in, or nothing for
    // a window with a child view); false when nothing could be computed.
    bool ComputeRects(const ERect* rect);
    // Sends a key to the plug-in; true when the plug-in took it.
    bool ForwardKey(const QKeyEvent& event, bool down);

    // The plug-in's own rectangle, null when it gives none.
    std::optional<ERect> PluginRect() const;

    QRect m_rcFrame;
    QRect m_rcClient;
    // The last size the plug-in asked for (audioMasterSizeWindow) and the rectangle it reported
    // at that moment: plug-ins that do not update their rectangle keep the size they asked for.
    struct SizeRequest {
        int width;
        int height;
        std::optional<ERect> reported;
    };
    std::optional<SizeRequest> m_sizeRequest;
    // The key press that was already offered to the plug-in as a shortcut override, and whether
    // the plug-in took it: the press itself then is not sent a second time.
    struct OfferedKey {
        int key;
        quint32 scanCode;
        bool taken;
    };
    std::optional<OfferedKey> m_offeredKey;
};

} // namespace zorvil
