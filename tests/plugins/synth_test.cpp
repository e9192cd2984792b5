// The demo synth: what it tells the host, and the sound it makes (timing, level, release,
// polyphony, determinism).
#include "plugin_test_host.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace zorvil::test {
namespace {

using ::testing::Each;
using ::testing::FloatEq;

constexpr float kSampleRate = 44100.0f;
constexpr uint8_t kNoteOn = 0x90;
constexpr uint8_t kNoteOff = 0x80;
constexpr uint8_t kControl = 0xB0;

enum class ProcessMode { Replacing, Accumulating };

// Frames a release of the shortest time (5 ms) takes, rounded up.
constexpr std::size_t kShortestReleaseFrames = 221;

// Stereo audio rendered by the synth.
struct Stereo {
    std::vector<float> left;
    std::vector<float> right;
};

float Peak(const std::vector<float>& samples, std::size_t from = 0, std::size_t to = SIZE_MAX) {
    float peak = 0.0f;
    for (std::size_t i = from; i < std::min(to, samples.size()); ++i)
        peak = std::max(peak, std::fabs(samples[i]));
    return peak;
}

// One synth instance, opened as a host opens it, with helpers to feed and render it.
class SynthRunner {
public:
    SynthRunner(const PluginLibrary& library, TestHost& host) : m_instance(library, host) {
        m_instance.Dispatch(effSetSampleRate, 0, 0, nullptr, kSampleRate);
        m_instance.Dispatch(effSetBlockSize, 0, 512);
        m_instance.Dispatch(effOpen);
        m_instance.Dispatch(effMainsChanged, 0, 1);
    }

    const PluginInstance& Instance() const { return m_instance; }
    AEffect* operator->() const { return m_instance.Get(); }
    AEffect* Get() const { return m_instance.Get(); }
    intptr_t Dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0f) const {
        return m_instance.Dispatch(opcode, index, value, ptr, opt);
    }
    std::string Text(int32_t opcode, int32_t index = 0) const {
        return m_instance.Text(opcode, index);
    }
    void SetParameter(int32_t index, float value) const {
        Get()->setParameter(Get(), index, value);
    }

    void Send(EventList& events) const { Dispatch(effProcessEvents, 0, 0, events.Get()); }

    // Renders `frames` frames in one call, appending to `out`; the outputs start out as garbage
    // so that a frame the synth skips shows.
    void Render(int32_t frames, Stereo& out, ProcessMode mode = ProcessMode::Replacing,
                float initial = 99.0f) const {
        const std::size_t start = out.left.size();
        out.left.resize(start + static_cast<std::size_t>(frames), initial);
        out.right.resize(start + static_cast<std::size_t>(frames), initial);
        std::array<float*, 2> outputs{out.left.data() + start, out.right.data() + start};
        const AEffectProcessProc process =
            mode == ProcessMode::Replacing ? Get()->processReplacing : Get()->process;
        process(Get(), nullptr, outputs.data(), frames);
    }

    Stereo Render(int32_t frames) const {
        Stereo out;
        Render(frames, out);
        return out;
    }

    // Plays `note` from frame 0 and renders a second of it.
    Stereo HeldNote(int note, int velocity) const {
        EventList on;
        on.Midi(0, kNoteOn, static_cast<uint8_t>(note), static_cast<uint8_t>(velocity));
        Send(on);
        return Render(static_cast<int32_t>(kSampleRate));
    }

private:
    PluginInstance m_instance;
};

class Synth : public ::testing::Test {
protected:
    TestHost host;
    PluginLibrary library{"zorvil-synth"};
    SynthRunner synth{library, host};
};

TEST_F(Synth, DescribesItselfAsTheDemoInstrument) {
    EXPECT_EQ(synth.Text(effGetProductString), "Zorvil Demo Synth");
    EXPECT_EQ(synth.Text(effGetVendorString), "Ostrelworks");
    EXPECT_EQ(synth.Dispatch(effGetPlugCategory), kPlugCategSynth);
    char receiveMidi[] = "receiveVstMidiEvent";
    char receiveEvents[] = "receiveVstEvents";
    char sendMidi[] = "sendVstMidiEvent";
    EXPECT_EQ(synth.Dispatch(effCanDo, 0, 0, receiveMidi), 1);
    EXPECT_EQ(synth.Dispatch(effCanDo, 0, 0, receiveEvents), 1);
    EXPECT_EQ(synth.Dispatch(effCanDo, 0, 0, sendMidi), 0);
    void* chunk = nullptr;
    EXPECT_EQ(synth.Dispatch(effGetChunk, 0, 0, &chunk), 0);
}

TEST(SynthOpen, AsksForMidiWhenOpenedNotDuringTheEntry) {
    TestHost host;
    PluginLibrary library("zorvil-synth");
    PluginInstance synth(library, host);
    EXPECT_EQ(host.Calls(audioMasterWantMidi), 0);
    synth.Dispatch(effOpen);
    ASSERT_EQ(host.Calls(audioMasterWantMidi), 1);
    EXPECT_EQ(host.AllCalls().back().value, 1);
}

TEST_F(Synth, HasAThreeHundredByTwoHundredEditor) {
    ERect* rect = nullptr;
    EXPECT_EQ(synth.Dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, 200);
    EXPECT_EQ(rect->right, 300);
    EXPECT_EQ(synth.Dispatch(effEditOpen), 1);
    synth.Dispatch(effEditIdle);
    synth.Dispatch(effEditClose);
}

TEST_F(Synth, ProgramsKeepTheirOwnParametersWithReadableTexts) {
    EXPECT_EQ(synth.Text(effGetProgramNameIndexed, 0), "Soft Pad");
    EXPECT_EQ(synth.Text(effGetProgramNameIndexed, 1), "Bright Lead");
    EXPECT_EQ(synth.Text(effGetProgramNameIndexed, 2), "Pluck");
    EXPECT_EQ(synth.Dispatch(effGetProgramNameIndexed, 3), 0);

    EXPECT_EQ(synth.Text(effGetParamName, 0), "Volume");
    EXPECT_EQ(synth.Text(effGetParamName, 1), "Attack");
    EXPECT_EQ(synth.Text(effGetParamName, 2), "Release");
    EXPECT_EQ(synth.Text(effGetParamLabel, 0), "dB");
    EXPECT_EQ(synth.Text(effGetParamLabel, 1), "ms");
    EXPECT_EQ(synth.Text(effGetParamLabel, 2), "ms");
    EXPECT_EQ(synth.Text(effGetParamDisplay, 0), "-6.0");
    EXPECT_EQ(synth.Text(effGetParamDisplay, 1), "150");
    EXPECT_EQ(synth.Text(effGetParamDisplay, 2), "600");

    synth.Dispatch(effSetProgram, 0, 2);
    EXPECT_EQ(synth.Dispatch(effGetProgram), 2);
    EXPECT_EQ(synth.Text(effGetProgramName), "Pluck");
    EXPECT_EQ(synth.Text(effGetParamDisplay, 0), "-4.0");
    EXPECT_EQ(synth.Text(effGetParamDisplay, 1), "1");
    EXPECT_EQ(synth.Text(effGetParamDisplay, 2), "300");

    synth.SetParameter(0, 0.0f);
    EXPECT_EQ(synth.Text(effGetParamDisplay, 0), "-inf");
    synth.SetParameter(1, 1.0f);
    EXPECT_EQ(synth.Text(effGetParamDisplay, 1), "2000");
    synth.SetParameter(2, 7.0f); // clamped
    EXPECT_FLOAT_EQ(synth->getParameter(synth.Get(), 2), 1.0f);
    EXPECT_EQ(synth.Text(effGetParamDisplay, 2), "5000");
    char name[] = "My Pluck";
    synth.Dispatch(effSetProgramName, 0, 0, name);

    synth.Dispatch(effSetProgram, 0, 0);
    EXPECT_EQ(synth.Text(effGetParamDisplay, 0), "-6.0");
    EXPECT_EQ(synth.Text(effGetProgramNameIndexed, 2), "My Pluck");
}

TEST_F(Synth, IsSilentWithoutNotes) {
    const Stereo out = synth.Render(1000);
    EXPECT_THAT(out.left, Each(FloatEq(0.0f)));
    EXPECT_THAT(out.right, Each(FloatEq(0.0f)));
}

TEST_F(Synth, NoteOnSoundsFromItsDeltaFrame) {
    EventList on;
    on.Midi(100, kNoteOn, 60, 127);
    synth.Send(on);
    const Stereo out = synth.Render(512);
    EXPECT_EQ(Peak(out.left, 0, 100), 0.0f);
    EXPECT_GT(Peak(out.left, 100, 110), 0.0f);
    EXPECT_EQ(out.left, out.right);
}

TEST_F(Synth, FullVelocitySettlesBetweenATenthAndAHalf) {
    const Stereo out = synth.HeldNote(60, 127);
    const float settled = Peak(out.left, out.left.size() / 2);
    EXPECT_GT(settled, 0.1f);
    EXPECT_LT(settled, 0.5f);
    EXPECT_LE(Peak(out.left), settled * 1.01f); // no overshoot during the attack
}

TEST_F(Synth, VelocityScalesTheLevel) {
    const float full = Peak(synth.HeldNote(60, 127).left, 22050);
    EventList allSoundOff;
    allSoundOff.Midi(0, kControl, 120, 0);
    synth.Send(allSoundOff);
    const float half = Peak(synth.HeldNote(60, 64).left, 22050);
    EXPECT_NEAR(half / full, 64.0f / 127.0f, 0.01f);
}

TEST_F(Synth, PlaysThePitchOfTheNote) {
    const Stereo out = synth.HeldNote(69, 100); // A4, 440 Hz
    int crossings = 0;
    for (std::size_t i = 1; i < out.left.size(); ++i)
        if (out.left[i - 1] < 0.0f && out.left[i] >= 0.0f) ++crossings;
    EXPECT_NEAR(crossings, 440, 2);
}

TEST_F(Synth, NoteOffFadesToSilenceWithinTheReleaseTime) {
    Stereo out = synth.HeldNote(60, 127);
    EventList off;
    off.Midi(10, kNoteOff, 60, 0);
    synth.Send(off);
    synth.Render(512, out);
    const std::size_t offFrame = 44100 + 10;
    EXPECT_GT(Peak(out.left, offFrame, offFrame + 100), 0.1f);   // release, not a cut
    synth.Render(static_cast<int32_t>(0.6f * kSampleRate), out); // the default release
    synth.Render(1000, out);
    EXPECT_EQ(Peak(out.left, out.left.size() - 1000), 0.0f);
}

TEST_F(Synth, NoteOnWithVelocityZeroIsANoteOff) {
    synth.SetParameter(2, 0.0f); // shortest release, 5 ms
    EventList events;
    events.Midi(0, kNoteOn, 64, 100).Midi(200, kNoteOn, 64, 0);
    synth.Send(events);
    const Stereo out = synth.Render(2048);
    EXPECT_GT(Peak(out.left, 0, 200), 0.0f);
    EXPECT_EQ(Peak(out.left, 200 + kShortestReleaseFrames), 0.0f);
}

TEST_F(Synth, EventsAreAppliedInFrameOrderEvenWhenListedOutOfOrder) {
    synth.SetParameter(2, 0.0f);
    EventList events;
    events.Midi(300, kNoteOff, 60, 0).Midi(50, kNoteOn, 60, 100);
    synth.Send(events);
    const Stereo out = synth.Render(1024);
    EXPECT_EQ(Peak(out.left, 0, 50), 0.0f);
    EXPECT_GT(Peak(out.left, 50, 300), 0.0f);
    EXPECT_EQ(Peak(out.left, 300 + kShortestReleaseFrames), 0.0f);
}

TEST_F(Synth, SameNoteRetriggersItsOwnVoice) {
    const float one = Peak(synth.HeldNote(60, 127).left, 22050);
    const float again = Peak(synth.HeldNote(60, 127).left, 22050);
    EXPECT_NEAR(again, one, 0.001f);
}

TEST_F(Synth, SustainPedalHoldsReleasedNotesUntilLifted) {
    synth.SetParameter(2, 0.0f);
    EventList events;
    events.Midi(0, kControl, 64, 127).Midi(0, kNoteOn, 60, 100).Midi(100, kNoteOff, 60, 0);
    synth.Send(events);
    Stereo out = synth.Render(4410);
    EXPECT_GT(Peak(out.left, 4000), 0.05f);
    EventList lift;
    lift.Midi(0, kControl, 64, 0);
    synth.Send(lift);
    synth.Render(4410, out);
    EXPECT_EQ(Peak(out.left, 4410 + kShortestReleaseFrames), 0.0f);
}

TEST_F(Synth, AllSoundOffSilencesAtOnce) {
    Stereo out = synth.HeldNote(60, 127);
    EventList stop;
    stop.Midi(20, kControl, 120, 0);
    synth.Send(stop);
    synth.Render(256, out);
    EXPECT_EQ(Peak(out.left, 44100 + 20), 0.0f);
}

TEST_F(Synth, SixteenVoicesSoundTogetherAndTheOldestIsStolen) {
    // Two identical instances; only the first gets a note-off for the stolen note.
    SynthRunner twin(library, host);
    EventList chord;
    for (uint8_t note = 40; note < 56; ++note)
        chord.Midi(0, kNoteOn, note, 60);
    EventList more;
    more.Midi(0, kNoteOn, 80, 60);
    Stereo out;
    Stereo twinOut;
    for (const SynthRunner* runner : {&synth, &twin}) {
        Stereo& into = runner == &synth ? out : twinOut;
        runner->SetParameter(1, 0.0f); // 1 ms attack
        runner->Send(chord);
        runner->Render(4096, into);
        runner->Send(more);
        runner->Render(1024, into);
    }
    EXPECT_TRUE(std::all_of(out.left.begin(), out.left.end(),
                            [](float sample) { return std::isfinite(sample); }));
    EXPECT_GT(Peak(out.left, 4096), 0.1f);

    // The seventeenth note took the voice of the first, so releasing the first changes nothing.
    EventList releaseFirst;
    releaseFirst.Midi(0, kNoteOff, 40, 0);
    synth.Send(releaseFirst);
    synth.Render(1024, out);
    twin.Render(1024, twinOut);
    EXPECT_EQ(out.left, twinOut.left);
}

TEST_F(Synth, AccumulatingProcessAddsToTheOutputs) {
    SynthRunner twin(library, host);
    EventList on;
    on.Midi(0, kNoteOn, 60, 127);
    synth.Send(on);
    twin.Send(on);
    Stereo replaced;
    synth.Render(256, replaced);
    Stereo added;
    twin.Render(256, added, ProcessMode::Accumulating, 1.0f);
    for (std::size_t i = 0; i < 256; ++i) {
        EXPECT_FLOAT_EQ(added.left[i], 1.0f + replaced.left[i]) << i;
        EXPECT_FLOAT_EQ(added.right[i], 1.0f + replaced.right[i]) << i;
    }
}

TEST_F(Synth, SameEventsGiveTheSameSamplesWhateverTheBlockSize) {
    struct Timed {
        int32_t frame;
        uint8_t status;
        uint8_t note;
        uint8_t velocity;
    };
    const std::array<Timed, 3> timed{{
        {100, kNoteOn, 60, 110},
        {700, kNoteOn, 67, 90},
        {1500, kNoteOff, 60, 0},
    }};

    // One call of 2048 frames...
    EventList events;
    for (const Timed& event : timed)
        events.Midi(event.frame, event.status, event.note, event.velocity);
    synth.Send(events);
    const Stereo whole = synth.Render(2048);

    // ...equals four calls of 512 with each event in its own block.
    SynthRunner twin(library, host);
    Stereo pieces;
    for (int32_t block = 0; block < 4; ++block) {
        EventList part;
        for (const Timed& event : timed) {
            if (event.frame / 512 == block)
                part.Midi(event.frame % 512, event.status, event.note, event.velocity);
        }
        twin.Send(part);
        twin.Render(512, pieces);
    }
    ASSERT_EQ(pieces.left.size(), whole.left.size());
    EXPECT_EQ(std::memcmp(whole.left.data(), pieces.left.data(), whole.left.size() * sizeof(float)),
              0);
    EXPECT_EQ(
        std::memcmp(whole.right.data(), pieces.right.data(), whole.right.size() * sizeof(float)),
        0);
}

TEST_F(Synth, EventsBeyondTheBlockAreClampedIntoIt) {
    EventList late;
    late.Midi(5000, kNoteOn, 60, 127);
    synth.Send(late);
    const Stereo out = synth.Render(256);
    EXPECT_EQ(Peak(out.left, 0, 255), 0.0f);
    const Stereo next = synth.Render(256);
    EXPECT_GT(Peak(next.left), 0.0f);
}

} // namespace
} // namespace zorvil::test
