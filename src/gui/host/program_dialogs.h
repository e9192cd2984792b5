// The small windows that act on one effect's programs and MIDI input: the programs menu
// (submenus of 16, "Presets %d-%d", "%d. %s", the current one checked), the rename dialog for
// the current program, the MIDI channels dialog.
//
// The menu's model (names by index or by switching, the groups, the check mark, the limit of
// 1000 programs) is the core's (app/effect_programs.h); here it becomes Qt menus whose items run
// the frame's command 33000 + program.
//
//     QMenu menu;
//     BuildProgramsMenu(menu, infoFrame);   // items run infoFrame.OnEffectCommand(33000 + n)
//     ShowProgramsPopup(infoFrame);         // the same, as a popup over the active child
//     RenamePreset(effectWindow);
//     EditMidiChannels(infoFrame);
//
// Threads: the user-interface thread only.
#pragma once

#include <QDialog>

#include <array>
#include <cstdint>

class QCheckBox;
class QLineEdit;
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

// "Rename preset": one line of text, OK and Cancel.
class CRenamePresetDialog : public QDialog {
    Q_OBJECT

public:
    CRenamePresetDialog(const QString& name, QWidget* parent);
    QString Name() const;
    QLineEdit* Edit() const noexcept { return m_pEdit; }

private:
    QLineEdit* m_pEdit;
};

// "MIDI Channels": sixteen boxes, bit n of the mask for channel n + 1, with "Set All",
// "Clear All", OK and Cancel. The mask is read from the boxes when OK closes the dialog.
class CMidiChannelsDialog : public QDialog {
    Q_OBJECT

public:
    CMidiChannelsDialog(uint16_t mask, QWidget* parent);
    uint16_t Mask() const noexcept { return m_wMask; }
    QCheckBox* Box(int channelIndex) const { return m_boxes.at(static_cast<size_t>(channelIndex)); }

    void accept() override;

private:
    void SetAll(bool checked);

    std::array<QCheckBox*, 16> m_boxes{};
    uint16_t m_wMask;
};

} // namespace zorvil
