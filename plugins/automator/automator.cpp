// Automator ("Zorvil Automator", 'ZAut'): a test effect that moves its own parameters from its
// process call, as plug-ins with built-in modulation (LFOs, envelopes, step modulators) do.
//
// It passes its two inputs through to its two outputs. Each process call advances a phase by
// the call's frames, sets the next of its four parameters (in turn) to the phase's fraction of a
// second, and reports it to the host with audioMasterAutomate; every eighth call it also asks
// the host to update its display (audioMasterUpdateDisplay). Both calls come from the host's
// engine thread, which is what the host's window notifications must bear.
//
// Threads: the dispatcher on the host's user-interface thread, the process calls on its engine
// thread. The phase and the call count belong to the process calls.
#include "common/plugin_entry.h"

#include <array>
#include <cstdint>

namespace zorvil::plugins {
namespace {

constexpr uint32_t kDisplayEvery = 8;
constexpr std::array<ParameterInfo, 4> kParameters{
    {{"Rate", "Hz"}, {"Depth", "%"}, {"Shape", ""}, {"Phase", "deg"}}};

const PluginDescription kDescription{
    .uniqueId = FourCharId("ZAut"),
    .version = 1000,
    .numInputs = 2,
    .numOutputs = 2,
    .flags = effFlagsCanReplacing,
    .category = kPlugCategEffect,
    .product = "Zorvil Automator",
    .vendor = "Ostrelworks",
    .parameters = kParameters,
    .programs = {},
};

class Automator final : public PluginBase {
public:
    explicit Automator(audioMasterCallback host) : PluginBase(host, kDescription) {}

protected:
    void Process(const float* const* inputs, float* const* outputs, int32_t frames,
                 ProcessMode mode) noexcept override {
        for (int channel = 0; channel < 2; ++channel) {
            float* out = outputs[channel];
            if (out == nullptr) continue;
            const float* in = inputs != nullptr ? inputs[channel] : nullptr;
            for (int32_t f = 0; f < frames; ++f) {
                const float sample = in != nullptr ? in[f] : 0.0f;
                out[f] = mode == ProcessMode::Replacing ? sample : out[f] + sample;
            }
        }
        const int32_t rate = static_cast<int32_t>(SampleRate());
        m_phase = rate > 0 ? (m_phase + frames) % rate : 0;
        const auto index = static_cast<int32_t>(m_calls % kParameters.size());
        const float value = rate > 0 ? static_cast<float>(m_phase) / static_cast<float>(rate) : 0;
        SetParameter(index, value);
        CallHost(audioMasterAutomate, index, 0, nullptr, value);
        if (m_calls % kDisplayEvery == 0U) CallHost(audioMasterUpdateDisplay, 0, 0, nullptr, 0.0f);
        ++m_calls;
    }

private:
    int32_t m_phase = 0;
    uint32_t m_calls = 0;
};

} // namespace
} // namespace zorvil::plugins

ZORVIL_PLUGIN_EXPORT AEffect* ZorvilMainEntry(audioMasterCallback host) __asm__("main");
AEffect* ZorvilMainEntry(audioMasterCallback host) {
    return zorvil::plugins::CreatePlugin<zorvil::plugins::Automator>(host);
}
