// SynthPlugin: Zorvil's demo instrument ("Zorvil Demo Synth", 'ZSyn'), also the tests' sound
// source.
//
// MIDI in, two outputs (the same mono signal on both). Each note gets its own voice (16 of them;
// when all sound, the oldest releasing voice is taken, else the oldest voice). Three programs
// ("Soft Pad", "Bright Lead", "Pluck") each keep their own Volume, Attack and Release and choose
// a timbre. Events take effect at their deltaFrames within the next process call; note-on
// velocity scales the level. On every channel it follows the pitch bend wheel (+-2 semitones),
// the sustain pedal (controller 64), All Sound Off (120), Reset All Controllers (121) and All
// Notes Off (123).
//
// Its editor (SynthEditor) is an X11 window with a slider per parameter; the editor calls come
// from the host's user-interface thread.
//
// Threads: effProcessEvents and the process calls come from the host's engine thread (the host
// serialises them per effect); parameters may change from any thread at any time. Rendering is
// noexcept and allocates nothing: events wait in a fixed queue, voices are a fixed array, and
// audio is built in fixed-size pieces.
//
//     AEffect* effect = entry(hostCallback);                       // the library's "main"
//     effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);   // asks for MIDI
//     effect->dispatcher(effect, effProcessEvents, 0, 0, &noteOnAt100, 0.0f);
//     effect->processReplacing(effect, nullptr, outputs, 512);    // silent up to frame 100
#pragma once

#include "common/plugin_base.h"
#include "synth/synth_editor.h"
#include "synth/synth_voice.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace zorvil::plugins {

class SynthPlugin final : public PluginBase, private SynthEditorController {
public:
    static constexpr int kVoiceCount = 16;
    static constexpr std::size_t kEventCapacity = 1024;

    explicit SynthPlugin(audioMasterCallback host);

protected:
    intptr_t Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) override;
    void OnOpen() override;
    void OnMainsChanged(bool on) noexcept override;
    void ProcessEvents(const VstEvents& events) noexcept override;
    void Process(const float* const* inputs, float* const* outputs, int32_t frames,
                 ProcessMode mode) noexcept override;
    bool CanDo(std::string_view capability) const noexcept override;
    void FormatParameter(int32_t index, float value, std::span<char> text) const noexcept override;

private:
    // SynthEditorController
    int32_t ParameterCount() const noexcept override { return NumParameters(); }
    float ParameterValue(int32_t index) const noexcept override { return Parameter(index); }
    std::string ParameterText(int32_t index) const override;
    std::string ProgramText() const override;
    void ChangeParameter(int32_t index, float value) override;
    bool RequestSize(int width, int height) override;

    // A MIDI message waiting for its frame in the next process call.
    struct PendingEvent {
        int32_t frame;
        uint8_t status;
        uint8_t data1;
        uint8_t data2;
    };

    // Frames rendered at a time into the mix buffer.
    static constexpr int32_t kPieceFrames = 256;

    void HandleMidi(const PendingEvent& event) noexcept;
    void NoteOn(int note, int velocity) noexcept;
    void NoteOff(int note) noexcept;
    void SetSustainPedal(bool down) noexcept;
    void SetPitchBend(int value) noexcept; // 0..16383, 8192 is the centre
    void ResetControllers() noexcept;
    void ReleaseAll() noexcept;
    void KillAll() noexcept;
    SynthVoice& VoiceForNote(int note) noexcept;
    void RenderVoices(int32_t from, int32_t to) noexcept;

    std::array<SynthVoice, kVoiceCount> m_voices{};
    std::array<PendingEvent, kEventCapacity> m_pending{};
    std::size_t m_pendingCount = 0;
    std::array<float, kPieceFrames> m_mix{};
    uint64_t m_noteOrder = 0;
    bool m_sustainPedal = false;
    double m_pitchFactor = 1.0;
    float m_gain = -1.0f; // volume gain reached at the end of the last call; < 0 before the first

    SynthEditor m_editor{*this};
    ERect m_reportedRect{}; // what effEditGetRect hands out

    // Set by effMainsChanged (any thread), honoured by the next process call.
    std::atomic<bool> m_resetRequested{false};
};

} // namespace zorvil::plugins
