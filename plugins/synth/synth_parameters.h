// The demo synth's three parameters and how their 0..1 values map to sound.
//
// Volume is a fader: gain = value squared, shown in dB ("-6.0" "dB", "-inf" at 0). Attack and
// Release are times that grow with the square of the value, so the short times get most of the
// travel: Attack 1 ms to 2 s, Release 5 ms to 5 s, shown in whole milliseconds ("150" "ms").
// Each mapping has its inverse, used to write the program presets in natural units.
#pragma once

#include <cstdint>

namespace zorvil::plugins {

enum SynthParameter : int32_t { kSynthVolume = 0, kSynthAttack = 1, kSynthRelease = 2 };
inline constexpr int32_t kSynthParameterCount = 3;

float VolumeGain(float value) noexcept;
float VolumeDecibels(float value) noexcept; // -infinity at 0
float VolumeValue(float decibels) noexcept;

float AttackSeconds(float value) noexcept;
float AttackValue(float milliseconds) noexcept;

float ReleaseSeconds(float value) noexcept;
float ReleaseValue(float milliseconds) noexcept;

} // namespace zorvil::plugins
