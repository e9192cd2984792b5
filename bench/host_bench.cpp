// The host's per-sub-block event work: one event list from the queue and one filtered list per
// effect (here two effects: one on every channel, one on channel 1 only).
#include "host/seq_host.h"

#include <benchmark/benchmark.h>

namespace {

void BM_BuildAndFilterEvents(benchmark::State& state) {
    zorvil::CSeqHost host;
    const auto queued = static_cast<uint32_t>(state.range(0));
    for (uint32_t i = 0; i < queued; ++i) {
        zorvil::CMidiMessage message(static_cast<uint8_t>(0x90 | (i % 2)),
                                     static_cast<uint8_t>(i % 128), 100);
        message.SetTime(1000 + i % 20);
        host.QueueMidiEvent(message);
    }
    for (auto _ : state) {
        const auto counts = host.MidiQueue().Snapshot();
        VstEvents* list = host.BuildEventList(882, 1000, counts.shortCount, counts.sysexCount);
        benchmark::DoNotOptimize(host.FilterEvents(list, 0xFFFF));
        benchmark::DoNotOptimize(host.FilterEvents(list, 0x0001));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(queued));
}
BENCHMARK(BM_BuildAndFilterEvents)->Arg(0)->Arg(16)->Arg(256);

} // namespace
