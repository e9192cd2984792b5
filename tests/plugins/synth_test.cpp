// The demo synth's own handling of events, called directly once the host has loaded it: a note
// starts at its delta frame, a note-on of velocity 0 ends it as a note-off does, and the same
// events give the same samples whatever the block size. (Its sound through the host and the
// sequencer is the engine's player test.)
#include "host/seq_host.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <span>
#include <vector>

namespace zorvil::test {
namespace {

struct Timed {
    int32_t frame;
    uint8_t status, key, velocity;
};

float Peak(const std::vector<float>& samples, std::size_t from, std::size_t to = SIZE_MAX) {
    float peak = 0.0f;
    for (std::size_t i = from; i < std::min(to, samples.size()); ++i)
        peak = std::max(peak, std::fabs(samples[i]));
    return peak;
}

// Hands `events` (frames within this block) to the synth, then renders `frames` frames in one
// call onto the end of `left` and `right`, which start as garbage so that a skipped frame shows.
void Render(CEffect& synth, std::span<const Timed> events, int32_t frames, std::vector<float>& left,
            std::vector<float>& right) {
    std::vector<VstMidiEvent> midi(events.size());
    std::vector<intptr_t> list(2 + events.size()); // numEvents, reserved, then the pointers
    for (std::size_t i = 0; i < events.size(); ++i) {
        midi[i].type = kVstMidiType;
        midi[i].byteSize = sizeof(VstMidiEvent);
        midi[i].deltaFrames = events[i].frame;
        midi[i].midiData[0] = static_cast<char>(events[i].status);
        midi[i].midiData[1] = static_cast<char>(events[i].key);
        midi[i].midiData[2] = static_cast<char>(events[i].velocity);
        list[2 + i] = reinterpret_cast<intptr_t>(&midi[i]);
    }
    reinterpret_cast<VstEvents*>(list.data())->numEvents = static_cast<int32_t>(events.size());
    synth.Dispatch(effProcessEvents, 0, 0, list.data());
    const std::size_t start = left.size();
    left.resize(start + static_cast<std::size_t>(frames), 99.0f);
    right.resize(start + static_cast<std::size_t>(frames), 99.0f);
    float* outputs[2] = {left.data() + start, right.data() + start};
    synth.GetAEffect()->processReplacing(synth.GetAEffect(), nullptr, outputs, frames);
}

TEST(Synth, NotesStartAtTheirFrameEndAlsoByVelocityZeroAndIgnoreTheBlockSize) {
    // Key 60 ends by a note-off, key 67 by a note-on of velocity 0; the shortest release (5 ms,
    // 221 frames) follows each.
    const Timed timed[] = {
        {100, 0x90, 60, 110}, {700, 0x90, 67, 90}, {1500, 0x80, 60, 0}, {1600, 0x90, 67, 0}};
    CSeqHost host;
    for (int slot = 0; slot < 2; ++slot) {
        ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-synth")), slot);
        host.GetEffect(slot)->SetParameter(2, 0.0f);
    }
    // One call of 2048 frames...
    std::vector<float> left, right;
    Render(*host.GetEffect(0), timed, 2048, left, right);
    EXPECT_EQ(Peak(left, 0, 100), 0.0f); // from its delta frame on, not before
    EXPECT_GT(Peak(left, 100, 110), 0.0f);
    EXPECT_EQ(Peak(left, 1600 + 221), 0.0f);
    EXPECT_EQ(left, right);

    // ...equals four calls of 512 with each event in its own block.
    std::vector<float> pieceLeft, pieceRight;
    for (int32_t block = 0; block < 4; ++block) {
        std::vector<Timed> part;
        for (const Timed& event : timed)
            if (event.frame / 512 == block)
                part.push_back({event.frame % 512, event.status, event.key, event.velocity});
        Render(*host.GetEffect(1), part, 512, pieceLeft, pieceRight);
    }
    EXPECT_EQ(pieceLeft, left);
    EXPECT_EQ(pieceRight, right);
}

} // namespace
} // namespace zorvil::test
