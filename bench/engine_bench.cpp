// What block processing costs beside the work it cannot avoid.
//
// BM_ProcessBlock/N/F/E: the host's ProcessBlock over a block of F frames with N loaded effects
// of zorvil-probe-out0 (a plug-in with no outputs whose process call only notes that it was
// called) and E short MIDI messages queued before each block.
// BM_ProcessBlockStereo/N/F/E: the same with zorvil-probe-accumulate, which has two outputs, so
// the host also clears and mixes them.
// BM_MixBaseline/N/F: a plain loop doing only the clearing and the gain-mixing of N stereo
// outputs that a host must do for such a block, on the host's own buffers.
//
// The probes keep a log of every call; it is cleared every 256 blocks outside the timing.
#include "host/seq_host.h"
#include "midi/midi_message.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
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

void RunProcessBlock(benchmark::State& state, const char* plugin) {
    const int effects = static_cast<int>(state.range(0));
    const int frames = static_cast<int>(state.range(1));
    const int events = static_cast<int>(state.range(2));
    BenchHost bench(plugin, effects);
    if (bench.Failed()) {
        state.SkipWithError("plug-in not loaded (build the zorvil_plugins target)");
        return;
    }
    CSeqHost& host = bench.Host();
    std::vector<CMidiMessage> messages;
    for (int i = 0; i < events; ++i)
        messages.emplace_back(static_cast<uint8_t>(i % 2 == 0 ? 0x90 : 0x80),
                              static_cast<uint8_t>(36 + i), static_cast<uint8_t>(100));
    int sinceClear = 0;
    for (auto _ : state) {
        for (const CMidiMessage& message : messages)
            host.QueueMidiEvent(message);
        host.ProcessBlock(bench.Block(), frames, 2, 0);
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

void BM_ProcessBlock(benchmark::State& state) {
    RunProcessBlock(state, "zorvil-probe-out0");
}

void BM_ProcessBlockStereo(benchmark::State& state) {
    RunProcessBlock(state, "zorvil-probe-accumulate");
}

// The unavoidable work for N stereo effects: clear the block, clear each effect's two outputs
// (the plug-in would write them), and mix them with gain sqrt(1/N) into the mix buffers.
void BM_MixBaseline(benchmark::State& state) {
    const int effects = static_cast<int>(state.range(0));
    const int frames = static_cast<int>(state.range(1));
    BenchHost bench("zorvil-probe-accumulate", effects);
    if (bench.Failed()) {
        state.SkipWithError("plug-in not loaded (build the zorvil_plugins target)");
        return;
    }
    CSeqHost& host = bench.Host();
    std::vector<float**> outputs;
    for (int s = host.GetNextEffect(-1); s >= 0; s = host.GetNextEffect(s))
        outputs.push_back(host.GetSeqEffect(s)->m_ppOutputs);
    float* const* block = bench.Block();
    float* const* mix = host.MixBuffers();
    const float gain = std::sqrt(1.0f / static_cast<float>(effects));
    for (auto _ : state) {
        std::fill_n(block[0], frames, 0.0f);
        std::fill_n(block[1], frames, 0.0f);
        for (float** out : outputs) {
            std::fill_n(out[0], frames, 0.0f);
            std::fill_n(out[1], frames, 0.0f);
        }
        for (int channel = 0; channel < 2; ++channel) {
            const float* first = outputs[0][channel];
            float* target = mix[channel];
            for (int i = 0; i < frames; ++i)
                target[i] = gain * first[i];
            for (size_t e = 1; e < outputs.size(); ++e) {
                const float* out = outputs[e][channel];
                for (int i = 0; i < frames; ++i)
                    target[i] += gain * out[i];
            }
        }
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

void MixBaselineArgs(benchmark::internal::Benchmark* bench) {
    for (int n = 1; n <= 4; ++n)
        for (int frames : {882, 2205})
            bench->Args({n, frames});
}

} // namespace

BENCHMARK(BM_ProcessBlock)->Apply(ProcessBlockArgs);
BENCHMARK(BM_ProcessBlockStereo)->Apply(ProcessBlockArgs);
BENCHMARK(BM_MixBaseline)->Apply(MixBaselineArgs);
