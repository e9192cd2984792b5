#include "host/editor_keys.h"

#include <array>
#include <utility>

namespace zorvil {

namespace {

constexpr int kLetterA = 0x41;
constexpr int kLetterZ = 0x5A;
constexpr int kLowerCaseOffset = 32;

constexpr uint8_t kModifierShift = 1;
constexpr uint8_t kModifierAlternate = 2;
constexpr uint8_t kModifierControl = 8;

// Windows virtual key -> plug-in key code, for the keys outside the runs handled below.
constexpr std::array<std::pair<int, uint8_t>, 27> kSingleKeys{{
    {0x08, 1},  // back
    {0x09, 2},  // tab
    {0x0C, 3},  // clear
    {0x0D, 4},  // return
    {0x13, 5},  // pause
    {0x1B, 6},  // escape
    {0x20, 7},  // space
    {0x23, 9},  // end
    {0x24, 10}, // home
    {0x25, 11}, // left
    {0x26, 12}, // up
    {0x27, 13}, // right
    {0x28, 14}, // down
    {0x21, 15}, // page up (prior)
    {0x22, 16}, // page down (next)
    {0x29, 17}, // select
    {0x2A, 18}, // print
    {0x2B, 19}, // execute: the plug-in's enter
    {0x2C, 20}, // snapshot
    {0x2D, 21}, // insert
    {0x2E, 22}, // delete
    {0x2F, 23}, // help
    {0x90, 52}, // num lock
    {0x91, 53}, // scroll lock
    {0x10, 54}, // shift
    {0x11, 55}, // control
    {0x12, 56}, // menu (Alt)
}};

// Runs of consecutive keys: numeric pad 0-9 and its operators, F1-F12.
struct KeyRun {
    int first;
    int last;
    uint8_t firstCode;
};
constexpr std::array<KeyRun, 2> kKeyRuns{{
    {0x60, 0x6F, 24}, // numpad 0-9, multiply, add, separator, subtract, decimal, divide
    {0x70, 0x7B, 40}, // F1-F12
}};

} // namespace

uint8_t PluginKeyCode(int windowsKey) noexcept {
    for (const auto& [key, code] : kSingleKeys) {
        if (key == windowsKey) return code;
    }
    for (const KeyRun& run : kKeyRuns) {
        if (windowsKey >= run.first && windowsKey <= run.last)
            return static_cast<uint8_t>(run.firstCode + (windowsKey - run.first));
    }
    return 0;
}

EditorKey TranslateEditorKey(int windowsKey, EditorModifiers modifiers) noexcept {
    EditorKey key;
    key.character = windowsKey >= kLetterA && windowsKey <= kLetterZ ? windowsKey + kLowerCaseOffset
                                                                     : windowsKey;
    key.virtualKey = PluginKeyCode(windowsKey);
    key.modifiers = static_cast<uint8_t>((modifiers.shift ? kModifierShift : 0) |
                                         (modifiers.control ? kModifierControl : 0) |
                                         (modifiers.alt ? kModifierAlternate : 0));
    return key;
}

} // namespace zorvil
