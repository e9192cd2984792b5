#include "synth/synth_parameters.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zorvil::plugins {

namespace {

constexpr float kAttackMinMs = 1.0f;
constexpr float kAttackMaxMs = 2000.0f;
constexpr float kReleaseMinMs = 5.0f;
constexpr float kReleaseMaxMs = 5000.0f;

float SquareLawMs(float value, float minMs, float maxMs) noexcept {
    return minMs + (maxMs - minMs) * value * value;
}

float SquareLawValue(float milliseconds, float minMs, float maxMs) noexcept {
    return std::sqrt(std::clamp((milliseconds - minMs) / (maxMs - minMs), 0.0f, 1.0f));
}

} // namespace

float VolumeGain(float value) noexcept {
    return value * value;
}

float VolumeDecibels(float value) noexcept {
    if (value <= 0.0f) return -std::numeric_limits<float>::infinity();
    return 40.0f * std::log10(value);
}

float VolumeValue(float decibels) noexcept {
    return std::clamp(std::pow(10.0f, decibels / 40.0f), 0.0f, 1.0f);
}

float AttackSeconds(float value) noexcept {
    return 0.001f * SquareLawMs(value, kAttackMinMs, kAttackMaxMs);
}

float AttackValue(float milliseconds) noexcept {
    return SquareLawValue(milliseconds, kAttackMinMs, kAttackMaxMs);
}

float ReleaseSeconds(float value) noexcept {
    return 0.001f * SquareLawMs(value, kReleaseMinMs, kReleaseMaxMs);
}

float ReleaseValue(float milliseconds) noexcept {
    return SquareLawValue(milliseconds, kReleaseMinMs, kReleaseMaxMs);
}

} // namespace zorvil::plugins
