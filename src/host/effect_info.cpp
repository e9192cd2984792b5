#include "host/effect_info.h"

#include "host/effect_host.h"
#include "host/seq_effect.h"

#include <cstdio>

namespace zorvil {

namespace {

constexpr std::size_t kProductStringLength = 255; // the window's 256-byte buffer

struct FlagLine {
    int32_t bit;
    const char* text;
};

constexpr FlagLine kFlagLines[] = {
    {0x1, "  Has Editor"},
    {0x2, "  Has VU Clip"},
    {0x4, "  Returns VU values"},
    {0x8, "  Can process mono"},
    {0x10, "  Supports in place output"},
    {0x20, "  Program data are handled in formatless chunks"},
    {0x100, "  Is a synth"},
    {0x200, "  Does not produce sound when input is all silence"},
    {0x400, "  For external dsp; plug returns immediately from process()"},
    {0x800, "  For external dsp; has its own output buffer"},
};

constexpr const char* kCapabilities[] = {
    "sendVstEvents",
    "sendVstMidiEvent",
    "sendVstTimeInfo",
    "receiveVstEvents",
    "receiveVstMidiEvent",
    "receiveVstTimeInfo",
    "offline",
    "plugAsChannelInsert",
    "plugAsSend",
    "mixDryWet",
    "noRealTime",
    "multipass",
    "metapass",
    "1in1out",
    "1in2out",
    "2in1out",
    "2in2out",
    "2in4out",
    "4in2out",
    "4in4out",
    "4in8out",
    "8in4out",
    "8in8out",
    "midiProgramNames",
    "conformsToWindowRules",
    "bypass",
};

constexpr const char* kCategoryNames[] = {"Unknown",   "Effect",      "Synth",  "Analysis",
                                          "Mastering", "Spacializer", "RoomFx", "SurroundFx"};

std::string Hex8(int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
    return text;
}

} // namespace

std::string InfoFrameName(CEffectHost& host, int slot) {
    CEffect* effect = host.GetEffect(slot);
    if (effect == nullptr) return {};
    std::string name;
    if (effect->DispatchString(effGetProductString, 0, name, kProductStringLength) == 0) {
        const std::string& path = effect->GetPath();
        name = path.substr(path.rfind('/') + 1); // npos + 1 == 0: the whole path
    }
    return name;
}

std::string ProgramTitleSuffix(CEffectHost& host, int slot) {
    CEffect* effect = host.GetEffect(slot);
    if (effect == nullptr) return {};
    std::string program;
    effect->DispatchString(effGetProgramName, 0, program, kProductStringLength);
    const intptr_t number = effect->Dispatch(effGetProgram);
    return " Program " + std::to_string(static_cast<int>(number)) + ": " + program;
}

std::string UniqueIdText(int32_t uniqueId) {
    const auto id = static_cast<uint32_t>(uniqueId);
    std::string code;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((id >> shift) & 0xFF);
        code += c == '\0' ? ' ' : c;
    }
    return "'" + code + "' (" + Hex8(uniqueId) + "H)";
}

std::string PlugCategoryName(intptr_t category) {
    if (category >= 0 && category < static_cast<intptr_t>(std::size(kCategoryNames)))
        return kCategoryNames[category];
    return std::to_string(category);
}

std::vector<std::string> EffectInfoLines(CEffectHost& host, int slot) {
    std::vector<std::string> lines;
    CEffect* effect = host.GetEffect(slot);
    const AEffect* record = effect != nullptr ? effect->GetAEffect() : nullptr;
    if (record == nullptr) return lines;

    lines.push_back("Effect #" + std::to_string(slot) + ": " + effect->GetPath());
    std::string product;
    if (effect->DispatchString(effGetProductString, 0, product, kProductStringLength) != 0)
        lines.push_back(product);
    lines.emplace_back();
    lines.push_back(std::to_string(record->numPrograms) + " programs");
    lines.push_back(std::to_string(record->numParams) + " parameters");
    lines.push_back(std::to_string(record->numInputs) + " inputs");
    lines.push_back(std::to_string(record->numOutputs) + " outputs");
    lines.push_back("Flags: " + Hex8(record->flags) + "H");
    for (const FlagLine& flag : kFlagLines)
        if ((record->flags & flag.bit) != 0) lines.emplace_back(flag.text);
    if (record->initialDelay != 0)
        lines.push_back("Initial Delay: " + std::to_string(record->initialDelay));
    lines.push_back("Unique ID: " + UniqueIdText(record->uniqueID));
    lines.push_back("Version " + std::to_string(record->version));

    const intptr_t categories = effect->Dispatch(effGetNumProgramCategories);
    if (categories >= 1) {
        lines.push_back(std::to_string(categories) + " program categories");
        lines.push_back("Main Program category: " +
                        PlugCategoryName(effect->Dispatch(effGetPlugCategory)));
    }

    bool anyCapability = false;
    for (const char* capability : kCapabilities) {
        if (!effect->CanDo(capability)) continue;
        if (!anyCapability) lines.emplace_back("PlugIn can do:");
        anyCapability = true;
        lines.push_back(std::string("  ") + capability);
    }

    if (const auto* seqEffect = dynamic_cast<const CSeqEffect*>(effect);
        seqEffect != nullptr && !seqEffect->m_strBankFile.empty()) {
        lines.emplace_back();
        lines.push_back("Loaded file: " + seqEffect->m_strBankFile);
    }
    return lines;
}

} // namespace zorvil
