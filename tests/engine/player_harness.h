// Player: the headless player tests listen to. The application's engine and pattern run on a
// manual clock; the engine's blocks are collected by a BlockCapture, so a test plays a pattern
// and then looks at the audio that came out, sample by sample.
//
// Time line: the engine starts at the clock's start (relative time 0) with 20 ms blocks, so
// blocks are made at 22, 42, 62, ... ms (the carry rule) and block k starts at sample k x 882
// of the capture. The pattern is started 1 ms after that by default, at tempo 125 with 16 steps
// a measure: 120 ms a step, so step n ticks at 121 + 120 n ms and never at the same millisecond
// as an engine tick. A step's events carry time stamp 0: they land on the last frame (881) of
// the first block made after the tick.
//
//     Player player;
//     player.LoadSynth();
//     player.Pattern().AddNote(0, 60, 100, 4);
//     player.StartEngine();
//     player.Play();                   // at relative time 1
//     player.RunUntil(700);            // relative ms
//     auto left = player.Capture().Left();
#pragma once

#include "app/zorvil_app.h"
#include "block_capture.h"
#include "platform/clock_manual.h"
#include "support/scripted_user_interface.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zorvil::test {

class Player {
public:
    static constexpr uint32_t kBlockPeriod = 20;
    static constexpr int kBlockFrames = 882;
    static constexpr uint32_t kFirstBlock = 22; // relative ms of the first block
    static constexpr int kTempo = 125;          // 120 ms a step at 16 steps a measure
    static constexpr uint32_t kStepPeriod = 120;

    explicit Player(uint32_t clockStart = 5000);
    ~Player();

    // Loads the demo synth with the shortest attack (1 ms) and release (5 ms): notes start and
    // end crisply. Returns the slot.
    int LoadSynth();
    // Loads another of our plug-ins; returns the slot.
    int Load(const std::string& plugin);
    // Loads a zorvil-probe that only listens: its Level is 0, so it adds nothing to the mix.
    int LoadListeningProbe();
    // The MIDI lines ("midi <delta> <b0> <b1> <b2> <b3>") of the log of the zorvil-probe in
    // `slot`, in order.
    std::vector<std::string> ProbeMidi(int slot);

    // Starts the engine timer at relative time 0 (the clock must still be at its start).
    void StartEngine();
    // Sets up the pattern (tempo kTempo, 1 measure of 16 steps unless changed) and starts it.
    void Play();
    // Pause: stops the step clock (its note-offs go out with the next block).
    void Pause();
    // Ticks until the relative time reaches `ms`, every block made and finished on the way.
    void RunUntil(uint32_t ms);
    [[nodiscard]] uint32_t Now() const; // relative ms

    // The capture sample where events queued at relative time `ms` are first heard: the last
    // frame of the first block made after `ms`.
    static size_t EventSample(uint32_t ms);
    // The relative time of step tick n of a pattern started at `playTime`.
    static uint32_t StepTick(uint32_t playTime, int n) { return playTime + (n + 1) * kStepPeriod; }

    CZorvilApp& App() { return *m_app; }
    CPattern& Pattern() { return m_app->Pattern(); }
    BlockCapture& Capture() { return m_capture; }

private:
    platform::ManualClock m_clock;
    uint32_t m_start;
    ScriptedUserInterface m_ui;
    BlockCapture m_capture{kBlockFrames * 200};
    std::unique_ptr<CZorvilApp> m_app;
};

// The first sample index at or after `from` whose magnitude exceeds `threshold`, or npos.
size_t FirstSound(const std::vector<float>& samples, size_t from, float threshold = 0.0f);
// The largest magnitude in [from, to).
float Peak(const std::vector<float>& samples, size_t from, size_t to);

} // namespace zorvil::test
