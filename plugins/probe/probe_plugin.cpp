#include "probe/probe_plugin.h"

#include "probe/probe_api.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstring>
#include <stdexcept>

namespace zorvil::plugins {

namespace {

constexpr std::array<ParameterInfo, 3> kParameters{{
    {"Level", ""},
    {"Param 1", ""},
    {"Param 2", ""},
}};

constexpr std::array<float, 3> kProgramAValues{0.5f, 0.25f, 0.75f};
constexpr std::array<float, 3> kProgramBValues{0.1f, 0.2f, 0.3f};
constexpr std::array<ProgramPreset, 2> kPrograms{{
    {"Probe A", kProgramAValues},
    {"Probe B", kProgramBValues},
}};

// What tells the variants apart, in ProbeVariant order.
struct VariantTraits {
    const char (&id)[5];
    int32_t inputs;
    int32_t outputs;
    int32_t flags;
    std::string_view product;
};
constexpr int32_t kReplacing = effFlagsCanReplacing;
constexpr std::array<VariantTraits, 12> kVariants{{
    {"ZPrb", 2, 2, kReplacing, "Zorvil Probe"},
    {"ZPr0", 0, 0, kReplacing, "Zorvil Probe 0 Out"},
    {"ZPr1", 0, 1, kReplacing, "Zorvil Probe 1 Out"},
    {"ZPrA", 0, 2, 0, "Zorvil Probe Accumulate"},
    {"ZPrC", 0, 2, kReplacing | effFlagsProgramChunks, "Zorvil Probe Chunk"},
    {"ZPrV", 2, 2, kReplacing, "Zorvil Probe VSTPluginMain"},
    {"ZBrS", 0, 2, kReplacing, "Zorvil Broken Close"},
    {"ZBrE", 0, 2, kReplacing, "Zorvil Broken Events"},
    {"ZPrS", 0, 2, kReplacing | effFlagsProgramChunks, "Zorvil Probe Chunk Sound"},
    {"ZPrW", 2, 2, kReplacing, "Zorvil Probe Vector"},
    {"ZBrT", 0, 2, kReplacing, "Zorvil Broken Close Throw"},
    {"ZPrE", 0, 2, kReplacing | effFlagsHasEditor, ""},
}};
static_assert(kVariants.size() == static_cast<std::size_t>(ProbeVariant::Editor) + 1);

// The editor variant's keys: the characters it takes.
constexpr int32_t kTakenCharacter = 'x';
constexpr int32_t kTakenSpace = 32;

// How far a vectorised plug-in may read past a buffer's last frame, and the alignment it wants.
constexpr std::size_t kVectorBytes = 64;

PluginDescription Describe(ProbeVariant variant) {
    const VariantTraits& traits = kVariants.at(static_cast<std::size_t>(variant));
    return {
        .uniqueId = FourCharId(traits.id),
        .version = 1000,
        .numInputs = traits.inputs,
        .numOutputs = traits.outputs,
        .flags = traits.flags,
        .category = kPlugCategEffect,
        .product = traits.product,
        .vendor = "Ostrelworks",
        .editorRect = {.top = 0, .left = 0, .bottom = 200, .right = 300},
        .parameters = kParameters,
        .programs = kPrograms,
    };
}

// A real invalid write, the kind of fault a crashing plug-in makes. The address is read from a
// volatile so the compiler cannot see the fault coming, and the sanitizers are kept out so that
// the signal, not a sanitizer report, is what the host meets.
__attribute__((noinline, no_sanitize("address", "undefined", "thread"))) void
WriteToInvalidAddress() noexcept {
    static volatile std::uintptr_t invalidAddress = 0;
    *reinterpret_cast<volatile int*>(invalidAddress) = 1;
}

// The chunk image: the magic, a header of int32 values, then per program its name (24 bytes,
// zero-padded) and its parameter values (floats), all in the machine's byte order.
enum class ChunkKind : int32_t { Bank = 0, Program = 1 };
struct ChunkHeader {
    char magic[4];
    int32_t kind;
    int32_t program; // bank: the current program; program image: the program it came from
    int32_t programCount;
    int32_t parameterCount;
};
constexpr std::size_t kChunkNameBytes = kVstMaxProgNameLen;

std::size_t ChunkSize(int32_t programs, int32_t parameters) {
    return sizeof(ChunkHeader) +
           static_cast<std::size_t>(programs) *
               (kChunkNameBytes + sizeof(float) * static_cast<std::size_t>(parameters));
}

} // namespace

ProbePlugin::ProbePlugin(audioMasterCallback host, ProbeVariant variant)
    : PluginBase(host, Describe(variant)), m_variant(variant) {}

ProbePlugin* ProbePlugin::FromEffect(AEffect* effect) noexcept {
    return dynamic_cast<ProbePlugin*>(PluginBase::FromEffect(effect));
}

void ProbePlugin::OnCreated() {
    CallHostLogged(audioMasterVersion, 0, 0, nullptr, 0.0f);
    CallHostLogged(audioMasterCurrentId, 0, 0, nullptr, 0.0f);
    CallHostLogged(audioMasterWantMidi, 0, 1, nullptr, 0.0f);
}

void ProbePlugin::OnOpen() {
    CallHostLogged(audioMasterWantMidi, 0, 1, nullptr, 0.0f);
}

intptr_t ProbePlugin::CallHostLogged(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                     float opt) {
    const intptr_t answer = CallHost(opcode, index, value, ptr, opt);
    m_log.Begin().Line("host %" PRId32 " %" PRId32 " %" PRIdPTR " -> %" PRIdPTR, opcode, index,
                       value, answer);
    return answer;
}

intptr_t ProbePlugin::Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                               float opt) {
    m_log.Begin().Line("dispatch %" PRId32 " %" PRId32 " %" PRIdPTR " %g", opcode, index, value,
                       static_cast<double>(opt));
    if (opcode == effClose && m_variant == ProbeVariant::CloseThrow) {
        delete this; // nothing of ours leaks, and nothing touches `this` below
        throw std::runtime_error("zorvil-broken-close-throw: effClose always throws");
    }
    if ((Description().flags & effFlagsProgramChunks) != 0) {
        if (opcode == effGetChunk) return GetChunk(index, ptr);
        if (opcode == effSetChunk) return SetChunk(index, value, ptr);
    }
    if ((opcode == effEditKeyDown || opcode == effEditKeyUp) && m_variant == ProbeVariant::Editor)
        return index == kTakenCharacter || index == kTakenSpace ? 1 : 0;
    const intptr_t result = PluginBase::Dispatch(opcode, index, value, ptr, opt);
    if (opcode == effSetProgram && m_variant == ProbeVariant::ChunkSound) LoadFactorySound();
    return result;
}

bool ProbePlugin::BankChunk(int32_t index) const noexcept {
    return index == 0 && m_variant != ProbeVariant::ChunkSound;
}

void ProbePlugin::LoadFactorySound() noexcept {
    const int32_t program = CurrentProgram();
    if (program < 0 || program >= static_cast<int32_t>(kPrograms.size())) return;
    const std::span<const float> values = kPrograms[static_cast<std::size_t>(program)].values;
    for (int32_t i = 0; i < NumParameters() && static_cast<std::size_t>(i) < values.size(); ++i)
        SetParameter(i, values[static_cast<std::size_t>(i)]);
}

void ProbePlugin::CheckVectorReach(const float* const* inputs, const float* const* outputs,
                                   int32_t frames) noexcept {
    // What a plug-in reads past the last frame goes into a sink the compiler must keep.
    static volatile float sink = 0.0f;
    const auto check = [&](const float* buffer, const char* kind, int32_t k) {
        if (buffer == nullptr) return;
        if (reinterpret_cast<std::uintptr_t>(buffer) % kVectorBytes != 0)
            m_log.Begin().Line("misaligned %s %" PRId32, kind, k);
        float sum = 0.0f;
        for (std::size_t i = 0; i < kVectorBytes / sizeof(float); ++i)
            sum += buffer[static_cast<std::size_t>(frames) + i];
        sink = sink + sum;
    };
    for (int32_t k = 0; inputs != nullptr && k < Description().numInputs; ++k)
        check(inputs[k], "input", k);
    for (int32_t k = 0; k < Description().numOutputs; ++k)
        check(outputs[k], "output", k);
}

void ProbePlugin::Close() noexcept {
    const bool fault = m_variant == ProbeVariant::CloseSegv;
    // Free everything first: a host that survives the fault leaks nothing.
    delete this;
    if (fault) WriteToInvalidAddress();
}

bool ProbePlugin::CanDo(std::string_view capability) const noexcept {
    return capability == "receiveVstMidiEvent";
}

void ProbePlugin::ProcessEvents(const VstEvents& events) {
    {
        ProbeLog::Record record = m_log.Begin();
        record.Line("events %" PRId32, events.numEvents);
        for (int32_t i = 0; i < events.numEvents; ++i) {
            const VstEvent* event = events.events[i];
            if (event == nullptr) {
                record.Line("null");
            } else if (event->type == kVstMidiType) {
                const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
                const auto byte = [&](int at) {
                    return static_cast<unsigned>(static_cast<unsigned char>(midi->midiData[at]));
                };
                record.Line("midi %" PRId32 " %02x %02x %02x %02x", midi->deltaFrames, byte(0),
                            byte(1), byte(2), byte(3));
            } else if (event->type == kVstSysExType) {
                const auto* sysex = reinterpret_cast<const VstMidiSysexEvent*>(event);
                record.Print("sysex %" PRId32 " %" PRId32 " ", sysex->deltaFrames,
                             sysex->dumpBytes);
                if (sysex->sysexDump != nullptr) {
                    for (int32_t b = 0; b < sysex->dumpBytes; ++b) {
                        record.Print("%02x", static_cast<unsigned>(
                                                 static_cast<unsigned char>(sysex->sysexDump[b])));
                    }
                }
                record.Append("\n");
            } else {
                record.Line("other %" PRId32, event->type);
            }
        }
    }
    if (m_variant == ProbeVariant::EventsThrow)
        throw std::runtime_error("zorvil-broken-events-throw: effProcessEvents always throws");
}

void ProbePlugin::Process(const float* const* inputs, float* const* outputs, int32_t frames,
                          ProcessMode mode) noexcept {
    m_log.Begin().Line("%s %" PRId32, mode == ProcessMode::Replacing ? "replacing" : "process",
                       frames);
    if (m_variant == ProbeVariant::Vector) CheckVectorReach(inputs, outputs, frames);
    const float level = Parameter(0);
    const int32_t inputCount = inputs != nullptr ? Description().numInputs : 0;
    for (int32_t k = 0; k < Description().numOutputs; ++k) {
        float* const out = outputs[k];
        if (out == nullptr) continue;
        const float dc = k == 0 ? level : (k == 1 ? -level : 0.0f);
        const float* const in = k < inputCount ? inputs[k] : nullptr;
        for (int32_t i = 0; i < frames; ++i) {
            const float value = dc + (in != nullptr ? in[i] : 0.0f);
            out[i] = mode == ProcessMode::Replacing ? value : out[i] + value;
        }
    }
}

intptr_t ProbePlugin::GetChunk(int32_t index, void* ptr) {
    if (ptr == nullptr || (index != 0 && index != 1)) return 0;
    const bool bank = BankChunk(index);
    const int32_t first = bank ? 0 : CurrentProgram();
    const int32_t count = bank ? NumPrograms() : 1;
    const int32_t parameters = NumParameters();

    m_chunk.assign(ChunkSize(count, parameters), 0);
    ChunkHeader header{};
    std::memcpy(header.magic, kZorvilProbeChunkMagic, sizeof header.magic);
    header.kind = static_cast<int32_t>(bank ? ChunkKind::Bank : ChunkKind::Program);
    header.program = CurrentProgram();
    header.programCount = count;
    header.parameterCount = parameters;
    std::memcpy(m_chunk.data(), &header, sizeof header);

    char* out = m_chunk.data() + sizeof header;
    for (int32_t program = first; program < first + count; ++program) {
        const std::string_view name = ProgramName(program);
        std::memcpy(out, name.data(), std::min(name.size(), kChunkNameBytes));
        out += kChunkNameBytes;
        for (int32_t i = 0; i < parameters; ++i) {
            const float value = ProgramValue(program, i);
            std::memcpy(out, &value, sizeof value);
            out += sizeof value;
        }
    }
    *static_cast<void**>(ptr) = m_chunk.data();
    return static_cast<intptr_t>(m_chunk.size());
}

intptr_t ProbePlugin::SetChunk(int32_t index, intptr_t size, const void* data) {
    if (data == nullptr || size < static_cast<intptr_t>(sizeof(ChunkHeader))) return 0;
    if (index != 0 && index != 1) return 0;
    const bool bank = BankChunk(index);
    ChunkHeader header{};
    std::memcpy(&header, data, sizeof header);
    const int32_t count = bank ? NumPrograms() : 1;
    if (std::memcmp(header.magic, kZorvilProbeChunkMagic, sizeof header.magic) != 0 ||
        header.kind != static_cast<int32_t>(bank ? ChunkKind::Bank : ChunkKind::Program) ||
        header.programCount != count || header.parameterCount != NumParameters() ||
        static_cast<std::size_t>(size) != ChunkSize(count, NumParameters()))
        return 0;

    const int32_t first = bank ? 0 : CurrentProgram();
    const char* in = static_cast<const char*>(data) + sizeof header;
    for (int32_t program = first; program < first + count; ++program) {
        SetProgramName(program, std::string_view(in, strnlen(in, kChunkNameBytes)));
        in += kChunkNameBytes;
        for (int32_t i = 0; i < NumParameters(); ++i) {
            float value = 0.0f;
            std::memcpy(&value, in, sizeof value);
            SetProgramValue(program, i, value);
            in += sizeof value;
        }
    }
    if (bank) SelectProgram(header.program);
    return 1;
}

} // namespace zorvil::plugins
