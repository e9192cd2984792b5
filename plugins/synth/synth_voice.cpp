#include "synth/synth_voice.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zorvil::plugins {

namespace {

constexpr int kTableBits = 12;
constexpr uint32_t kTableSize = 1u << kTableBits;
constexpr int kFractionBits = 32 - kTableBits;
constexpr uint32_t kFractionMask = (1u << kFractionBits) - 1u;
constexpr float kFractionScale = 1.0f / static_cast<float>(1u << kFractionBits);

// A held note fading below this level (-80 dB) has ended.
constexpr float kSilentLevel = 1.0e-4f;

// One sine period, with a guard point so interpolation never wraps.
class SineTable {
public:
    SineTable() {
        for (uint32_t i = 0; i <= kTableSize; ++i) {
            m_values[i] = static_cast<float>(
                std::sin(2.0 * std::numbers::pi * static_cast<double>(i) / kTableSize));
        }
    }

    float At(uint32_t phase) const noexcept {
        const uint32_t index = phase >> kFractionBits;
        const float fraction = static_cast<float>(phase & kFractionMask) * kFractionScale;
        const float a = m_values[index];
        return a + fraction * (m_values[index + 1] - a);
    }

private:
    std::array<float, kTableSize + 1> m_values{};
};

// Built when the library loads, never on the audio thread.
const SineTable kSine;

float Samples(float seconds, float sampleRate) noexcept {
    return std::max(1.0f, seconds * sampleRate);
}

} // namespace

void SynthVoice::Start(const VoiceStart& start) noexcept {
    const float sampleRate = start.sampleRate > 0.0f ? start.sampleRate : 44100.0f;
    const float nyquist = 0.5f * sampleRate;
    // Keep the fundamental below Nyquist so the phase increment fits.
    const double frequency =
        std::min(440.0 * std::exp2((start.note - 69) / 12.0), 0.45 * sampleRate);

    if (!Active()) {
        m_phase = 0;
        m_level = 0.0f;
    }
    m_stage = Stage::Attack;
    m_note = start.note;
    m_order = start.order;
    m_sustained = false;
    m_increment = static_cast<uint32_t>(frequency / sampleRate * 4294967296.0);

    float total = 0.0f;
    for (const float partial : start.timbre->partials)
        total += partial;
    const float gain =
        total > 0.0f ? kLevel * std::clamp(start.velocity, 0.0f, 1.0f) / total : 0.0f;
    for (int k = 0; k < kSynthPartials; ++k) {
        // Harmonics fade out between 0.7 and 0.9 of Nyquist.
        const auto harmonic = static_cast<float>(frequency) * static_cast<float>(k + 1);
        const float fade = std::clamp((0.9f * nyquist - harmonic) / (0.2f * nyquist), 0.0f, 1.0f);
        m_amplitudes[static_cast<std::size_t>(k)] =
            gain * fade * start.timbre->partials[static_cast<std::size_t>(k)];
    }

    m_attackStep = 1.0f / Samples(start.attackSeconds, sampleRate);
    m_holdFactor = start.timbre->holdDecaySeconds > 0.0f
                       ? std::exp(-1.0f / Samples(start.timbre->holdDecaySeconds, sampleRate))
                       : 1.0f;
}

void SynthVoice::Release(float releaseSeconds, float sampleRate) noexcept {
    if (!Active()) return;
    m_stage = Stage::Release;
    m_sustained = false;
    m_releaseStep = m_level / Samples(releaseSeconds, sampleRate > 0.0f ? sampleRate : 44100.0f);
    if (m_releaseStep <= 0.0f) Kill();
}

void SynthVoice::Kill() noexcept {
    m_stage = Stage::Idle;
    m_level = 0.0f;
    m_note = -1;
    m_sustained = false;
}

void SynthVoice::Render(float* mix, int32_t frames) noexcept {
    for (int32_t i = 0; i < frames && Active(); ++i) {
        switch (m_stage) {
        case Stage::Attack:
            m_level += m_attackStep;
            if (m_level >= 1.0f) {
                m_level = 1.0f;
                m_stage = Stage::Hold;
            }
            break;
        case Stage::Hold:
            m_level *= m_holdFactor;
            if (m_level < kSilentLevel) Kill();
            break;
        case Stage::Release:
            m_level -= m_releaseStep;
            if (m_level <= 0.0f) Kill();
            break;
        case Stage::Idle:
            break;
        }
        if (!Active()) break;

        float sample = 0.0f;
        uint32_t phase = m_phase;
        for (const float amplitude : m_amplitudes) {
            sample += amplitude * kSine.At(phase);
            phase += m_phase; // harmonic k runs at k times the phase
        }
        mix[i] += m_level * sample;
        m_phase += m_increment;
    }
}

} // namespace zorvil::plugins
