// The MIDI input queue under load: producers queue short messages while the engine's consumer
// drains the queue once per simulated block (snapshot, read every entry, remove them).
//
// BM_QueueMidiEvent/threads:2 is the realistic contention case (a MIDI input and the step clock
// both queueing while the engine drains); BM_QueueMidiEvent/threads:1 is one producer beside the
// consumer; BM_QueueMidiEventUncontended queues and drains on one thread, the cost with no
// contention at all. Producers yield while the queue is three-quarters full. Counters: drain_ns is
// the consumer's mean time per drain, per_drain the mean number of entries each drain took, dropped
// the share of messages lost to a full queue.
#include "midi/midi_input_queue.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <memory>
#include <thread>

namespace {

using zorvil::CMidiInputQueue;
using zorvil::CMidiMessage;

// A simulated block: the consumer drains when this many entries wait, or when it finds the
// producers idle.
constexpr uint32_t kBlockEntries = 64;
constexpr uint32_t kBackPressure = CMidiInputQueue::kShortCapacity * 3 / 4;

struct Consumer {
    CMidiInputQueue queue;
    std::atomic<bool> stop{false};
    uint64_t drains = 0;
    uint64_t consumed = 0;
    std::chrono::nanoseconds drainTime{0};
    uint32_t checksum = 0;
    std::thread thread;

    void Run() {
        while (!stop.load(std::memory_order_relaxed)) {
            if (queue.Snapshot().shortCount < kBlockEntries) {
                std::this_thread::yield();
                continue;
            }
            Drain();
        }
        Drain();
    }

    void Drain() {
        const auto start = std::chrono::steady_clock::now();
        const auto counts = queue.Snapshot();
        for (uint32_t i = 0; i < counts.shortCount; ++i)
            checksum += queue.ShortWord(i) ^ queue.ShortTime(i);
        queue.RemoveFront(counts);
        drainTime += std::chrono::steady_clock::now() - start;
        ++drains;
        consumed += counts.shortCount;
    }
};

std::unique_ptr<Consumer> g_consumer;
std::atomic<uint64_t> g_sent{0};

void BM_QueueMidiEvent(benchmark::State& state) {
    if (state.thread_index() == 0) {
        g_consumer = std::make_unique<Consumer>();
        g_sent = 0;
        g_consumer->thread = std::thread([] { g_consumer->Run(); });
    }
    CMidiMessage note(static_cast<uint8_t>(0x90 | state.thread_index()), 60, 100);
    uint64_t sent = 0;
    for (auto _ : state) {
        note.SetTime(static_cast<uint32_t>(sent++));
        g_consumer->queue.Queue(note);
        // A real source never floods the queue: hold back while it is three-quarters full, so
        // that the figure is the cost of queueing rather than of dropping.
        if (g_consumer->queue.Snapshot().shortCount >= kBackPressure) std::this_thread::yield();
    }
    g_sent += sent;
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        // Every producer has left the loop here (the library waits for all before this point).
        g_consumer->stop = true;
        g_consumer->thread.join();
        const Consumer& c = *g_consumer;
        const double drains = static_cast<double>(c.drains);
        state.counters["drain_ns"] = drains > 0 ? c.drainTime.count() / drains : 0;
        state.counters["per_drain"] = drains > 0 ? c.consumed / drains : 0;
        state.counters["dropped"] =
            g_sent > 0 ? 1.0 - static_cast<double>(c.consumed) / g_sent.load() : 0;
        benchmark::DoNotOptimize(c.checksum);
        g_consumer.reset();
    }
}
BENCHMARK(BM_QueueMidiEvent)->Threads(1)->Threads(2)->UseRealTime();

void BM_QueueMidiEventUncontended(benchmark::State& state) {
    CMidiInputQueue queue;
    CMidiMessage note(0x90, 60, 100);
    uint32_t checksum = 0;
    uint32_t n = 0;
    for (auto _ : state) {
        note.SetTime(n);
        queue.Queue(note);
        if (++n % kBlockEntries == 0) {
            const auto counts = queue.Snapshot();
            for (uint32_t i = 0; i < counts.shortCount; ++i)
                checksum += queue.ShortWord(i) ^ queue.ShortTime(i);
            queue.RemoveFront(counts);
        }
    }
    benchmark::DoNotOptimize(checksum);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QueueMidiEventUncontended);

} // namespace
