#include "gui/host/program_dialogs.h"

namespace zorvil {

void BuildProgramsMenu(QMenu&, CChildFrame&) {}
void ShowProgramsPopup(CChildFrame&) {}
void RenamePreset(CEffectWnd&) {}
void EditMidiChannels(CChildFrame&) {}

} // namespace zorvil
