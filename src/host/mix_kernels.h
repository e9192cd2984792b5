// The engine's inner loop over samples: the gain-scaled sum of several effects' outputs, made in
// one pass over the mix buffer.
//
//     MixSources(mix, outputs, 3, gain, frames, false);
//         // mix[i] = gain * outputs[0][i] + gain * outputs[1][i] + gain * outputs[2][i]
//     MixSources(mix, outputs, 2, gain, frames, true);
//         // mix[i] = mix[i] + gain * outputs[0][i] + gain * outputs[1][i]
//
// The terms are added from left to right, each rounded to single precision, so a sum made in
// several calls (a first with add false, the others with add true) has the same bits as one
// made in one call, and as the plain loop that adds one output at a time. The mix must not
// overlap the outputs. The loop runs on the widest vector unit the processor offers (AVX2 where
// present, chosen once at start-up), in blocks the compiler vectorises whatever the
// optimisation level, and without fused multiply-add: every machine computes the same bits, so
// renders stay identical across machines. Real-time safe.
#pragma once

namespace zorvil {

// The most outputs one call sums.
inline constexpr int kMaxMixSources = 4;

// Sums `count` outputs (1 to kMaxMixSources; other counts do nothing) into `mix`, over `frames`
// samples; `add` adds the sum to what the mix holds instead of replacing it.
void MixSources(float* mix, const float* const* outputs, int count, float gain, int frames,
                bool add) noexcept;

} // namespace zorvil
