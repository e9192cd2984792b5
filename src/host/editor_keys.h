// Editor keys: how a key the host's editor window receives reaches the plug-in's editor.
//
// The window first names the key by its Windows virtual-key number (the numbering plug-ins and
// their key tables were written against); this table then gives the three values that go with
// effEditKeyDown / effEditKeyUp: the character as the index (a letter key gives its lower-case
// letter, every other key its own virtual-key number), the plug-in interface's key code as the
// value (0 for keys without one) and the modifier bits as the option (1 Shift, 8 Control, 2 Alt).
//
//     const EditorKey key = TranslateEditorKey(0x41, {.shift = true});   // Shift+A
//     effect.Dispatch(effEditKeyDown, key.character, key.virtualKey, nullptr, key.modifiers);
//     // key.character == 97, key.virtualKey == 0, key.modifiers == 1.0f
//
// Threads: none kept; pure functions.
#pragma once

#include <cstdint>

namespace zorvil {

struct EditorModifiers {
    bool shift = false;
    bool control = false;
    bool alt = false;
};

struct EditorKey {
    int32_t character = 0;  // goes as the dispatcher's index
    uint8_t virtualKey = 0; // the plug-in's key code, the dispatcher's value; 0: none
    uint8_t modifiers = 0;  // bits, the dispatcher's option as a float
};

// Windows virtual-key numbers that the host keeps for itself when the plug-in leaves them.
inline constexpr int kWindowsKeySpace = 0x20;
inline constexpr int kWindowsKeyNumpad0 = 0x60;
inline constexpr int kWindowsKeyL = 0x4C;

// The plug-in interface's key code for a Windows virtual key, 0 when it has none.
uint8_t PluginKeyCode(int windowsKey) noexcept;

EditorKey TranslateEditorKey(int windowsKey, EditorModifiers modifiers) noexcept;

} // namespace zorvil
