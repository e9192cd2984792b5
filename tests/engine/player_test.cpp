// The headless player: pattern, engine and real plug-ins on the manual clock; the assertions are
// on the audio that comes out. Time line (relative ms): 20 ms blocks are made at 22, 42, 62, ...
// (the carry rule), block k at sample 882 k. The pattern starts at kPlay with 120 ms steps (tempo
// 125), so step n ticks at kPlay + 120 (n + 1), never on an engine tick. A step's events carry
// time 0: they land on the last frame of the first block made after the tick.
#include "../host/probe_access.h"
#include "engine_rig.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

namespace zorvil {
namespace {

using Lines = std::vector<std::string>;
constexpr uint32_t kPlay = 1;
constexpr size_t kSettle = 300; // samples: more than the 5 ms release
constexpr size_t npos = std::string::npos;

// The capture sample where events queued at `ms` are first heard.
size_t EventSample(uint32_t ms) {
    const uint32_t block = ms < 22 ? 0 : (ms - 22) / 20 + 1;
    return size_t{block} * 882 + 881;
}
uint32_t StepTick(int n) {
    return kPlay + static_cast<uint32_t>(n + 1) * 120;
}
size_t FirstSound(const std::vector<float>& samples, size_t from) {
    for (size_t i = from; i < samples.size(); ++i) {
        if (samples[i] != 0.0f) return i;
    }
    return npos;
}
float Peak(const std::vector<float>& samples, size_t from, size_t to) {
    float peak = 0.0f;
    for (size_t i = from; i < std::min(to, samples.size()); ++i)
        peak = std::max(peak, std::abs(samples[i]));
    return peak;
}

class Player : public ::testing::Test {
protected:
    // The synth with the shortest attack (1 ms) and release (5 ms), so notes start and end
    // crisply, and a zorvil-probe at level 0 that only listens.
    void SetUp() override {
        ASSERT_EQ(rig.app.Host().LoadPlugin(test::PluginPath("zorvil-synth")), 0);
        rig.app.Host().GetEffect(0)->SetParameter(1, 0.0f);
        rig.app.Host().GetEffect(0)->SetParameter(2, 0.0f);
        ASSERT_EQ(rig.app.Host().LoadPlugin(test::PluginPath("zorvil-probe")), 1);
        rig.app.Host().GetEffect(1)->SetParameter(0, 0.0f);
    }
    // The "midi <delta> <b0> <b1> <b2> <b3>" lines of the probe's log.
    Lines ProbeMidi() {
        Lines lines;
        std::istringstream log(test::ProbeAccess("zorvil-probe").Log(*rig.app.Host().GetEffect(1)));
        for (std::string line; std::getline(log, line);) {
            if (line.rfind("midi ", 0) == 0) lines.push_back(line);
        }
        return lines;
    }
    void StartEngineThenPlay() {
        ASSERT_TRUE(rig.Start(20));
        rig.RunUntil(kPlay);
        rig.app.Pattern().SetTempo(125);
        rig.app.Pattern().Start();
        ASSERT_EQ(rig.app.Pattern().GetStepPeriod(), 120u);
    }

    test::Rig rig{5000};
};

// A note sounds from the block after its tick until its note-off; two adjacent notes on one key
// get no note-off between them.
TEST_F(Player, NotesAreHeardFromTheBlockAfterTheirTickUntilTheirNoteOff) {
    ASSERT_TRUE(rig.app.Pattern().AddNote(0, 69, 127, 4));
    ASSERT_TRUE(rig.app.Pattern().AddNote(8, 60, 100, 2));
    ASSERT_TRUE(rig.app.Pattern().AddNote(10, 60, 90, 2));
    StartEngineThenPlay();
    rig.RunUntil(1900);

    // Each event on the last frame of its block.
    EXPECT_EQ(ProbeMidi(),
              (Lines{"midi 881 90 45 7f 00", "midi 881 80 45 00 00", "midi 881 90 3c 64 00",
                     "midi 881 90 3c 5a 00", "midi 881 80 3c 00 00"}));
    const auto left = rig.capture.Left();
    // Step 0 ticks at 121 ms; the block made at 122 ms (block 5) carries the note-on on its last
    // frame, so everything before is silence; the oscillator starts at phase 0.
    const size_t onset = EventSample(StepTick(0));
    ASSERT_EQ(onset, 5u * 882 + 881);
    const size_t first = FirstSound(left, 0);
    EXPECT_GE(first, onset);
    EXPECT_LE(first, onset + 2);
    EXPECT_EQ(FirstSound(rig.capture.Right(), 0), first);
    // It sounds at the level of a note at full velocity.
    EXPECT_GT(Peak(left, onset + 882, onset + 2 * 882), 0.1f);
    EXPECT_LT(Peak(left, onset + 882, onset + 2 * 882), 0.5f);

    // Every block is loud up to the note-off's frame (the steps between send nothing for it),
    // then silence once the release has run out, until the next note.
    const size_t release = EventSample(StepTick(4));
    const size_t next = EventSample(StepTick(8)), off = EventSample(StepTick(12));
    ASSERT_GT(left.size(), off + 4 * 882);
    for (size_t block = onset / 882 + 1; block < release / 882; ++block)
        EXPECT_GT(Peak(left, block * 882, (block + 1) * 882), 0.05f) << "block " << block;
    EXPECT_GT(Peak(left, release - 100, release), 0.05f);
    EXPECT_GE(FirstSound(left, release + kSettle), next);
    EXPECT_LE(FirstSound(left, release + kSettle), next + 2);
    for (size_t block = next / 882 + 1; block < off / 882; ++block) // no break between the two
        EXPECT_GT(Peak(left, block * 882, (block + 1) * 882), 0.03f) << "block " << block;
    EXPECT_EQ(FirstSound(left, off + kSettle), npos);
}

} // namespace
} // namespace zorvil
