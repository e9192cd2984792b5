// IEffectFrame: an effect's owner on the user-interface side (its information window), as the
// application's slot records know it.
//
// The windows create one for each loaded effect when the application tells them the effect was
// loaded, and attach it to the slot (CZorvilApp::AttachEffectFrame). The application reaches the
// effect's windows only through it, by slot: New closes them, the effect buttons show or hide
// them.
//
//     void OnEffectLoaded(int slot) override {
//         auto* frame = new CChildFrame(app, slot, mdiArea);
//         app.AttachEffectFrame(slot, frame);
//     }
//
// What a plug-in reports about its windows (a new editor size, a display update, an automated
// parameter) may come from any thread; it reaches the frame of its slot on the user-interface
// thread through the notifications below, so no thread ever follows a pointer to a window.
//
// Threads: the user-interface thread only.
#pragma once

namespace zorvil {

class IEffectFrame {
public:
    virtual ~IEffectFrame() = default;

    // Closes the effect's editor or parameter window; closing them closes the effect, which
    // unloads it (CZorvilApp::UnloadEffect).
    virtual void CloseEffectViews() = 0;
    // Shows and activates (true) or hides (false) the effect's windows; the effect's button
    // follows (state 2 shown, 1 hidden).
    virtual void ShowEffectWindows(bool show) = 0;

    // Notifications, delivered on the user-interface thread.
    // The plug-in asked for an editor of width x height pixels.
    virtual void OnEditorSizeRequested(int /*width*/, int /*height*/) {}
    // The plug-in asked the host to update its display.
    virtual void OnDisplayUpdateRequested() {}
    // The plug-in changed (automated) parameter `index` itself.
    virtual void OnParameterAutomated(int /*index*/) {}
    // The effect's state changed as a whole (a bank was loaded, a program chosen).
    virtual void OnEffectChanged() {}
};

} // namespace zorvil
