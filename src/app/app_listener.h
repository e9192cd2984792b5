// IAppListener: what the application object tells the windows that show its state.
//
// The shell subscribes its main frame (CZorvilApp::AddListener) and follows the core: an effect
// put into a slot or about to leave it (the effect buttons, the effect's windows), the pattern's
// tempo, measures and steps per measure set from outside the tempo bar (New, Open, the command
// line), the window title. Every operation has an empty default, so a listener overrides only
// what it shows.
//
//     class CMainFrame : public QMainWindow, public IAppListener {
//         void OnTitleChanged(const std::string& title) override { setWindowTitle(...); }
//     };
//     app.AddListener(&frame);
//     ...
//     app.RemoveListener(&frame);
//
// Threads: listeners are told on the user-interface thread only, and are added and removed
// there. What other threads report (the end of a render, a posted command) reaches the shell
// through CZorvilApp::SetUiWaker instead, which may be called from any thread.
#pragma once

#include <string>

namespace zorvil {

class IAppListener {
public:
    virtual ~IAppListener() = default;

    // A plug-in was loaded into `slot`; its slot record holds its library path already.
    virtual void OnEffectLoaded(int /*slot*/) {}
    // The plug-in in `slot` is about to be removed: windows that show it let go of it now.
    virtual void OnEffectRemoving(int /*slot*/) {}
    // Tempo, measures or steps per measure were set from outside the tempo bar (New, Open, the
    // command line): the tempo bar and the view show the pattern's values again.
    virtual void OnPatternValuesChanged() {}
    // The main window's title ("Zorvil by Ostrelworks", then " - " and the project path).
    virtual void OnTitleChanged(const std::string& /*title*/) {}
};

} // namespace zorvil
