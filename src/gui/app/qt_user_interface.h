// CQtUserInterface: the desktop's side of IUserInterface, with Qt's dialogs.
//
// Message boxes are QMessageBoxes with the given text, the caption (the program's title
// "Zorvil" when none is given) and the icon (an error box shows the stop icon). File dialogs are
// QFileDialogs built from the request: the filter "Name (.ext)|*.ext|All Files|*.*||" becomes
// Qt's filter list (QtFilterList), "<folder>/*.ext" opens in that folder, the default extension
// is appended to a name without one, save dialogs ask before replacing a file when the request
// says so, and a save dialog that refuses read-only targets says why and asks again when the
// chosen file (or the folder of a new one) cannot be written.
//
// The MIDI activity light is an atomic flag: the MIDI input's thread raises it, the main
// frame's timer takes it (TakeMidiActivity) and lights the status bar's icon; no widget is
// touched from the MIDI thread. Refresh requests for an effect's windows reach the windows on
// the user-interface thread, after the caller returned, as the signal
// effectWindowsRefreshRequested.
//
//     CQtUserInterface ui;
//     CZorvilApp app(clock, ui, &profile);
//     ui.SetDialogParent(&mainFrame);
//
// Threads: message boxes and dialogs are shown on the user-interface thread; a call from
// another thread (a plug-in's file selector on its own thread) waits there until the dialog
// closed. SignalMidiActivity and RefreshEffectWindows may be called from any thread.
#pragma once

#include "gui/app/ui_thread_queue.h"
#include "platform/user_interface.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <atomic>
#include <string_view>

namespace zorvil {

// "Name (.ext)|*.ext|All Files|*.*||" as Qt's name filters: one entry "Name (patterns)" per
// pair, patterns separated by spaces, "*.*" as "*" (every file, as on the desktop it came from).
QStringList QtFilterList(std::string_view filter);

class CQtUserInterface : public QObject, public IUserInterface {
    Q_OBJECT

public:
    // The caption of message boxes that name none.
    static constexpr const char* kProgramTitle = "Zorvil";
    static constexpr const char* kReadOnlyMessage =
        "%1\nThis file is read-only, or its folder cannot be written.\nChoose another name.";

    explicit CQtUserInterface(QObject* parent = nullptr);

    // The window the dialogs are centred on (the main frame); none: the active window.
    void SetDialogParent(QWidget* parent) { m_dialogParent = parent; }

    MessageResult MessageBox(std::string_view text, std::string_view caption,
                             MessageButtons buttons, MessageIcon icon) override;
    std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> BrowseFolder(std::string_view title,
                                            std::string_view initialPath) override;
    void RefreshEffectWindows(int slot) override;
    void SignalMidiActivity() noexcept override;

    // Whether MIDI arrived since the last call.
    bool TakeMidiActivity() noexcept;
    // The hand-over to the user-interface thread that this object's calls use; the program
    // wakes the main frame through it too. Lives as long as this object.
    CUiThreadQueue& UiThreadQueue() noexcept { return m_uiThread; }

signals:
    void effectWindowsRefreshRequested(int slot);

private:
    // Runs `call` on the user-interface thread and returns its result.
    template <class Call>
    auto OnUiThread(Call&& call);
    std::optional<std::string> FileDialog(const FileDialogRequest& request, bool save);
    QWidget* DialogParent() const;

    QPointer<QWidget> m_dialogParent;
    std::atomic<bool> m_bMidiActivity{false};
    CUiThreadQueue m_uiThread;
};

} // namespace zorvil
