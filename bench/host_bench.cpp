// The host's per-sub-block event work: one event list from the queue and one filtered list per
// effect (here two effects: one on every channel, one on channel 1 only). And what a plug-in's
// automation costs the thread it calls from (the engine's, in a process call): one post to the
// window mailbox, drained in batches as the user-interface thread would.
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

void BM_WindowMailboxPost(benchmark::State& state) {
    zorvil::CWindowMailbox mailbox;
    mailbox.SetWaker([] {});
    const zorvil::WindowEvent event{0, 1, zorvil::WindowEventKind::ParameterAutomated, {3, 0}};
    int posted = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(mailbox.Post(event));
        if (++posted == 64) { // a batch, as the user-interface thread drains it
            state.PauseTiming();
            mailbox.Drain([](const zorvil::WindowEvent& e) { benchmark::DoNotOptimize(e); });
            posted = 0;
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WindowMailboxPost);

} // namespace
