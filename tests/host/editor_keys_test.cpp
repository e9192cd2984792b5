// The editor key table: what a Windows virtual key with its modifiers sends to a plug-in editor.
#include "host/editor_keys.h"

#include <gtest/gtest.h>

namespace zorvil {
namespace {

struct KeyCase {
    int windowsKey;
    EditorModifiers modifiers;
    int32_t character;
    uint8_t virtualKey;
    uint8_t modifierBits;
};

TEST(EditorKeysTest, TranslatesKeysAsPlugInsExpectThem) {
    const KeyCase cases[] = {
        {0x41, {.shift = true}, 97, 0, 1},                     // Shift+A: lower-case letter
        {0x5A, {.control = true, .alt = true}, 122, 0, 8 | 2}, // Ctrl+Alt+Z
        {0x70, {}, 112, 40, 0},                                // F1
        {0x7B, {}, 123, 51, 0},                                // F12
        {0x0D, {}, 13, 4, 0},                                  // return
        {0x21, {}, 33, 15, 0},                                 // page up
        {0x28, {.shift = true}, 40, 14, 1},                    // Shift+down
        {0x2B, {}, 43, 19, 0},                                 // execute: the enter key
        {0x60, {}, 96, 24, 0},                                 // numpad 0
        {0x6F, {}, 111, 39, 0},                                // numpad divide
        {0x12, {.alt = true}, 18, 56, 2},                      // Alt itself
        {0x30, {}, 48, 0, 0},                                  // the digit 0: no code
        {0xBA, {}, 186, 0, 0},                                 // ';': no code
    };
    for (const KeyCase& c : cases) {
        const EditorKey key = TranslateEditorKey(c.windowsKey, c.modifiers);
        EXPECT_EQ(key.character, c.character) << "key " << c.windowsKey;
        EXPECT_EQ(key.virtualKey, c.virtualKey) << "key " << c.windowsKey;
        EXPECT_EQ(key.modifiers, c.modifierBits) << "key " << c.windowsKey;
    }
    // The interface's "next" (8) and "equals" (57) have no Windows key.
    for (int windowsKey = 0; windowsKey < 256; ++windowsKey) {
        const uint8_t code = PluginKeyCode(windowsKey);
        EXPECT_NE(code, 8) << windowsKey;
        EXPECT_NE(code, 57) << windowsKey;
    }
}

} // namespace
} // namespace zorvil
