// An effect's programs as the windows offer them: the programs menu's model (submenus of 16,
// "Presets %d-%d", items "%d. %s" with the command 33000 + program, the current one checked),
// choosing a program, renaming the current one, and the MIDI channel mask as sixteen boxes.
//
// The menu asks the plug-in for each name by index (effGetProgramNameIndexed); a plug-in that
// does not answer is switched through its programs (effSetProgram, effGetProgramName) and set
// back to its current program afterwards, and an unnamed program it reaches that way is called
// "Program %d". Only the first kMaxMenuPrograms programs are listed: their commands are the
// routed range 33000 to 33999.
//
//     const ProgramMenu menu = BuildProgramMenu(*host.GetEffect(slot));
//     for (const ProgramMenu::Group& group : menu.groups) ...   // group.title, group.items
//     SelectProgram(*host.GetEffect(slot), 7);
//     RenameCurrentProgram(*host.GetEffect(slot), name);        // the first 64 bytes
//
// Threads: the user-interface thread (the calls go to the plug-in's dispatcher).
#pragma once

#include "app/command_ids.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zorvil {

class CEffect;

inline constexpr int kProgramsPerGroup = 16;
inline constexpr int kMaxMenuPrograms =
    static_cast<int>(command::kLastProgram - command::kFirstProgram + 1);
// The longest program name a rename stores.
inline constexpr std::size_t kMaxRenameLength = 64;

struct ProgramMenu {
    struct Item {
        uint32_t id = 0; // command::kFirstProgram + program
        std::string text;
    };
    struct Group {
        std::string title;
        std::vector<Item> items;
    };
    std::vector<Group> groups;
    uint32_t checkedId = 0; // the current program's command; 0: none listed
};

// The programs menu of `effect`; no groups for an effect with one program or none.
ProgramMenu BuildProgramMenu(CEffect& effect);

// Whether the effect has programs to choose from (more than one).
bool HasProgramChoice(CEffect& effect);

// Switches the effect to `program` (effSetProgram).
void SelectProgram(CEffect& effect, int program);

// The current program's name (at most 64 characters).
std::string CurrentProgramName(CEffect& effect);

// Sets the current program's name to the first 64 bytes of `name` (effSetProgramName), cut
// before a UTF-8 character that would not fit whole.
void RenameCurrentProgram(CEffect& effect, std::string_view name);

// The MIDI channels dialog's boxes: box n stands for channel n + 1, bit n of the mask.
using ChannelBoxes = std::array<bool, 16>;
ChannelBoxes ChannelBoxesFromMask(uint16_t mask) noexcept;
uint16_t ChannelMaskFromBoxes(const ChannelBoxes& boxes) noexcept;

} // namespace zorvil
