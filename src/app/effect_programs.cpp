#include "app/effect_programs.h"

#include "host/effect.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace zorvil {

namespace {

constexpr std::size_t kProgramNameLength = 255; // the menu's 256-byte name buffer

std::string Format(const char* format, int number, std::string_view text = {}) {
    char buffer[320];
    std::snprintf(buffer, sizeof buffer, format, number, std::string(text).c_str());
    return buffer;
}

int ProgramCount(CEffect& effect) {
    const AEffect* record = effect.GetAEffect();
    return record != nullptr ? record->numPrograms : 0;
}

} // namespace

bool HasProgramChoice(CEffect& effect) {
    return ProgramCount(effect) > 1;
}

ProgramMenu BuildProgramMenu(CEffect& effect) {
    ProgramMenu menu;
    if (!HasProgramChoice(effect)) return menu;
    const int listed = std::min(ProgramCount(effect), kMaxMenuPrograms);
    const auto current = static_cast<int>(effect.Dispatch(effGetProgram));
    const intptr_t category = effect.HasFlag(effFlagsIsSynth) ? 2 : 0;
    bool switched = false;
    for (int start = 0; start < listed; start += kProgramsPerGroup) {
        ProgramMenu::Group& group = menu.groups.emplace_back();
        const int last = std::min(start + kProgramsPerGroup, listed) - 1;
        for (int program = start; program <= last; ++program) {
            char buffer[kVstStringBufferSize] = {};
            std::string name;
            if (effect.Dispatch(effGetProgramNameIndexed, program, category, buffer) != 0) {
                name.assign(buffer, strnlen(buffer, kProgramNameLength));
            } else {
                effect.Dispatch(effSetProgram, 0, program);
                effect.DispatchString(effGetProgramName, 0, name, kProgramNameLength);
                switched = true;
                if (name.empty()) name = Format("Program %d", program);
            }
            group.items.push_back({command::kFirstProgram + static_cast<uint32_t>(program),
                                   Format("%d. %s", program, name)});
        }
        group.title = "Presets " + std::to_string(start) + "-" + std::to_string(last);
    }
    if (switched) effect.Dispatch(effSetProgram, 0, current);
    if (current >= 0 && current < listed)
        menu.checkedId = command::kFirstProgram + static_cast<uint32_t>(current);
    return menu;
}

void SelectProgram(CEffect& effect, int program) {
    effect.Dispatch(effSetProgram, 0, program);
}

std::string CurrentProgramName(CEffect& effect) {
    std::string name;
    effect.DispatchString(effGetProgramName, 0, name, kMaxRenameLength);
    return name;
}

void RenameCurrentProgram(CEffect& effect, std::string_view name) {
    std::size_t length = std::min(name.size(), kMaxRenameLength);
    // Never half a character: a cut inside a UTF-8 sequence drops the whole sequence.
    if (length < name.size())
        while (length > 0 && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80)
            --length;
    char buffer[kMaxRenameLength + 1] = {};
    name.copy(buffer, length);
    effect.Dispatch(effSetProgramName, 0, 0, buffer);
}

ChannelBoxes ChannelBoxesFromMask(uint16_t mask) noexcept {
    ChannelBoxes boxes{};
    for (std::size_t n = 0; n < boxes.size(); ++n)
        boxes[n] = (mask & (1u << n)) != 0;
    return boxes;
}

uint16_t ChannelMaskFromBoxes(const ChannelBoxes& boxes) noexcept {
    unsigned mask = 0;
    for (std::size_t n = 0; n < boxes.size(); ++n)
        if (boxes[n]) mask |= 1u << n;
    return static_cast<uint16_t>(mask);
}

} // namespace zorvil
