#include "host/mix_kernels.h"

#include <array>
#include <utility>

namespace zorvil {

namespace {

// Eight lanes, loaded and stored at any float's alignment; on a processor without AVX2 the
// compiler splits each operation into narrower ones with the same results.
using Vec = float __attribute__((vector_size(32)));
using UnalignedVec = float __attribute__((vector_size(32), aligned(4), may_alias));
constexpr int kLanes = 8;

// The eight floats from `p` on, as one vector.
inline const UnalignedVec& Lanes(const float* p) noexcept {
    return *reinterpret_cast<const UnalignedVec*>(p);
}

inline UnalignedVec& Lanes(float* p) noexcept {
    return *reinterpret_cast<UnalignedVec*>(p);
}

// Two vectors per step, so that the additions of the two halves overlap; the tail is plain.
// Every output of a step is read before the mix is written.
template <int kCount, bool kAdd>
inline __attribute__((always_inline)) void Sum(float* mix, const float* const* outputs, float gain,
                                               int frames) noexcept {
    const float* source[kCount];
    for (int e = 0; e < kCount; ++e)
        source[e] = outputs[e];
    const Vec g = {gain, gain, gain, gain, gain, gain, gain, gain};
    int i = 0;
    for (; i + 2 * kLanes <= frames; i += 2 * kLanes) {
        Vec low = g * Lanes(source[0] + i);
        Vec high = g * Lanes(source[0] + i + kLanes);
        if constexpr (kAdd) {
            low = Lanes(mix + i) + low;
            high = Lanes(mix + i + kLanes) + high;
        }
#pragma GCC unroll 4
        for (int e = 1; e < kCount; ++e) {
            low = low + g * Lanes(source[e] + i);
            high = high + g * Lanes(source[e] + i + kLanes);
        }
        Lanes(mix + i) = low;
        Lanes(mix + i + kLanes) = high;
    }
    for (; i < frames; ++i) {
        float sum = gain * source[0][i];
        if constexpr (kAdd) sum = mix[i] + sum;
        for (int e = 1; e < kCount; ++e)
            sum = sum + gain * source[e][i];
        mix[i] = sum;
    }
}

using SumFunction = void (*)(float*, const float* const*, float, int) noexcept;

template <int kCount, bool kAdd>
void SumPlain(float* mix, const float* const* outputs, float gain, int frames) noexcept {
    Sum<kCount, kAdd>(mix, outputs, gain, frames);
}

template <int kCount, bool kAdd>
__attribute__((target("avx2"))) void SumAvx2(float* mix, const float* const* outputs, float gain,
                                             int frames) noexcept {
    Sum<kCount, kAdd>(mix, outputs, gain, frames);
}

// [add][count - 1]
using SumTable = std::array<std::array<SumFunction, kMaxMixSources>, 2>;

template <bool kAvx2, bool kAdd, int... kCounts>
constexpr std::array<SumFunction, kMaxMixSources>
Row(std::integer_sequence<int, kCounts...> /*counts*/) noexcept {
    if constexpr (kAvx2)
        return {&SumAvx2<kCounts + 1, kAdd>...};
    else
        return {&SumPlain<kCounts + 1, kAdd>...};
}

template <bool kAvx2>
constexpr SumTable Table() noexcept {
    constexpr auto counts = std::make_integer_sequence<int, kMaxMixSources>{};
    return {Row<kAvx2, false>(counts), Row<kAvx2, true>(counts)};
}

SumTable Pick() noexcept {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? Table<true>() : Table<false>();
}

// Chosen while the program starts, before any engine thread runs.
const SumTable g_sum = Pick();

} // namespace

void MixSources(float* mix, const float* const* outputs, int count, float gain, int frames,
                bool add) noexcept {
    if (count < 1 || count > kMaxMixSources) return;
    g_sum[add ? 1 : 0][count - 1](mix, outputs, gain, frames);
}

} // namespace zorvil
