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
constexpr uint32_t kQuarterTurn = 1u << 30; // a quarter period: sin(x + quarter) = cos(x)

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
    m_cyclesPerSample = frequency / sampleRate;
    SetPitchFactor(start.pitchFactor);

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

void SynthVoice::SetPitchFactor(double factor) noexcept {
    // Bent notes stay below Nyquist too, so the increment fits in 31 bits.
    const double cycles = std::clamp(m_cyclesPerSample * factor, 0.0, 0.49);
    m_increment = static_cast<uint32_t>(cycles * 4294967296.0);
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

        // Harmonics 2 to 4 from the fundamental's sine and cosine (multiple-angle formulas):
        // two table reads per sample instead of four.
        const float s1 = kSine.At(m_phase);
        const float c1 = kSine.At(m_phase + kQuarterTurn);
        const float s2 = 2.0f * s1 * c1;
        const float c2 = 1.0f - 2.0f * s1 * s1;
        const float s3 = s1 * (3.0f - 4.0f * s1 * s1);
        const float s4 = 2.0f * s2 * c2;
        const float sample = m_amplitudes[0] * s1 + m_amplitudes[1] * s2 + m_amplitudes[2] * s3 +
                             m_amplitudes[3] * s4;
        mix[i] += m_level * sample;
        m_phase += m_increment;
    }
}

} // namespace zorvil::plugins
