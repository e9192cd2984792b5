// The engine's inner loops over samples: scaling an effect's output into a mix buffer and adding
// it to what the mix holds.
//
//     MixAssign(mix, output, gain, frames);   // mix[i] = gain * output[i]
//     MixAdd(mix, output, gain, frames);      // mix[i] += gain * output[i]
//
// The buffers must not overlap. The loops run on the widest vector unit the processor offers
// (AVX2 where present, chosen once at start-up), in blocks the compiler vectorises whatever the
// optimisation level, and without fused multiply-add: every machine computes the same bits as
// the plain loop would, so renders stay identical across machines. Real-time safe.
#pragma once

namespace zorvil {

void MixAssign(float* mix, const float* output, float gain, int frames) noexcept;
void MixAdd(float* mix, const float* output, float gain, int frames) noexcept;

} // namespace zorvil
