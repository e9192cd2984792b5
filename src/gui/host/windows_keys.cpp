#include "gui/host/windows_keys.h"

#include <array>
#include <utility>

namespace zorvil {

namespace {

// Keys outside the letter, digit and function-key runs.
constexpr std::array<std::pair<int, int>, 44> kKeys{{
    {Qt::Key_Backspace, 0x08},   {Qt::Key_Tab, 0x09},          {Qt::Key_Backtab, 0x09},
    {Qt::Key_Clear, 0x0C},       {Qt::Key_Return, 0x0D},       {Qt::Key_Enter, 0x0D},
    {Qt::Key_Shift, 0x10},       {Qt::Key_Control, 0x11},      {Qt::Key_Alt, 0x12},
    {Qt::Key_Pause, 0x13},       {Qt::Key_CapsLock, 0x14},     {Qt::Key_Escape, 0x1B},
    {Qt::Key_Space, 0x20},       {Qt::Key_PageUp, 0x21},       {Qt::Key_PageDown, 0x22},
    {Qt::Key_End, 0x23},         {Qt::Key_Home, 0x24},         {Qt::Key_Left, 0x25},
    {Qt::Key_Up, 0x26},          {Qt::Key_Right, 0x27},        {Qt::Key_Down, 0x28},
    {Qt::Key_Select, 0x29},      {Qt::Key_Print, 0x2A},        {Qt::Key_Execute, 0x2B},
    {Qt::Key_SysReq, 0x2C},      {Qt::Key_Insert, 0x2D},       {Qt::Key_Delete, 0x2E},
    {Qt::Key_Help, 0x2F},        {Qt::Key_NumLock, 0x90},      {Qt::Key_ScrollLock, 0x91},
    {Qt::Key_Semicolon, 0xBA},   {Qt::Key_Colon, 0xBA},        {Qt::Key_Equal, 0xBB},
    {Qt::Key_Plus, 0xBB},        {Qt::Key_Comma, 0xBC},        {Qt::Key_Less, 0xBC},
    {Qt::Key_Minus, 0xBD},       {Qt::Key_Underscore, 0xBD},   {Qt::Key_Period, 0xBE},
    {Qt::Key_Greater, 0xBE},     {Qt::Key_Slash, 0xBF},        {Qt::Key_Question, 0xBF},
    {Qt::Key_BracketLeft, 0xDB}, {Qt::Key_BracketRight, 0xDD},
}};

// The keypad's operators and point.
constexpr std::array<std::pair<int, int>, 7> kKeypadKeys{{
    {Qt::Key_Asterisk, 0x6A},
    {Qt::Key_Plus, 0x6B},
    {Qt::Key_Comma, 0x6C},
    {Qt::Key_Minus, 0x6D},
    {Qt::Key_Period, 0x6E},
    {Qt::Key_Slash, 0x6F},
    {Qt::Key_Enter, 0x0D},
}};

} // namespace

int WindowsVirtualKey(int qtKey, Qt::KeyboardModifiers modifiers) noexcept {
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return (keypad ? 0x60 : 0x30) + (qtKey - Qt::Key_0);
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return 0x41 + (qtKey - Qt::Key_A);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return 0x70 + (qtKey - Qt::Key_F1);
    if (keypad) {
        for (const auto& [key, windowsKey] : kKeypadKeys) {
            if (key == qtKey) return windowsKey;
        }
    }
    for (const auto& [key, windowsKey] : kKeys) {
        if (key == qtKey) return windowsKey;
    }
    return 0;
}

} // namespace zorvil
