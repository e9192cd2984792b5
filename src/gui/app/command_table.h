// The command table: for every command of the program its menu text, its prompt with the tool
// tip after the line break (as the status bar and the toolbars show them) and its keys.
//
//     const CommandEntry* entry = FindCommand(command::kSave);
//     // entry->text "&Save", entry->prompt "Save the tsn project to file\nSave tsn project",
//     // entry->keys[0] "Ctrl+S"
//
// Keys are in QKeySequence's portable text ("Ctrl+N", "Space", "Num+0" for the keypad's 0).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace zorvil {

struct CommandEntry {
    uint32_t id = 0;
    std::string_view text;   // menu text with its mnemonic; empty when no menu offers it
    std::string_view prompt; // status bar prompt, then "\n" and the tool tip; empty: none
    std::array<std::string_view, 2> keys{};

    // The prompt's first line and the tool tip after it.
    std::string_view StatusPrompt() const noexcept;
    std::string_view ToolTip() const noexcept;
};

std::span<const CommandEntry> CommandTable() noexcept;
// The entry of a command, or null.
const CommandEntry* FindCommand(uint32_t id) noexcept;

} // namespace zorvil
