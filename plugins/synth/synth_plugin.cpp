#include "synth/synth_plugin.h"

#include "synth/synth_parameters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace zorvil::plugins {

namespace {

constexpr std::array<ParameterInfo, kSynthParameterCount> kParameters{{
    {"Volume", "dB"},
    {"Attack", "ms"},
    {"Release", "ms"},
}};

// Presets in natural units; the values are computed when the library loads.
const std::array<float, kSynthParameterCount> kSoftPadValues{
    VolumeValue(-6.0f), AttackValue(150.0f), ReleaseValue(600.0f)};
const std::array<float, kSynthParameterCount> kBrightLeadValues{
    VolumeValue(-9.0f), AttackValue(5.0f), ReleaseValue(120.0f)};
const std::array<float, kSynthParameterCount> kPluckValues{VolumeValue(-4.0f), AttackValue(1.0f),
                                                           ReleaseValue(300.0f)};

const std::array<ProgramPreset, 3> kPrograms{{
    {"Soft Pad", kSoftPadValues},
    {"Bright Lead", kBrightLeadValues},
    {"Pluck", kPluckValues},
}};

// One timbre per program, in program order.
constexpr std::array<Timbre, 3> kTimbres{{
    {{1.0f, 0.2f, 0.05f, 0.0f}, 0.0f},
    {{1.0f, 0.6f, 0.4f, 0.25f}, 0.0f},
    {{1.0f, 0.45f, 0.2f, 0.1f}, 0.35f},
}};

const PluginDescription kSynthDescription{
    .uniqueId = FourCharId("ZSyn"),
    .version = 1000,
    .numInputs = 0,
    .numOutputs = 2,
    .flags = effFlagsCanReplacing | effFlagsIsSynth | effFlagsHasEditor,
    .category = kPlugCategSynth,
    .product = "Zorvil Demo Synth",
    .vendor = "Ostrelworks",
    .editorRect = {.top = 0, .left = 0, .bottom = 200, .right = 300},
    .parameters = kParameters,
    .programs = kPrograms,
};

constexpr uint8_t kNoteOff = 0x80;
constexpr uint8_t kNoteOn = 0x90;
constexpr uint8_t kControlChange = 0xB0;
constexpr uint8_t kPitchBend = 0xE0;
constexpr int kPitchBendCentre = 8192;
constexpr double kPitchBendSemitones = 2.0;
constexpr uint8_t kSustainPedal = 64;
constexpr uint8_t kAllSoundOff = 120;
constexpr uint8_t kResetAllControllers = 121;
constexpr uint8_t kAllNotesOff = 123;

} // namespace

SynthPlugin::SynthPlugin(audioMasterCallback host) : PluginBase(host, kSynthDescription) {}

intptr_t SynthPlugin::Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                               float opt) {
    switch (opcode) {
    case effEditGetRect:
        if (ptr == nullptr) return 0;
        m_reportedRect = m_editor.Rect();
        *static_cast<ERect**>(ptr) = &m_reportedRect;
        return 1;
    case effEditOpen:
        return m_editor.Open(reinterpret_cast<uintptr_t>(ptr)) ? 1 : 0;
    case effEditClose:
        m_editor.Close();
        return 1;
    case effEditIdle:
        m_editor.Idle();
        return 1;
    case effEditKeyDown:
        return m_editor.KeyDown(index) ? 1 : 0;
    case effEditKeyUp:
        return index == SynthEditor::kSizeKey ? 1 : 0;
    case effClose:
        m_editor.Close();
        break;
    default:
        break;
    }
    return PluginBase::Dispatch(opcode, index, value, ptr, opt);
}

std::string SynthPlugin::ParameterText(int32_t index) const {
    std::array<char, 32> text{};
    FormatParameter(index, Parameter(index), text);
    const auto& info = kParameters.at(static_cast<std::size_t>(index));
    return std::string(info.name) + "  " + text.data() + " " + std::string(info.label);
}

std::string SynthPlugin::ProgramText() const {
    return std::string(ProgramName(CurrentProgram()));
}

void SynthPlugin::ChangeParameter(int32_t index, float value) {
    SetParameter(index, value);
    CallHost(audioMasterAutomate, index, 0, nullptr, value);
}

bool SynthPlugin::RequestSize(int width, int height) {
    return CallHost(audioMasterSizeWindow, width, height, nullptr, 0.0f) != 0;
}

void SynthPlugin::OnOpen() {
    // Hosts answer MIDI requests only once the plug-in holds a slot, so ask here and not during
    // the entry call.
    CallHost(audioMasterWantMidi, 0, 1, nullptr, 0.0f);
}

void SynthPlugin::OnMainsChanged(bool /*on*/) noexcept {
    m_resetRequested.store(true, std::memory_order_relaxed);
}

bool SynthPlugin::CanDo(std::string_view capability) const noexcept {
    return capability == "receiveVstMidiEvent" || capability == "receiveVstEvents";
}

void SynthPlugin::FormatParameter(int32_t index, float value, std::span<char> text) const noexcept {
    switch (index) {
    case kSynthVolume:
        if (value <= 0.0f) {
            std::snprintf(text.data(), text.size(), "-inf");
        } else {
            std::snprintf(text.data(), text.size(), "%.1f",
                          static_cast<double>(VolumeDecibels(value)));
        }
        break;
    case kSynthAttack:
        std::snprintf(text.data(), text.size(), "%.0f",
                      static_cast<double>(1000.0f * AttackSeconds(value)));
        break;
    case kSynthRelease:
        std::snprintf(text.data(), text.size(), "%.0f",
                      static_cast<double>(1000.0f * ReleaseSeconds(value)));
        break;
    default:
        PluginBase::FormatParameter(index, value, text);
        break;
    }
}

void SynthPlugin::ProcessEvents(const VstEvents& events) noexcept {
    for (int32_t i = 0; i < events.numEvents; ++i) {
        const VstEvent* event = events.events[i];
        if (event == nullptr || event->type != kVstMidiType) continue;
        if (m_pendingCount == m_pending.size()) break; // full: the rest is dropped
        const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
        const PendingEvent pending{midi->deltaFrames, static_cast<uint8_t>(midi->midiData[0]),
                                   static_cast<uint8_t>(midi->midiData[1]),
                                   static_cast<uint8_t>(midi->midiData[2])};
        // Insert in frame order, after events of the same frame (lists usually come sorted).
        std::size_t at = m_pendingCount;
        while (at > 0 && m_pending[at - 1].frame > pending.frame) {
            m_pending[at] = m_pending[at - 1];
            --at;
        }
        m_pending[at] = pending;
        ++m_pendingCount;
    }
}

void SynthPlugin::Process(const float* const* /*inputs*/, float* const* outputs, int32_t frames,
                          ProcessMode mode) noexcept {
    if (m_resetRequested.exchange(false, std::memory_order_relaxed)) {
        KillAll();
        ResetControllers();
    }

    float* const left = outputs[0];
    float* const right = outputs[1];
    const float targetGain = VolumeGain(Parameter(kSynthVolume));
    if (m_gain < 0.0f) m_gain = targetGain;

    std::size_t next = 0;
    for (int32_t start = 0; start < frames; start += kPieceFrames) {
        const int32_t count = std::min(kPieceFrames, frames - start);
        const int32_t end = start + count;
        std::fill_n(m_mix.begin(), count, 0.0f);

        int32_t position = start;
        while (next < m_pendingCount) {
            // Frames outside the call are clamped into it.
            const int32_t frame = std::clamp(m_pending[next].frame, 0, frames - 1);
            if (frame >= end) break;
            const int32_t at = std::max(frame, position);
            RenderVoices(position - start, at - start);
            position = at;
            HandleMidi(m_pending[next]);
            ++next;
        }
        RenderVoices(position - start, count);

        // Volume changes glide over the piece instead of stepping.
        const float step = (targetGain - m_gain) / static_cast<float>(count);
        for (int32_t i = 0; i < count; ++i) {
            const float sample =
                m_mix[static_cast<std::size_t>(i)] * (m_gain + step * static_cast<float>(i + 1));
            const auto out = static_cast<std::size_t>(start + i);
            if (mode == ProcessMode::Replacing) {
                if (left != nullptr) left[out] = sample;
                if (right != nullptr) right[out] = sample;
            } else {
                if (left != nullptr) left[out] += sample;
                if (right != nullptr) right[out] += sample;
            }
        }
        m_gain = targetGain;
    }
    m_pendingCount = 0;
}

void SynthPlugin::RenderVoices(int32_t from, int32_t to) noexcept {
    if (to <= from) return;
    for (SynthVoice& voice : m_voices) {
        if (voice.Active()) voice.Render(m_mix.data() + from, to - from);
    }
}

void SynthPlugin::HandleMidi(const PendingEvent& event) noexcept {
    const uint8_t type = event.status & 0xF0;
    const int data1 = event.data1 & 0x7F;
    const int data2 = event.data2 & 0x7F;
    if (type == kNoteOn && data2 > 0) {
        NoteOn(data1, data2);
    } else if (type == kNoteOn || type == kNoteOff) {
        NoteOff(data1);
    } else if (type == kControlChange) {
        if (data1 == kSustainPedal) SetSustainPedal(data2 >= 64);
        if (data1 == kAllSoundOff) KillAll();
        if (data1 == kResetAllControllers) ResetControllers();
        if (data1 == kAllNotesOff) ReleaseAll();
    } else if (type == kPitchBend) {
        SetPitchBend(data1 | (data2 << 7));
    }
}

SynthVoice& SynthPlugin::VoiceForNote(int note) noexcept {
    SynthVoice* oldest = nullptr;
    SynthVoice* oldestReleasing = nullptr;
    for (SynthVoice& voice : m_voices) {
        if (voice.Active() && voice.Note() == note) return voice;
    }
    for (SynthVoice& voice : m_voices) {
        if (!voice.Active()) return voice;
        if (oldest == nullptr || voice.Order() < oldest->Order()) oldest = &voice;
        if (voice.Releasing() &&
            (oldestReleasing == nullptr || voice.Order() < oldestReleasing->Order()))
            oldestReleasing = &voice;
    }
    return oldestReleasing != nullptr ? *oldestReleasing : *oldest;
}

void SynthPlugin::NoteOn(int note, int velocity) noexcept {
    const auto program = static_cast<std::size_t>(CurrentProgram());
    VoiceForNote(note).Start({.note = note,
                              .velocity = static_cast<float>(velocity) / 127.0f,
                              .sampleRate = SampleRate(),
                              .attackSeconds = AttackSeconds(Parameter(kSynthAttack)),
                              .timbre = &kTimbres[std::min(program, kTimbres.size() - 1)],
                              .order = ++m_noteOrder,
                              .pitchFactor = m_pitchFactor});
}

void SynthPlugin::NoteOff(int note) noexcept {
    for (SynthVoice& voice : m_voices) {
        if (!voice.Active() || voice.Note() != note || voice.Releasing()) continue;
        if (m_sustainPedal) {
            voice.SetSustained(true);
        } else {
            voice.Release(ReleaseSeconds(Parameter(kSynthRelease)), SampleRate());
        }
    }
}

void SynthPlugin::SetSustainPedal(bool down) noexcept {
    m_sustainPedal = down;
    if (down) return;
    for (SynthVoice& voice : m_voices) {
        if (voice.Sustained())
            voice.Release(ReleaseSeconds(Parameter(kSynthRelease)), SampleRate());
    }
}

void SynthPlugin::SetPitchBend(int value) noexcept {
    const double semitones =
        kPitchBendSemitones * static_cast<double>(value - kPitchBendCentre) / kPitchBendCentre;
    m_pitchFactor = std::exp2(semitones / 12.0);
    for (SynthVoice& voice : m_voices) {
        if (voice.Active()) voice.SetPitchFactor(m_pitchFactor);
    }
}

void SynthPlugin::ResetControllers() noexcept {
    SetSustainPedal(false);
    SetPitchBend(kPitchBendCentre);
}

void SynthPlugin::ReleaseAll() noexcept {
    m_sustainPedal = false;
    for (SynthVoice& voice : m_voices) {
        if (!voice.Releasing())
            voice.Release(ReleaseSeconds(Parameter(kSynthRelease)), SampleRate());
    }
}

void SynthPlugin::KillAll() noexcept {
    for (SynthVoice& voice : m_voices)
        voice.Kill();
    m_sustainPedal = false;
}

} // namespace zorvil::plugins
