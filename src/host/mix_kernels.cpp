#include "host/mix_kernels.h"

namespace zorvil {

namespace {

// Whole blocks of a fixed size let the vectoriser replace them entirely; the tail is plain.
constexpr int kBlock = 16;

template <bool kAdd>
inline __attribute__((always_inline)) void
Mix(float* __restrict mix, const float* __restrict output, float gain, int frames) noexcept {
    int i = 0;
    for (; i + kBlock <= frames; i += kBlock)
        for (int j = 0; j < kBlock; ++j)
            mix[i + j] = kAdd ? mix[i + j] + gain * output[i + j] : gain * output[i + j];
    for (; i < frames; ++i)
        mix[i] = kAdd ? mix[i] + gain * output[i] : gain * output[i];
}

template <bool kAdd>
void MixPlain(float* mix, const float* output, float gain, int frames) noexcept {
    Mix<kAdd>(mix, output, gain, frames);
}

template <bool kAdd>
__attribute__((target("avx2"))) void MixAvx2(float* mix, const float* output, float gain,
                                             int frames) noexcept {
    Mix<kAdd>(mix, output, gain, frames);
}

using MixFunction = void (*)(float*, const float*, float, int) noexcept;

template <bool kAdd>
MixFunction Pick() noexcept {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? &MixAvx2<kAdd> : &MixPlain<kAdd>;
}

// Chosen while the program starts, before any engine thread runs.
const MixFunction g_mixAssign = Pick<false>();
const MixFunction g_mixAdd = Pick<true>();

} // namespace

void MixAssign(float* mix, const float* output, float gain, int frames) noexcept {
    g_mixAssign(mix, output, gain, frames);
}

void MixAdd(float* mix, const float* output, float gain, int frames) noexcept {
    g_mixAdd(mix, output, gain, frames);
}

} // namespace zorvil
