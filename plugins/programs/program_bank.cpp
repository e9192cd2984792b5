// A plug-in with many programs and nothing else to it, for the programs menu: silent, two
// outputs, two parameters ("Tone", "Depth") kept per program. ZORVIL_PROGRAM_COUNT sets how many
// programs the library has; each is named "Sound <n>", except that program 5 has no name.
// Names are kept as long as the host gives them (up to 255 characters), so that a test sees
// whatever a rename sent. With ZORVIL_PROGRAM_NAMES_BY_INDEX it gives names by index
// (effGetProgramNameIndexed), as large synths do; without, it answers 0 there and a host must
// switch programs to read names.
//
//     zorvil-programs40.so     40 programs, names only by switching
//     zorvil-programs3584.so   3584 programs, names by index
#include "common/plugin_entry.h"

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace zorvil::plugins {
namespace {

constexpr int32_t kProgramCount = ZORVIL_PROGRAM_COUNT;
constexpr int32_t kUnnamedProgram = 5;
constexpr std::array<ParameterInfo, 2> kParameters{{{"Tone", ""}, {"Depth", "%"}}};

// Names and presets live for the whole run: the description refers to them.
const PluginDescription& BankDescription() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> list;
        for (int32_t n = 0; n < kProgramCount; ++n)
            list.push_back(n == kUnnamedProgram ? std::string() : "Sound " + std::to_string(n));
        return list;
    }();
    static const std::vector<ProgramPreset> presets = [] {
        std::vector<ProgramPreset> list;
        for (const std::string& name : names)
            list.push_back({name, {}});
        return list;
    }();
    static const PluginDescription description{
        .uniqueId = FourCharId("ZPrg"),
        .numInputs = 0,
        .numOutputs = 2,
        .flags = effFlagsCanReplacing | effFlagsIsSynth,
        .category = kPlugCategSynth,
        .product = "Zorvil Programs",
        .parameters = kParameters,
        .programs = presets,
    };
    return description;
}

class ProgramBank final : public PluginBase {
public:
    explicit ProgramBank(audioMasterCallback host) : PluginBase(host, BankDescription()) {
        for (const ProgramPreset& preset : Description().programs)
            m_names.emplace_back(preset.name);
    }

protected:
    intptr_t Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                      float opt) override {
        switch (opcode) {
        case effGetProgramNameIndexed:
#ifdef ZORVIL_PROGRAM_NAMES_BY_INDEX
            if (index < 0 || index >= kProgramCount) return 0;
            return CopyText(ptr, m_names[static_cast<std::size_t>(index)], kMaxName) ? 1 : 0;
#else
            return 0;
#endif
        case effGetProgramName:
            return CopyText(ptr, m_names[Current()], kMaxName) ? 1 : 0;
        case effSetProgramName:
            if (ptr != nullptr)
                m_names[Current()].assign(static_cast<const char*>(ptr),
                                          strnlen(static_cast<const char*>(ptr), kMaxName));
            return 0;
        default:
            return PluginBase::Dispatch(opcode, index, value, ptr, opt);
        }
    }

    void Process(const float* const* /*inputs*/, float* const* outputs, int32_t frames,
                 ProcessMode mode) noexcept override {
        if (mode == ProcessMode::Accumulating) return;
        for (int channel = 0; channel < 2; ++channel)
            if (outputs[channel] != nullptr)
                for (int32_t frame = 0; frame < frames; ++frame)
                    outputs[channel][frame] = 0.0f;
    }

private:
    static constexpr std::size_t kMaxName = 255;
    std::size_t Current() const noexcept {
        return static_cast<std::size_t>(CurrentProgram());
    }

    std::vector<std::string> m_names; // touched only by dispatcher calls
};

} // namespace
} // namespace zorvil::plugins

ZORVIL_PLUGIN_EXPORT AEffect* ZorvilMainEntry(audioMasterCallback host) __asm__("main");

AEffect* ZorvilMainEntry(audioMasterCallback host) {
    return zorvil::plugins::CreatePlugin<zorvil::plugins::ProgramBank>(host);
}
