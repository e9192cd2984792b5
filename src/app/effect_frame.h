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
};

} // namespace zorvil
