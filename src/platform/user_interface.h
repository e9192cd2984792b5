// IUserInterface: everything the core asks of the user interface, in one small interface.
//
// It lives with the platform stand-ins because it is the desktop's part of the system (message
// boxes, file and folder dialogs) that the host, the files and the sequencer may call from
// below the application object. The core (host, engine, devices, files) never touches a window.
// Where it must show a message box, ask for a file or a folder, refresh an effect's windows or
// flash the MIDI activity light, it calls the IUserInterface it was given. The Qt shell implements
// it with real dialogs, zorvil-cli prints message boxes on stderr and answers them as OK, and tests
// use a scripted double that records what was asked and answers as the test says.
//
//     ui.MessageBox("Bank could not be loaded", "", MessageButtons::Ok, MessageIcon::Error);
//     if (auto path = ui.OpenFileDialog({.title = "Load Bank", .filter = "Bank Files
//     (*.fxb)|*.fxb||"}))
//         Load(*path);
//
// Threads: every operation but SetMidiActivity is called on the user-interface thread (or the
// thread a plug-in calls back from, for file selectors). SetMidiActivity is called from the
// MIDI driver's thread and must return at once, never waiting for the user interface.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zorvil {

enum class MessageIcon { None, Information, Warning, Error, Question };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageResult { Ok, Cancel, Yes, No };

struct FileDialogRequest {
    std::string title;            // empty: the dialog's own default title
    std::string initialPath;      // a file name, a folder followed by "/*.ext", or empty
    std::string filter;           // "Name (*.ext)|*.ext|...||" as in the menus, or empty for none
    std::string defaultExtension; // without the dot, or empty
    bool overwritePrompt = false; // save dialogs: ask before replacing a file
    bool refuseReadOnly = false;  // save dialogs: refuse a target the user may not write
};

class IUserInterface {
public:
    virtual ~IUserInterface() = default;

    // A modal message box. An empty caption stands for the application title.
    virtual MessageResult MessageBox(std::string_view text, std::string_view caption,
                                     MessageButtons buttons, MessageIcon icon) = 0;

    // File and folder dialogs: the chosen path, or nothing when the user cancelled.
    virtual std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> BrowseFolder(std::string_view title,
                                                    std::string_view initialPath) = 0;

    // The effect in this slot changed (a bank was loaded, a program chosen): its information,
    // editor and parameter windows show the new state.
    virtual void RefreshEffectWindows(int slot) = 0;

    // A MIDI message arrived. Called on the MIDI driver's thread; must not block.
    virtual void SignalMidiActivity() noexcept = 0;
};

} // namespace zorvil
