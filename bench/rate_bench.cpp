// The sample-rate converter at the device boundary: CPU time per second of stereo audio, each
// way, at 48000 and 96000 Hz (the time per iteration is the cost of one second of audio, so
// 10 ms is 1 % of one core), and the latency it adds.
//
// Added latency: a converter that plays a device's period takes input from the program's queue
// ahead of the moment it is heard (half its filter, plus what it takes at a time), so the queue
// must hold that much more for the sound not to break up; and a converter on the way in hands
// a frame on that much after it came. The benchmark counts it as the largest lead of input
// taken over output played, in milliseconds, while it plays 256-frame periods.
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
    double worst = 0;
    for (auto _ : state) {
        auto converter = RateConverter::Create(44100, rate);
        std::vector<float> left(kPeriod), right(kPeriod);
        size_t taken = 0, phase = 0;
        const auto source = [&](float* l, float* r, size_t n) {
            Signal(l, r, n, phase);
            taken += n;
        };
        for (size_t played = 0; played < 2 * static_cast<size_t>(rate); played += kPeriod) {
            converter->Pull(left.data(), right.data(), kPeriod, source);
            const double ideal = static_cast<double>(played + kPeriod) * 44100.0 / rate;
            worst = std::max(worst, (static_cast<double>(taken) - ideal) * 1000.0 / 44100.0);
        }
    }
    state.counters["added_latency_ms"] = worst;
}
BENCHMARK(BM_ConverterAddedLatency)->Arg(48000)->Arg(96000)->Iterations(1);

} // namespace
