// The headless player: pattern, engine and real plug-ins on the manual clock; the assertions
// are on the audio that comes out (see player_harness.h for the time line).
#include "player_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>

namespace zorvil {
namespace {

using test::FirstSound;
using test::Peak;
using test::Player;

constexpr uint32_t kPlay = 1;           // relative ms at which the pattern starts
constexpr size_t kEnvelopeSettle = 300; // samples: more than the 5 ms release

TEST(Player, ANoteIsHeardFromTheBlockAfterItsTickUntilItsNoteOff) {
    Player player;
    ASSERT_GE(player.LoadSynth(), 0);
    ASSERT_TRUE(player.Pattern().AddNote(0, 69, 127, 4));
    player.StartEngine();
    player.RunUntil(kPlay);
    player.Play();
    player.RunUntil(900);

    const auto left = player.Capture().Left();
    const auto right = player.Capture().Right();
    // Step 0 ticks at 121 ms; the block made at 122 ms (block 5) carries the note-on on its
    // last frame, so everything before is silence.
    const size_t onset = Player::EventSample(Player::StepTick(kPlay, 0));
    ASSERT_EQ(onset, 5u * 882 + 881);
    const size_t first = FirstSound(left, 0);
    ASSERT_NE(first, std::string::npos);
    EXPECT_GE(first, onset);
    EXPECT_LE(first, onset + 2); // the oscillator starts at phase 0
    EXPECT_EQ(FirstSound(right, 0), first);
    // From then on it sounds at the level of a note at full velocity.
    EXPECT_GT(Peak(left, onset + 882, onset + 2 * 882), 0.1f);
    EXPECT_LT(Peak(left, onset + 882, onset + 2 * 882), 0.5f);

    const size_t release = Player::EventSample(Player::StepTick(kPlay, 4)); // step 4: note-off
    ASSERT_GT(left.size(), release + 4 * 882);
    // Every block between the two is loud: the ticks of steps 1 to 3 send nothing for it.
    for (size_t block = onset / 882 + 1; block < release / 882; ++block)
        EXPECT_GT(Peak(left, block * 882, (block + 1) * 882), 0.05f) << "block " << block;
    // Still sounding up to the note-off's frame, then silent once the release has run out.
    EXPECT_GT(Peak(left, release - 100, release), 0.05f);
    EXPECT_EQ(FirstSound(left, release + kEnvelopeSettle), std::string::npos);
}

TEST(Player, TwoAdjacentNotesOnOneKeyGetNoNoteOffBetweenThem) {
    Player player;
    ASSERT_GE(player.LoadSynth(), 0);
    const int probe = player.LoadListeningProbe();
    ASSERT_GE(probe, 0);
    ASSERT_TRUE(player.Pattern().AddNote(4, 60, 100, 2));
    ASSERT_TRUE(player.Pattern().AddNote(6, 60, 90, 2));
    player.StartEngine();
    player.RunUntil(kPlay);
    player.Play();
    player.RunUntil(1300);

    // What the plug-ins received: note-on 60/100 at step 4, note-on 60/90 at step 6, one
    // note-off at step 8, each on the last frame of its block.
    const std::vector<std::string> expected{"midi 881 90 3c 64 00", "midi 881 90 3c 5a 00",
                                            "midi 881 80 3c 00 00"};
    EXPECT_EQ(player.ProbeMidi(probe), expected);

    // And the sound does not break between them.
    const auto left = player.Capture().Left();
    const size_t first = Player::EventSample(Player::StepTick(kPlay, 4));
    const size_t off = Player::EventSample(Player::StepTick(kPlay, 8));
    for (size_t block = first / 882 + 1; block < off / 882; ++block)
        EXPECT_GT(Peak(left, block * 882, (block + 1) * 882), 0.03f) << "block " << block;
    EXPECT_EQ(FirstSound(left, off + kEnvelopeSettle), std::string::npos);
}

TEST(Player, PauseAndPlayResumeAtTheNextStep) {
    Player player;
    ASSERT_GE(player.LoadSynth(), 0);
    const int probe = player.LoadListeningProbe();
    ASSERT_GE(probe, 0);
    for (int step = 0; step < 16; ++step)
        ASSERT_TRUE(player.Pattern().AddNote(step, 40 + step, 100, 1));
    player.StartEngine();
    player.RunUntil(kPlay);
    player.Play();
    // Steps 0, 1 and 2 tick at 121, 241 and 361 ms; pause at 400.
    player.RunUntil(400);
    player.Pause();
    EXPECT_EQ(player.Pattern().GetPosition(), 3);
    player.RunUntil(1001);
    const size_t pausedUntil = player.Capture().Left().size();
    player.Play();
    player.RunUntil(1300); // step 3 ticks at 1121 ms

    // Note-ons: keys 40, 41, 42, then 43 after the pause; the note-offs of Stop in between.
    std::vector<std::string> noteOns;
    for (const std::string& line : player.ProbeMidi(probe)) {
        if (line.compare(9, 2, "90") == 0) noteOns.push_back(line.substr(12, 2));
    }
    EXPECT_EQ(noteOns, (std::vector<std::string>{"28", "29", "2a", "2b", "2c"}));

    // Silence through the pause; the sound resumes with the block after step 3's tick.
    const auto left = player.Capture().Left();
    const size_t resumed = Player::EventSample(1001 + Player::kStepPeriod);
    EXPECT_EQ(FirstSound(left, Player::EventSample(400) + kEnvelopeSettle), resumed + 1);
    EXPECT_LT(Player::EventSample(400) + kEnvelopeSettle, pausedUntil);
}

TEST(Player, TheUserEditsThePatternWhileItPlays) {
    Player player;
    ASSERT_GE(player.LoadSynth(), 0);
    CPattern& pattern = player.Pattern();
    pattern.SetStepsPerMeasure(32); // 32 steps a measure: ticks every 60 ms
    player.StartEngine();
    player.RunUntil(kPlay);
    pattern.SetTempo(Player::kTempo);
    pattern.Start();

    // The clock (timer ticks, engine triggers) runs on its own thread while this thread,
    // the user interface, edits the grid.
    std::atomic<bool> done{false};
    std::thread clockThread([&] {
        player.RunUntil(3000);
        done = true;
    });
    int edits = 0;
    while (!done.load()) {
        const int step = edits % 32;
        const int key = 50 + edits % 20;
        pattern.AddNote(step, key, 100, 1 + edits % 3);
        pattern.ResizeNote(step, step + 2, key);
        pattern.MoveNote(step, key, (step + 5) % 32, key + 1);
        pattern.SetNoteVelocity((step + 5) % 32, key + 1, 64);
        pattern.RemoveNote((step + 5) % 32, key + 1);
        ++edits;
    }
    clockThread.join();
    pattern.Stop();
    player.RunUntil(3100);
    EXPECT_GT(edits, 0);
    EXPECT_GT(player.Capture().BlockCount(), 140u);
    EXPECT_EQ(player.App().BlocksRefused(), 0u);
}

} // namespace
} // namespace zorvil
