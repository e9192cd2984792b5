// SynthVoice: one note of the demo synth, a few band-limited harmonics under a linear
// attack/release envelope.
//
// The oscillator sums up to four harmonics read from a shared sine table with a 32-bit phase
// accumulator (harmonic k simply runs at k times the phase, wrapping exactly), so the same notes
// always give the same samples. Harmonics that would reach the Nyquist frequency fade out, which
// keeps high notes free of aliasing. The envelope ramps up over the attack time, holds (or, for
// plucked timbres, fades exponentially), and on release falls linearly to exact silence, after
// which the voice is free again.
//
//     SynthVoice voice;
//     voice.Start({.note = 69, .velocity = 1.0f, .sampleRate = 44100.0f,
//                  .attackSeconds = 0.01f, .timbre = &timbre, .order = 1});
//     voice.Render(mix, 256);            // adds 256 samples of A4 to mix
//     voice.Release(0.3f, 44100.0f);     // silent 0.3 s later
//
// Real-time safe: no allocation, no locks; every member function is noexcept.
#pragma once

#include <array>
#include <cstdint>

namespace zorvil::plugins {

inline constexpr int kSynthPartials = 4;

// The sound of a program: amplitudes of harmonics 1 to 4, and how a held note behaves.
struct Timbre {
    std::array<float, kSynthPartials> partials{};
    float holdDecaySeconds = 0.0f; // 0: a held note sustains; else the time constant of its fade
};

struct VoiceStart {
    int note = 60;
    float velocity = 1.0f; // 0..1, scales the level
    float sampleRate = 44100.0f;
    float attackSeconds = 0.01f;
    const Timbre* timbre = nullptr;
    uint64_t order = 0; // larger is younger; used to steal the oldest voice
};

class SynthVoice {
public:
    // Peak level of a voice at full velocity before the synth's volume.
    static constexpr float kLevel = 0.4f;

    // Starts (or restarts) a note. A voice that is still sounding keeps its phase and envelope
    // level, so retriggering and stealing do not click.
    void Start(const VoiceStart& start) noexcept;
    void Release(float releaseSeconds, float sampleRate) noexcept;
    void Kill() noexcept;

    // Adds `frames` samples to `mix`.
    void Render(float* mix, int32_t frames) noexcept;

    bool Active() const noexcept { return m_stage != Stage::Idle; }
    bool Releasing() const noexcept { return m_stage == Stage::Release; }
    int Note() const noexcept { return m_note; }
    uint64_t Order() const noexcept { return m_order; }

    // Held by the sustain pedal after its key was released.
    bool Sustained() const noexcept { return m_sustained; }
    void SetSustained(bool sustained) noexcept { m_sustained = sustained; }

private:
    enum class Stage { Idle, Attack, Hold, Release };

    Stage m_stage = Stage::Idle;
    int m_note = -1;
    uint64_t m_order = 0;
    bool m_sustained = false;
    uint32_t m_phase = 0;
    uint32_t m_increment = 0;
    std::array<float, kSynthPartials> m_amplitudes{};
    float m_level = 0.0f;
    float m_attackStep = 1.0f;
    float m_holdFactor = 1.0f;
    float m_releaseStep = 1.0f;
};

} // namespace zorvil::plugins
