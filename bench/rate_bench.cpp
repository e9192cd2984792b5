// The sample-rate converter at the device boundary: CPU time per second of stereo audio, each
// way, at 48000 and 96000 Hz (the time per iteration is the cost of one second of audio, so
// 10 ms is 1 % of one core), and the latency it adds.
//
// Added latency: a converter that plays a device's period takes input from the program's queue
// ahead of the moment it is heard (half its filter), so the queue must hold that much more for
// the sound not to break up; and a converter on the way in hands a frame on that much after it
// came. The benchmark counts both while it plays 256-frame periods: the largest lead of input
// taken over output played, and the largest lag of output handed on behind input received, in
// milliseconds.
//
// On a 2-core 2.1 GHz machine (CPU time, the machine shared): 2.3 ms per second of audio each
// way at 48000 Hz, 4.2-4.5 ms at 96000 Hz (0.23 % and 0.45 % of one core); 1.81-1.83 ms added
// each way. libsamplerate's best sinc converter, used before, took 38 ms and 73-88 ms (3.8 %,
// 7-9 %) and added 3.6 ms; libsoxr at a quality that meets the same goals costs 0.13-0.16 % but
// reads 19-21 ms ahead, as it converts in blocks.
#include "platform/rate_converter.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using zorvil::platform::RateConverter;

constexpr size_t kPeriod = 256;

// A signal that keeps the filter busy: a sine with a little of everything on top.
void Signal(float* left, float* right, size_t n, size_t& phase) {
    for (size_t i = 0; i < n; ++i, ++phase) {
        left[i] = 0.5f * std::sin(0.0627f * static_cast<float>(phase % 100000)) +
                  0.01f * static_cast<float>((phase * 7919) % 200) / 200.0f;
        right[i] = -left[i];
    }
}

void BM_ConverterToDevice(benchmark::State& state) {
    const auto rate = static_cast<uint32_t>(state.range(0));
    auto converter = RateConverter::Create(44100, rate);
    std::vector<float> left(kPeriod), right(kPeriod);
    size_t phase = 0;
    const auto source = [&](float* l, float* r, size_t n) { Signal(l, r, n, phase); };
    for (auto _ : state)
        for (size_t done = 0; done < rate; done += kPeriod) // one second at the device's rate
            converter->Pull(left.data(), right.data(), kPeriod, source);
    benchmark::DoNotOptimize(left.data());
}
BENCHMARK(BM_ConverterToDevice)->Arg(48000)->Arg(96000)->Unit(benchmark::kMillisecond);

void BM_ConverterFromDevice(benchmark::State& state) {
    const auto rate = static_cast<uint32_t>(state.range(0));
    auto converter = RateConverter::Create(rate, 44100);
    std::vector<float> left(kPeriod), right(kPeriod);
    size_t phase = 0, made = 0;
    for (auto _ : state)
        for (size_t done = 0; done < rate; done += kPeriod) {
            Signal(left.data(), right.data(), kPeriod, phase);
            converter->Push(left.data(), right.data(), kPeriod,
                            [&](const float*, const float*, size_t n) { made += n; });
        }
    benchmark::DoNotOptimize(made);
}
BENCHMARK(BM_ConverterFromDevice)->Arg(48000)->Arg(96000)->Unit(benchmark::kMillisecond);

void BM_ConverterAddedLatency(benchmark::State& state) {
    const auto rate = static_cast<uint32_t>(state.range(0));
    double lead = 0, lag = 0;
    for (auto _ : state) {
        auto up = RateConverter::Create(44100, rate);
        auto down = RateConverter::Create(rate, 44100);
        std::vector<float> left(kPeriod), right(kPeriod);
        size_t taken = 0, made = 0, phase = 0;
        const auto source = [&](float* l, float* r, size_t n) {
            Signal(l, r, n, phase);
            taken += n;
        };
        const auto sink = [&](const float*, const float*, size_t n) { made += n; };
        for (size_t played = 0; played < 2 * static_cast<size_t>(rate); played += kPeriod) {
            up->Pull(left.data(), right.data(), kPeriod, source);
            down->Push(left.data(), right.data(), kPeriod, sink);
            // Both counted in the program's frames, against what the device's frames stand for.
            const double ideal = static_cast<double>(played + kPeriod) * 44100.0 / rate;
            lead = std::max(lead, (static_cast<double>(taken) - ideal) * 1000.0 / 44100.0);
            lag = std::max(lag, (ideal - static_cast<double>(made)) * 1000.0 / 44100.0);
        }
    }
    state.counters["added_latency_out_ms"] = lead;
    state.counters["added_latency_in_ms"] = lag;
}
BENCHMARK(BM_ConverterAddedLatency)->Arg(48000)->Arg(96000)->Iterations(1);

} // namespace
