// PluginBase: the shared core of Zorvil's own VST 2 plug-ins (the demo synth, the probes and the
// broken test plug-ins).
//
// A plug-in describes itself once in a PluginDescription (IDs, I/O counts, flags, parameters and
// program presets) and derives from PluginBase. The base owns the AEffect record, routes the
// record's C function pointers to virtual member functions, keeps one set of parameter values per
// program and answers the common dispatcher opcodes (programs, parameter texts, product strings,
// sample rate, block size, editor rectangle). A derived plug-in overrides Dispatch() for its own
// opcodes (passing the rest on), Process() for audio and ProcessEvents() for MIDI.
//
//     class Gain final : public PluginBase {
//     public:
//         explicit Gain(audioMasterCallback host) : PluginBase(host, kGainDescription) {}
//     protected:
//         void Process(const float* const* in, float* const* out, int32_t frames,
//                      ProcessMode mode) noexcept override { ... }
//     };
//     // in the library's entry: return CreatePlugin<Gain>(host);   (see plugin_entry.h)
//
// Threads: the host may call the dispatcher from its user-interface thread while the engine thread
// runs Process(). Parameter values, the current program, sample rate and block size are atomics;
// program names are touched only by dispatcher calls.
#pragma once

#include "host/vst2_interface.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace zorvil::plugins {

// A four-character ID as the interface stores it: the first character in the most significant byte.
constexpr int32_t FourCharId(const char (&id)[5]) noexcept {
    return static_cast<int32_t>((static_cast<uint32_t>(static_cast<unsigned char>(id[0])) << 24) |
                                (static_cast<uint32_t>(static_cast<unsigned char>(id[1])) << 16) |
                                (static_cast<uint32_t>(static_cast<unsigned char>(id[2])) << 8) |
                                static_cast<uint32_t>(static_cast<unsigned char>(id[3])));
}

// Copies text into a buffer the host handed over: at most maxChars characters and a terminator.
// Returns false (writing nothing) when the buffer is null.
bool CopyText(void* destination, std::string_view text, std::size_t maxChars) noexcept;

struct ParameterInfo {
    std::string_view name;
    std::string_view label;
};

struct ProgramPreset {
    std::string_view name;
    std::span<const float> values; // one per parameter; missing ones start at 0
};

// Everything the host can read about a plug-in without running it. The views and spans must
// refer to data that outlives every instance (constants of the library).
struct PluginDescription {
    int32_t uniqueId = 0;
    int32_t version = 1000;
    int32_t numInputs = 0;
    int32_t numOutputs = 2;
    int32_t flags = 0;
    int32_t category = kPlugCategEffect;
    std::string_view product;
    std::string_view vendor = "Ostrelworks";
    ERect editorRect{}; // used when flags has effFlagsHasEditor
    std::span<const ParameterInfo> parameters;
    std::span<const ProgramPreset> programs;
};

// Which process function the host called: "process" adds to the outputs, "processReplacing"
// overwrites them.
enum class ProcessMode { Accumulating, Replacing };

class PluginBase {
public:
    PluginBase(audioMasterCallback host, const PluginDescription& description);
    virtual ~PluginBase();
    PluginBase(const PluginBase&) = delete;
    PluginBase& operator=(const PluginBase&) = delete;

    AEffect* Effect() noexcept { return &m_effect; }

    // The instance behind a record that this library made, or null for anything else (null, a
    // foreign record, a record of another library).
    static PluginBase* FromEffect(AEffect* effect) noexcept;

    // Called once by the entry after construction, still inside the host's entry call: the
    // place for host calls a plug-in makes while it is being created.
    virtual void OnCreated() {}

protected:
    // Every dispatcher call lands here first. The base answers the common opcodes; overrides
    // handle their own and pass the rest on. effClose is followed by Close().
    virtual intptr_t Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);

    // Ends the instance after effClose; nothing may touch `this` afterwards.
    virtual void Close() noexcept { delete this; }

    // effOpen and effMainsChanged.
    virtual void OnOpen() {}
    virtual void OnMainsChanged(bool /*on*/) noexcept {}

    // effProcessEvents with a non-null list. Not noexcept: a plug-in may throw at the host.
    virtual void ProcessEvents(const VstEvents& /*events*/) {}

    // Audio. Outputs the host left null are skipped; inputs may be null.
    virtual void Process(const float* const* inputs, float* const* outputs, int32_t frames,
                         ProcessMode mode) noexcept = 0;

    virtual bool CanDo(std::string_view /*capability*/) const noexcept { return false; }

    // The display text of parameter `index` at `value`; the base prints the value with 3 decimals.
    virtual void FormatParameter(int32_t index, float value, std::span<char> text) const noexcept;

    // Asks the host; answers 0 when the host gave no callback.
    intptr_t CallHost(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);

    const PluginDescription& Description() const noexcept { return m_description; }
    int32_t NumPrograms() const noexcept { return m_programCount; }
    int32_t NumParameters() const noexcept { return m_parameterCount; }
    int32_t CurrentProgram() const noexcept { return m_program.load(std::memory_order_relaxed); }
    void SelectProgram(int32_t program) noexcept;

    // Values of the current program (index checked; 0 for a bad index).
    float Parameter(int32_t index) const noexcept;
    void SetParameter(int32_t index, float value) noexcept;

    // Values and names of any program (used by chunks).
    float ProgramValue(int32_t program, int32_t index) const noexcept;
    void SetProgramValue(int32_t program, int32_t index, float value) noexcept;
    std::string_view ProgramName(int32_t program) const noexcept;
    void SetProgramName(int32_t program, std::string_view name) noexcept;

    float SampleRate() const noexcept { return m_sampleRate.load(std::memory_order_relaxed); }
    int32_t BlockSize() const noexcept { return m_blockSize.load(std::memory_order_relaxed); }

private:
    using NameBuffer = std::array<char, kVstMaxProgNameLen + 1>;

    static intptr_t DispatcherProc(AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                                   void* ptr, float opt);
    static void ProcessProc(AEffect* effect, float** inputs, float** outputs, int32_t frames);
    static void ProcessReplacingProc(AEffect* effect, float** inputs, float** outputs,
                                     int32_t frames);
    static void SetParameterProc(AEffect* effect, int32_t index, float value);
    static float GetParameterProc(AEffect* effect, int32_t index);

    void RunProcess(float** inputs, float** outputs, int32_t frames, ProcessMode mode) noexcept;
    intptr_t AnswerParameterText(int32_t opcode, int32_t index, void* ptr) const noexcept;
    bool ValidParameter(int32_t index) const noexcept {
        return index >= 0 && index < m_parameterCount;
    }
    bool ValidProgram(int32_t program) const noexcept {
        return program >= 0 && program < m_programCount;
    }

    AEffect m_effect{};
    const audioMasterCallback m_host;
    const PluginDescription m_description;
    ERect m_editorRect{};
    const int32_t m_programCount;
    const int32_t m_parameterCount;
    std::atomic<int32_t> m_program{0};
    std::atomic<float> m_sampleRate{44100.0f};
    std::atomic<int32_t> m_blockSize{1024};
    std::vector<std::atomic<float>> m_values; // program-major: m_values[program * params + index]
    std::vector<NameBuffer> m_programNames;
};

} // namespace zorvil::plugins
