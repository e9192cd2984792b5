// What block processing costs beside the work it cannot avoid.
//
// BM_ProcessBlock/N/F/E: the host's ProcessBlock over a block of F frames with N loaded effects
// of zorvil-probe-out0 (a plug-in with no outputs whose process call only notes that it was
// called) and E short MIDI messages queued before each block. It shows the host's fixed cost
// per effect and event, but with nothing to mix it says nothing about the host's audio work.
// BM_ProcessBlockStereo/N/F/E: the same with zorvil-probe-accumulate, which has two outputs, so
// the host also clears and mixes them.
// BM_PluginsOnly/N/F: the plug-ins' share of BM_ProcessBlockStereo/N/F/0: the same probes'
// process calls, sub-block by sub-block, on the same buffers and sizes, called directly. The
// host's own cost per block is BM_ProcessBlockStereo/N/F/0 minus BM_PluginsOnly/N/F.
// BM_MixBaseline/N/F: the floor that host cost is measured against: only the clearing and the
// gain-mixing of N stereo outputs that a host must do for such a block, on the host's own
// buffers, as fast as this machine does it (one pass over all outputs, on the widest vector
// unit it has). The goal: the host's own cost at most 1.5 times this.
//
// The probes keep a log of every call; it is cleared every 256 blocks outside the timing.
#include "host/seq_host.h"
#include "midi/midi_message.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using zorvil::CMidiMessage;
using zorvil::CSeqHost;

std::string PluginPath(const char* name) {
    return std::string(ZORVIL_PLUGIN_DIR) + "/" + name + ".so";
}

// A host with `count` instances of one plug-in, and the block buffers of the application.
class BenchHost {
public:
    BenchHost(const char* plugin, int count)
        : m_blockStorage(std::make_unique<float[]>(2 * 44100)), m_block{m_blockStorage.get(),
                                                                        m_blockStorage.get() +
                                                                            44100} {
        const std::string path = PluginPath(plugin);
        for (int i = 0; i < count; ++i) {
            if (m_host.LoadPlugin(path) < 0) {
                m_failed = true;
                return;
            }
        }
        // The library is loaded already; this only finds it.
        void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (library != nullptr) {
            m_clear = reinterpret_cast<ClearProc>(dlsym(library, "ZorvilProbeClear"));
            dlclose(library);
        }
    }

    bool Failed() const { return m_failed; }
    CSeqHost& Host() { return m_host; }
    float* const* Block() const { return m_block; }

    void ClearLogs() {
        if (m_clear == nullptr) return;
        for (int s = m_host.GetNextEffect(-1); s >= 0; s = m_host.GetNextEffect(s))
            m_clear(m_host.GetEffect(s)->GetAEffect());
    }

private:
    using ClearProc = void (*)(AEffect*);

    CSeqHost m_host;
    std::unique_ptr<float[]> m_blockStorage;
    float* m_block[2];
    ClearProc m_clear = nullptr;
    bool m_failed = false;
};

// False, with the benchmark marked skipped, when the plug-ins did not load.
bool Loaded(benchmark::State& state, const BenchHost& bench) {
    if (bench.Failed()) state.SkipWithError("plug-in not loaded (build the zorvil_plugins target)");
    return !bench.Failed();
}

// Runs one block of `frames` per iteration; the probes' logs are cleared outside the timing.
template <class Block>
void TimeBlocks(benchmark::State& state, BenchHost& bench, int frames, Block block) {
    int sinceClear = 0;
    for (auto _ : state) {
        block();
        benchmark::ClobberMemory();
        if (++sinceClear == 256) {
            state.PauseTiming();
            bench.ClearLogs();
            sinceClear = 0;
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations() * frames);
}

void RunProcessBlock(benchmark::State& state, const char* plugin) {
    const int effects = static_cast<int>(state.range(0));
    const int frames = static_cast<int>(state.range(1));
    const int events = static_cast<int>(state.range(2));
    BenchHost bench(plugin, effects);
    if (!Loaded(state, bench)) return;
    CSeqHost& host = bench.Host();
    std::vector<CMidiMessage> messages;
    for (int i = 0; i < events; ++i)
        messages.emplace_back(static_cast<uint8_t>(i % 2 == 0 ? 0x90 : 0x80),
                              static_cast<uint8_t>(36 + i), static_cast<uint8_t>(100));
    TimeBlocks(state, bench, frames, [&] {
        for (const CMidiMessage& message : messages)
            host.QueueMidiEvent(message);
        host.ProcessBlock(bench.Block(), frames, 2, 0);
    });
}

void BM_ProcessBlock(benchmark::State& state) {
    RunProcessBlock(state, "zorvil-probe-out0");
}

void BM_ProcessBlockStereo(benchmark::State& state) {
    RunProcessBlock(state, "zorvil-probe-accumulate");
}

void BM_PluginsOnly(benchmark::State& state) {
    const int effects = static_cast<int>(state.range(0));
    const int frames = static_cast<int>(state.range(1));
    BenchHost bench("zorvil-probe-accumulate", effects);
    if (!Loaded(state, bench)) return;
    CSeqHost& host = bench.Host();
    struct Call {
        AEffect* effect;
        void (*process)(AEffect*, float**, float**, int32_t);
        float** inputs;
        float** outputs;
    };
    std::vector<Call> calls;
    for (int s = host.GetNextEffect(-1); s >= 0; s = host.GetNextEffect(s)) {
        zorvil::CSeqEffect& effect = *host.GetSeqEffect(s);
        AEffect* record = effect.GetAEffect();
        const bool replacing = (record->flags & effFlagsCanReplacing) != 0;
        calls.push_back({record, replacing ? record->processReplacing : record->process,
                         effect.m_ppInputs, effect.m_ppOutputs});
    }
    const int subBlocks = CSeqHost::SubBlockCount(frames);
    const int quotient = frames / subBlocks;
    TimeBlocks(state, bench, frames, [&] {
        for (int i = 0; i < subBlocks; ++i) {
            const int length = i == subBlocks - 1 ? quotient + frames % subBlocks : quotient;
            for (const Call& call : calls)
                call.process(call.effect, call.inputs, call.outputs, length);
        }
    });
}

// target[i] = gain * sources[0][i] + ... + gain * sources[count - 1][i], summed in slot order as
// the host sums, in one pass; whole blocks of 16 frames so that the compiler vectorises them.
inline __attribute__((always_inline)) void MixAll(float* __restrict target,
                                                  const float* const* sources, int count,
                                                  float gain, int frames) noexcept {
    constexpr int kBlock = 16;
    int i = 0;
    for (; i + kBlock <= frames; i += kBlock) {
        float sum[kBlock];
        const float* __restrict first = sources[0] + i;
        for (int j = 0; j < kBlock; ++j)
            sum[j] = gain * first[j];
        for (int e = 1; e < count; ++e) {
            const float* __restrict source = sources[e] + i;
            for (int j = 0; j < kBlock; ++j)
                sum[j] += gain * source[j];
        }
        for (int j = 0; j < kBlock; ++j)
            target[i + j] = sum[j];
    }
    for (; i < frames; ++i) {
        float sum = gain * sources[0][i];
        for (int e = 1; e < count; ++e)
            sum += gain * sources[e][i];
        target[i] = sum;
    }
}

void MixAllPlain(float* target, const float* const* sources, int count, float gain,
                 int frames) noexcept {
    MixAll(target, sources, count, gain, frames);
}

__attribute__((target("avx2"))) void MixAllAvx2(float* target, const float* const* sources,
                                                int count, float gain, int frames) noexcept {
    MixAll(target, sources, count, gain, frames);
}

__attribute__((target("avx512f"))) void MixAllAvx512(float* target, const float* const* sources,
                                                     int count, float gain, int frames) noexcept {
    MixAll(target, sources, count, gain, frames);
}

using MixAllFunction = void (*)(float*, const float* const*, int, float, int) noexcept;

MixAllFunction FastestMixAll() {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) return &MixAllAvx512;
    if (__builtin_cpu_supports("avx2")) return &MixAllAvx2;
    return &MixAllPlain;
}

// The unavoidable work for N stereo effects: clear the block, clear each effect's two outputs
// (the plug-in would write them), and mix them with gain sqrt(1/N) into the mix buffers.
void BM_MixBaseline(benchmark::State& state) {
    const int effects = static_cast<int>(state.range(0));
    const int frames = static_cast<int>(state.range(1));
    BenchHost bench("zorvil-probe-accumulate", effects);
    if (!Loaded(state, bench)) return;
    CSeqHost& host = bench.Host();
    std::vector<float**> outputs;
    for (int s = host.GetNextEffect(-1); s >= 0; s = host.GetNextEffect(s))
        outputs.push_back(host.GetSeqEffect(s)->m_ppOutputs);
    std::vector<const float*> sources[2];
    for (float** out : outputs)
        for (int channel = 0; channel < 2; ++channel)
            sources[channel].push_back(out[channel]);
    const MixAllFunction mixAll = FastestMixAll();
    const auto bytes = static_cast<size_t>(frames) * sizeof(float);
    float* const* block = bench.Block();
    float* const* mix = host.MixBuffers();
    const float gain = std::sqrt(1.0f / static_cast<float>(effects));
    for (auto _ : state) {
        std::memset(block[0], 0, bytes);
        std::memset(block[1], 0, bytes);
        for (float** out : outputs) {
            std::memset(out[0], 0, bytes);
            std::memset(out[1], 0, bytes);
        }
        for (int channel = 0; channel < 2; ++channel)
            mixAll(mix[channel], sources[channel].data(), effects, gain, frames);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * frames);
}

void ProcessBlockArgs(benchmark::internal::Benchmark* bench) {
    for (int n = 1; n <= 4; ++n)
        for (int frames : {882, 2205})
            for (int events : {0, 32})
                bench->Args({n, frames, events});
}

void EffectsAndFramesArgs(benchmark::internal::Benchmark* bench) {
    for (int n = 1; n <= 4; ++n)
        for (int frames : {882, 2205})
            bench->Args({n, frames});
}

} // namespace

BENCHMARK(BM_ProcessBlock)->Apply(ProcessBlockArgs);
BENCHMARK(BM_ProcessBlockStereo)->Apply(ProcessBlockArgs);
BENCHMARK(BM_PluginsOnly)->Apply(EffectsAndFramesArgs);
BENCHMARK(BM_MixBaseline)->Apply(EffectsAndFramesArgs);
