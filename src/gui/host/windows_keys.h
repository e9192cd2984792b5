// Windows virtual-key numbers for Qt key events: the numbering the editor key table
// (host/editor_keys.h) is written against.
//
//     const int key = WindowsVirtualKey(event.key(), event.modifiers()); // Key_F1 -> 0x70
//
// Keypad keys are told apart by Qt's keypad modifier (Numpad 0 is 0x60, the digit 0 is 0x30).
// Keys Windows has no number for give 0.
#pragma once

#include <Qt>

namespace zorvil {

int WindowsVirtualKey(int qtKey, Qt::KeyboardModifiers modifiers) noexcept;

} // namespace zorvil
