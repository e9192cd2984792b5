// ProbePlugin: a plug-in that records everything a host does to it (see probe/probe_api.h for the
// log's lines), for tests of the host, the rack and the engine.
//
// Two programs ("Probe A", "Probe B") with three parameters ("Level", "Param 1", "Param 2"), each
// program keeping its own values. Output 0 carries +Level on every sample and output 1 -Level,
// plus input k on output k where there are inputs, so mixes are easy to check; every output is
// written on every process call ("process" adds, "processReplacing" overwrites).
//
// One source builds every variant; the library's entry picks one:
//
//     AEffect* ZorvilMainEntry(audioMasterCallback host) {
//         return CreatePlugin<ProbePlugin>(host, ProbeVariant::Chunk);
//     }
//
// Threads: the log takes a lock, parameters are atomics; dispatcher calls may come from the
// user-interface thread while the engine thread processes.
#pragma once

#include "common/plugin_base.h"
#include "probe/probe_log.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace zorvil::plugins {

enum class ProbeVariant {
    Standard,      // zorvil-probe.so: 2 in, 2 out
    NoOutputs,     // zorvil-probe-out0.so: 0 in, 0 out
    OneOutput,     // zorvil-probe-out1.so: 0 in, 1 out
    Accumulate,    // zorvil-probe-accumulate.so: 0 in, 2 out, no effFlagsCanReplacing
    Chunk,         // zorvil-probe-chunk.so: 0 in, 2 out, effFlagsProgramChunks
    VstPluginMain, // zorvil-probe-vstpluginmain.so: as Standard, entry "VSTPluginMain" only
    CloseSegv,     // zorvil-broken-close-segv.so: faults inside effClose
    EventsThrow,   // zorvil-broken-events-throw.so: throws out of effProcessEvents
    // zorvil-probe-chunk-sound.so: 0 in, 2 out, effFlagsProgramChunks, as synths that keep
    // their current sound in the chunk: the chunk holds the current program's values and name,
    // and effSetProgram loads that program's factory sound over whatever it held.
    ChunkSound,
    // zorvil-probe-vector.so: 2 in, 2 out, as a vectorised plug-in: every process call reads
    // 64 bytes past the last frame of each buffer and logs "misaligned input|output <k>" for a
    // buffer that does not start on a 64-byte boundary.
    Vector,
    CloseThrow, // zorvil-broken-close-throw.so: throws out of effClose (after freeing itself)
    // zorvil-probe-editor.so: 0 in, 2 out, an editor of 300 x 200 that draws nothing, an empty
    // product string (hosts name it by its library), and keys: it takes the characters 'x' and
    // Space (effEditKeyDown/Up answer 1) and leaves every other key to the host.
    Editor,
};

class ProbePlugin final : public PluginBase {
public:
    ProbePlugin(audioMasterCallback host, ProbeVariant variant);

    // The probe behind a record of this library, or null.
    static ProbePlugin* FromEffect(AEffect* effect) noexcept;

    void OnCreated() override;

    const char* LogText() { return m_log.Snapshot(); }
    void ClearLog() { m_log.Clear(); }
    intptr_t CallHostLogged(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);

protected:
    intptr_t Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) override;
    void Close() noexcept override;
    void OnOpen() override;
    void ProcessEvents(const VstEvents& events) override;
    void Process(const float* const* inputs, float* const* outputs, int32_t frames,
                 ProcessMode mode) noexcept override;
    bool CanDo(std::string_view capability) const noexcept override;

private:
    intptr_t GetChunk(int32_t index, void* ptr);
    intptr_t SetChunk(int32_t index, intptr_t size, const void* data);
    // The bank chunk holds every program; a ChunkSound chunk only the current sound.
    bool BankChunk(int32_t index) const noexcept;
    void LoadFactorySound() noexcept;
    void CheckVectorReach(const float* const* inputs, const float* const* outputs,
                          int32_t frames) noexcept;

    const ProbeVariant m_variant;
    ProbeLog m_log;
    std::vector<char> m_chunk; // the last effGetChunk image, valid until the next one
};

} // namespace zorvil::plugins
