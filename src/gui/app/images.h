// The program's own images, drawn in code: nothing is loaded from files, nothing is copied.
//
// Small images are drawn pixel by pixel in a 16-colour palette, as toolbar art is: the toolbar
// buttons (16 x 15), the effect buttons (14 x 14: the slot's digit grey on grey while its
// windows are hidden, dark green on bright green while they are shown; the load button is a
// small synthesizer keyboard), the MIDI activity light (16 x 16, dark and lit) and the window
// icons (32 x 32 and 16 x 16). The background behind the child windows is a 400 x 400 tile of
// acoustic panels in true colour, drawn once and tiled by the main frame.
//
//     button->setIcon(QIcon(images::ToolbarButton(command::kPlay)));
//     mdiArea->setBackground(QBrush(images::Background()));
//
// Threads: the user-interface thread (QPixmap).
#pragma once

#include <QIcon>
#include <QPixmap>

#include <cstdint>

namespace zorvil::images {

inline constexpr int kToolbarButtonWidth = 16;
inline constexpr int kToolbarButtonHeight = 15;
inline constexpr int kEffectButtonSize = 14;
inline constexpr int kBackgroundSize = 400;

// The button of a toolbar command (New, Open, Save, Render To Wave, Play, Pause, Go To Start);
// a null pixmap for any other command.
QPixmap ToolbarButton(uint32_t command);

// An effect slot's button (slot 0 to 3): hidden look or shown look.
QPixmap EffectButton(int slot, bool shown);
// The load button: a small synthesizer keyboard.
QPixmap LoadButton();

// The MIDI activity light: dark, or lit while MIDI arrives.
QPixmap MidiLight(bool lit);

// Window icons, each with a 32 x 32 and a 16 x 16 image: the program, an effect's editor window,
// an effect's information window and an effect's parameter window.
QIcon ProgramIcon();
QIcon EditorWindowIcon();
QIcon InformationWindowIcon();
QIcon ParameterWindowIcon();

// The tile behind the child windows.
QPixmap Background();

} // namespace zorvil::images
