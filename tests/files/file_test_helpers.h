// Small helpers of the file tests: a program's parameter, and the texts the user was shown.
#pragma once

#include "host/seq_effect.h"
#include "support/scripted_user_interface.h"

namespace zorvil::test {

// Reads one parameter of one program of a loaded effect, leaving its current program as it was.
inline float ProgramValue(CEffect& effect, int32_t program, int32_t parameter) {
    const auto current = effect.Dispatch(effGetProgram);
    effect.Dispatch(effSetProgram, 0, program);
    const float value = effect.GetParameter(parameter);
    effect.Dispatch(effSetProgram, 0, current);
    return value;
}

inline std::vector<std::string> MessageTexts(const ScriptedUserInterface& ui) {
    std::vector<std::string> texts;
    for (const auto& message : ui.MessageBoxes())
        texts.push_back(message.text);
    return texts;
}

} // namespace zorvil::test
