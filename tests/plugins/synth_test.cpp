// The demo synth's sound as the host's tests rely on it: silence without notes, a note from its
// delta frame at a sensible level, silence again after the release, and the same samples
// whatever the block size.
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

// Frames a release of the shortest time (5 ms) takes, rounded up.
constexpr std::size_t kShortestReleaseFrames = 221;

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

// One synth instance, opened as a host opens it.
class SynthRunner {
public:
    explicit SynthRunner(const PluginLibrary& library) : m_instance(library) {
        m_instance.Dispatch(effSetSampleRate, 0, 0, nullptr, kSampleRate);
        m_instance.Dispatch(effSetBlockSize, 0, 512);
        m_instance.Dispatch(effOpen);
        m_instance.Dispatch(effMainsChanged, 0, 1);
    }

    void SetParameter(int32_t index, float value) const {
        m_instance->setParameter(m_instance.Get(), index, value);
    }
    void Send(EventList& events) const {
        m_instance.Dispatch(effProcessEvents, 0, 0, events.Get());
    }

    // Renders `frames` frames in one call, appending to `out`; the outputs start out as garbage
    // so that a frame the synth skips shows.
    void Render(int32_t frames, Stereo& out) const {
        const std::size_t start = out.left.size();
        out.left.resize(start + static_cast<std::size_t>(frames), 99.0f);
        out.right.resize(start + static_cast<std::size_t>(frames), 99.0f);
        std::array<float*, 2> outputs{out.left.data() + start, out.right.data() + start};
        m_instance->processReplacing(m_instance.Get(), nullptr, outputs.data(), frames);
    }
    Stereo Render(int32_t frames) const {
        Stereo out;
        Render(frames, out);
        return out;
    }

private:
    PluginInstance m_instance;
};

class Synth : public ::testing::Test {
protected:
    PluginLibrary library{"zorvil-synth"};
    SynthRunner synth{library};
};

TEST_F(Synth, SilentUntilANoteThenSettlesAndFadesToSilenceAfterTheRelease) {
    Stereo out = synth.Render(1000);
    EXPECT_THAT(out.left, Each(FloatEq(0.0f)));
    EventList on;
    on.Midi(100, kNoteOn, 60, 127);
    synth.Send(on);
    synth.Render(static_cast<int32_t>(kSampleRate), out);
    EXPECT_EQ(Peak(out.left, 0, 1100), 0.0f); // from its delta frame on, not before
    EXPECT_GT(Peak(out.left, 1100, 1110), 0.0f);
    EXPECT_EQ(out.left, out.right);
    const float settled = Peak(out.left, out.left.size() / 2);
    EXPECT_GT(settled, 0.1f);
    EXPECT_LT(settled, 0.5f);
    EXPECT_LE(Peak(out.left), settled * 1.01f); // no overshoot during the attack

    EventList off;
    off.Midi(10, kNoteOff, 60, 0);
    synth.Send(off);
    const std::size_t offFrame = out.left.size() + 10;
    synth.Render(512, out);
    EXPECT_GT(Peak(out.left, offFrame, offFrame + 100), 0.1f);   // a release, not a cut
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
    SynthRunner twin(library);
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

} // namespace
} // namespace zorvil::test
