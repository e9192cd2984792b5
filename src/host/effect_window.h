// IEffectWindow: what the core asks of an effect's editor window or parameter window.
//
// An effect wrapper (CSeqEffect) links to at most one editor window (m_pEditWnd) and one
// parameter window (m_pParamWnd). The Qt windows implement this interface and set the links
// when they open and clear them when they close; the core calls only these three operations:
//
//     if (effect.m_pEditWnd) effect.m_pEditWnd->OnSizeEditor(width, height); // plug-in resized
//     if (effect.m_pParamWnd) effect.m_pParamWnd->OnParameterChanged(index); // automation
//
// Threads: the links are set and cleared on the user-interface thread. The calls come from
// whatever thread the plug-in calls the host from (usually the user-interface thread for editor
// sizes and display updates, possibly the engine thread for automation), so an implementation
// that touches widgets must hand the work over to its own thread and return at once.
#pragma once

namespace zorvil {

class IEffectWindow {
public:
    virtual ~IEffectWindow() = default;

    // The plug-in asked for a new editor size (client area, in pixels).
    virtual void OnSizeEditor(int width, int height) = 0;

    // The plug-in's state changed as a whole (program, bank, display): show it again.
    virtual void RefreshDisplay() = 0;

    // One parameter changed its value (the plug-in automated it).
    virtual void OnParameterChanged(int index) = 0;
};

} // namespace zorvil
