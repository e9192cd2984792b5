// CCommands: one QAction per command of the command table, carrying the command's number.
//
// Each action has the menu text, the prompt as its status tip (the status bar's message pane
// shows it while the pointer is on a menu item or toolbar button), the tool tip after the
// prompt's line break, and the command's keys. Actions with keys are added to the main window,
// so their keys work wherever the focus is inside it (a disabled action's keys do nothing).
// Triggering any action emits `triggered` with its number; the main frame routes it.
//
//     CCommands commands(mainWindow);
//     fileMenu->addAction(commands.Action(command::kNew));
//     connect(&commands, &CCommands::triggered, frame, &CMainFrame::OnCommand);
//
// Threads: the user-interface thread.
#pragma once

#include <QAction>
#include <QObject>

#include <cstdint>
#include <vector>

class QWidget;

namespace zorvil {

class CCommands : public QObject {
    Q_OBJECT

public:
    explicit CCommands(QWidget* window);

    // The command's action; null for a number the table does not have.
    QAction* Action(uint32_t id) const;
    const std::vector<QAction*>& Actions() const noexcept { return m_actions; }
    // The number an action of this set carries (0 for any other action).
    static uint32_t IdOf(const QAction* action);

signals:
    void triggered(uint32_t id);

private:
    std::vector<QAction*> m_actions;
};

} // namespace zorvil
