// The main window's "E&ffect" menu: the commands of the effect whose window is active (its
// editor, parameter or information window), and a "&Programs" submenu of its programs that is
// built again each time it opens.
//
//     AddEffectMenu(*menuBar(), commands, [this] { return ActiveEffectFrame(); });
//
// The items are the program's command actions: triggering one goes the way of every command,
// to the main frame, which hands it to the active effect's information window.
//
// Threads: the user-interface thread only.
#pragma once

#include <functional>

class QMenu;
class QMenuBar;

namespace zorvil {

class CChildFrame;
class CCommands;

QMenu* AddEffectMenu(QMenuBar& bar, CCommands& commands, std::function<CChildFrame*()> activeFrame);

} // namespace zorvil
