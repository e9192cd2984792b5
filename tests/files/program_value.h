// Reads one parameter of one program of a loaded effect, leaving its current program as it was.
#pragma once

#include "host/seq_effect.h"

namespace zorvil::test {

inline float ProgramValue(CEffect& effect, int32_t program, int32_t parameter) {
    const auto current = effect.Dispatch(effGetProgram);
    effect.Dispatch(effSetProgram, 0, program);
    const float value = effect.GetParameter(parameter);
    effect.Dispatch(effSetProgram, 0, current);
    return value;
}

} // namespace zorvil::test
