#include "common/plugin_base.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace zorvil::plugins {

namespace {

constexpr int32_t kVstVersion = 2400;

// Reads a C string from the host, never further than `limit` characters.
std::string_view HostText(const void* ptr, std::size_t limit) noexcept {
    if (ptr == nullptr) return {};
    const auto* text = static_cast<const char*>(ptr);
    return {text, strnlen(text, limit)};
}

} // namespace

bool CopyText(void* destination, std::string_view text, std::size_t maxChars) noexcept {
    if (destination == nullptr) return false;
    const std::size_t length = std::min(text.size(), maxChars);
    auto* out = static_cast<char*>(destination);
    std::memcpy(out, text.data(), length);
    out[length] = '\0';
    return true;
}

PluginBase::PluginBase(audioMasterCallback host, const PluginDescription& description)
    : m_host(host), m_description(description),
      m_programCount(std::max<int32_t>(1, static_cast<int32_t>(description.programs.size()))),
      m_parameterCount(static_cast<int32_t>(description.parameters.size())),
      m_values(static_cast<std::size_t>(m_programCount) * description.parameters.size()),
      m_programNames(static_cast<std::size_t>(m_programCount)) {
    for (int32_t program = 0; program < static_cast<int32_t>(description.programs.size());
         ++program) {
        const ProgramPreset& preset = description.programs[static_cast<std::size_t>(program)];
        SetProgramName(program, preset.name);
        const auto count =
            std::min<std::size_t>(preset.values.size(), description.parameters.size());
        for (std::size_t index = 0; index < count; ++index) {
            SetProgramValue(program, static_cast<int32_t>(index), preset.values[index]);
        }
    }
    if ((description.flags & effFlagsHasEditor) != 0) m_editorRect = description.editorRect;

    m_effect.magic = kEffectMagic;
    m_effect.dispatcher = &DispatcherProc;
    m_effect.process = &ProcessProc;
    m_effect.processReplacing = &ProcessReplacingProc;
    m_effect.setParameter = &SetParameterProc;
    m_effect.getParameter = &GetParameterProc;
    m_effect.numPrograms = static_cast<int32_t>(description.programs.size());
    m_effect.numParams = m_parameterCount;
    m_effect.numInputs = description.numInputs;
    m_effect.numOutputs = description.numOutputs;
    m_effect.flags = description.flags;
    m_effect.ioRatio = 1.0f;
    m_effect.object = this;
    m_effect.uniqueID = description.uniqueId;
    m_effect.version = description.version;
}

PluginBase::~PluginBase() = default;

PluginBase* PluginBase::FromEffect(AEffect* effect) noexcept {
    if (effect == nullptr || effect->magic != kEffectMagic || effect->dispatcher != &DispatcherProc)
        return nullptr;
    return static_cast<PluginBase*>(effect->object);
}

intptr_t PluginBase::CallHost(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    return m_host != nullptr ? m_host(&m_effect, opcode, index, value, ptr, opt) : 0;
}

void PluginBase::SelectProgram(int32_t program) noexcept {
    if (ValidProgram(program)) m_program.store(program, std::memory_order_relaxed);
}

float PluginBase::Parameter(int32_t index) const noexcept {
    return ProgramValue(CurrentProgram(), index);
}

void PluginBase::SetParameter(int32_t index, float value) noexcept {
    SetProgramValue(CurrentProgram(), index, value);
}

float PluginBase::ProgramValue(int32_t program, int32_t index) const noexcept {
    if (!ValidProgram(program) || !ValidParameter(index)) return 0.0f;
    return m_values[static_cast<std::size_t>(program * m_parameterCount + index)].load(
        std::memory_order_relaxed);
}

void PluginBase::SetProgramValue(int32_t program, int32_t index, float value) noexcept {
    if (!ValidProgram(program) || !ValidParameter(index)) return;
    // NaN fails both comparisons and lands on 0.
    const float clamped = value >= 0.0f ? std::min(value, 1.0f) : 0.0f;
    m_values[static_cast<std::size_t>(program * m_parameterCount + index)].store(
        clamped, std::memory_order_relaxed);
}

std::string_view PluginBase::ProgramName(int32_t program) const noexcept {
    if (!ValidProgram(program)) return {};
    return m_programNames[static_cast<std::size_t>(program)].data();
}

void PluginBase::SetProgramName(int32_t program, std::string_view name) noexcept {
    if (!ValidProgram(program)) return;
    CopyText(m_programNames[static_cast<std::size_t>(program)].data(), name, kVstMaxProgNameLen);
}

void PluginBase::FormatParameter(int32_t /*index*/, float value,
                                 std::span<char> text) const noexcept {
    std::snprintf(text.data(), text.size(), "%.3f", static_cast<double>(value));
}

intptr_t PluginBase::AnswerParameterText(int32_t opcode, int32_t index, void* ptr) const noexcept {
    if (!ValidParameter(index)) return 0;
    const ParameterInfo& info = m_description.parameters[static_cast<std::size_t>(index)];
    switch (opcode) {
    case effGetParamName:
        return CopyText(ptr, info.name, kVstMaxParamStrLen) ? 1 : 0;
    case effGetParamLabel:
        return CopyText(ptr, info.label, kVstMaxParamStrLen) ? 1 : 0;
    default: {
        std::array<char, 32> text{};
        FormatParameter(index, Parameter(index), text);
        return CopyText(ptr, text.data(), kVstMaxParamStrLen) ? 1 : 0;
    }
    }
}

intptr_t PluginBase::Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    const auto reportedPrograms = static_cast<int32_t>(m_description.programs.size());
    switch (opcode) {
    case effOpen:
        OnOpen();
        return 0;
    case effSetProgram:
        if (value >= 0 && value < reportedPrograms) SelectProgram(static_cast<int32_t>(value));
        return 0;
    case effGetProgram:
        return CurrentProgram();
    case effSetProgramName:
        if (ptr != nullptr) SetProgramName(CurrentProgram(), HostText(ptr, kVstMaxProgNameLen));
        return 0;
    case effGetProgramName:
        return CopyText(ptr, ProgramName(CurrentProgram()), kVstMaxProgNameLen) ? 1 : 0;
    case effGetProgramNameIndexed:
        if (index < 0 || index >= reportedPrograms) return 0;
        return CopyText(ptr, ProgramName(index), kVstMaxProgNameLen) ? 1 : 0;
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName:
        return AnswerParameterText(opcode, index, ptr);
    case effCanBeAutomated:
        return ValidParameter(index) ? 1 : 0;
    case effSetSampleRate:
        if (opt > 0.0f) m_sampleRate.store(opt, std::memory_order_relaxed);
        return 0;
    case effSetBlockSize:
        if (value > 0 && value <= INT32_MAX)
            m_blockSize.store(static_cast<int32_t>(value), std::memory_order_relaxed);
        return 0;
    case effMainsChanged:
        OnMainsChanged(value != 0);
        return 0;
    case effEditGetRect:
        if ((m_description.flags & effFlagsHasEditor) == 0) {
            if (ptr != nullptr) *static_cast<ERect**>(ptr) = nullptr;
            return 0;
        }
        if (ptr == nullptr) return 0;
        *static_cast<ERect**>(ptr) = &m_editorRect;
        return 1;
    case effEditOpen:
    case effEditClose:
        return (m_description.flags & effFlagsHasEditor) != 0 ? 1 : 0;
    case effProcessEvents:
        if (ptr != nullptr) ProcessEvents(*static_cast<const VstEvents*>(ptr));
        return 1;
    case effGetNumProgramCategories:
        return 1;
    case effGetPlugCategory:
        return m_description.category;
    case effGetEffectName:
    case effGetProductString:
        return CopyText(ptr, m_description.product, kVstMaxProductStrLen) ? 1 : 0;
    case effGetVendorString:
        return CopyText(ptr, m_description.vendor, kVstMaxVendorStrLen) ? 1 : 0;
    case effGetVendorVersion:
        return m_description.version;
    case effCanDo:
        return CanDo(HostText(ptr, kVstStringBufferSize)) ? 1 : 0;
    case effGetVstVersion:
        return kVstVersion;
    default:
        return 0;
    }
}

intptr_t PluginBase::DispatcherProc(AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                                    void* ptr, float opt) {
    PluginBase* plugin = FromEffect(effect);
    if (plugin == nullptr) return 0;
    const intptr_t result = plugin->Dispatch(opcode, index, value, ptr, opt);
    if (opcode == effClose) {
        plugin->Close();
        return 1;
    }
    return result;
}

void PluginBase::RunProcess(float** inputs, float** outputs, int32_t frames,
                            ProcessMode mode) noexcept {
    if (outputs == nullptr && m_effect.numOutputs > 0) return;
    if (frames <= 0) return;
    Process(inputs, outputs, frames, mode);
}

void PluginBase::ProcessProc(AEffect* effect, float** inputs, float** outputs, int32_t frames) {
    if (PluginBase* plugin = FromEffect(effect))
        plugin->RunProcess(inputs, outputs, frames, ProcessMode::Accumulating);
}

void PluginBase::ProcessReplacingProc(AEffect* effect, float** inputs, float** outputs,
                                      int32_t frames) {
    if (PluginBase* plugin = FromEffect(effect))
        plugin->RunProcess(inputs, outputs, frames, ProcessMode::Replacing);
}

void PluginBase::SetParameterProc(AEffect* effect, int32_t index, float value) {
    if (PluginBase* plugin = FromEffect(effect)) plugin->SetParameter(index, value);
}

float PluginBase::GetParameterProc(AEffect* effect, int32_t index) {
    PluginBase* plugin = FromEffect(effect);
    return plugin != nullptr ? plugin->Parameter(index) : 0.0f;
}

} // namespace zorvil::plugins
