// The small windows that act on one effect's programs and MIDI input: the programs menu
// (submenus of 16, "Presets %d-%d", "%d. %s", the current one checked), the rename dialog for
// the current program, the MIDI channels dialog.
//
//     QMenu menu;
//     BuildProgramsMenu(menu, infoFrame);   // items run infoFrame.OnEffectCommand(33000 + n)
//     ShowProgramsPopup(infoFrame);         // the same, as a popup over the active child
//     RenamePreset(effectWindow);
//     EditMidiChannels(infoFrame);
//
// Threads: the user-interface thread only.
#pragma once

class QMenu;

namespace zorvil {

class CChildFrame;
class CEffectWnd;

// Replaces the program submenus of `menu` (items from position 2 on) with the effect's programs.
void BuildProgramsMenu(QMenu& menu, CChildFrame& frame);
// The programs popup over the active child window (command 32787 and "Presets...").
void ShowProgramsPopup(CChildFrame& frame);
// The rename dialog for the current program of the window's effect (command 32772).
void RenamePreset(CEffectWnd& window);
// The MIDI channels dialog for the frame's effect (command 32791).
void EditMidiChannels(CChildFrame& frame);

} // namespace zorvil
