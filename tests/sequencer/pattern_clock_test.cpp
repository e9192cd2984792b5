#include "platform/clock_manual.h"
#include "platform/clock_real.h"
#include "sequencer/pattern.h"
#include "support/scripted_user_interface.h"

#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <vector>

using zorvil::CMidiMessage;
using zorvil::CPattern;
using zorvil::RenderState;
using zorvil::RenderStateWord;
using zorvil::platform::ManualClock;

namespace {

constexpr uint32_t On(int key, int velocity) {
    return 0x90u | static_cast<uint32_t>(key) << 8 | static_cast<uint32_t>(velocity) << 16;
}
constexpr uint32_t Off(int key, int velocity = 0) {
    return 0x80u | static_cast<uint32_t>(key) << 8 | static_cast<uint32_t>(velocity) << 16;
}
using Words = std::vector<uint32_t>;

// Records what the clock queues; every event must carry time 0.
class EventRecorder : public zorvil::IMidiEventQueue {
public:
    void QueueMidiEvent(const CMidiMessage& message) override {
        const std::lock_guard lock(m_mutex);
        m_words.push_back(message.ShortMessage());
        m_allAtTimeZero &= message.Time() == 0 && message.Header() == nullptr;
    }
    Words Take() {
        const std::lock_guard lock(m_mutex);
        return std::exchange(m_words, {});
    }
    bool AllAtTimeZero() const {
        const std::lock_guard lock(m_mutex);
        return m_allAtTimeZero;
    }

private:
    mutable std::mutex m_mutex;
    Words m_words;
    bool m_allAtTimeZero = true;
};

class PatternClock : public ::testing::Test {
protected:
    PatternClock() {
        pattern.SetClockService(&clock);
        pattern.SetEventQueue(&events);
        pattern.SetUserInterface(&ui);
        pattern.SetRenderState(&renderState);
    }
    ~PatternClock() override { EXPECT_TRUE(events.AllAtTimeZero()); }

    // Runs the next tick and returns what it sent.
    Words Tick() {
        EXPECT_TRUE(clock.AdvanceToNextTick());
        return events.Take();
    }

    ManualClock clock{1000};
    EventRecorder events;
    zorvil::test::ScriptedUserInterface ui;
    RenderStateWord renderState{RenderState::Idle};
    CPattern pattern;
};

} // namespace

TEST_F(PatternClock, StepPeriodsFollowTempoAndStepsPerMeasure) {
    struct Case {
        int tempo, steps;
        uint32_t period;
    };
    for (const Case c : {Case{120, 16, 125}, Case{120, 32, 62}, Case{303, 32, 24},
                         Case{30, 2, 4000}, Case{120, 6, 333}}) {
        pattern.SetTempo(c.tempo);
        pattern.SetStepsPerMeasure(c.steps);
        pattern.Start();
        EXPECT_EQ(pattern.GetStepPeriod(), c.period) << c.tempo << "/" << c.steps;
        const auto info = clock.Info(pattern.GetTimerId());
        ASSERT_TRUE(info.has_value());
        EXPECT_EQ(info->period, c.period);
        EXPECT_EQ(info->resolution, 1u);
        EXPECT_EQ(clock.UntilNextTick(), c.period);
        pattern.Stop();
    }
    EXPECT_TRUE(ui.MessageBoxes().empty());
}

TEST_F(PatternClock, UnreadableCapabilitiesAreReportedAndTheClockStillRuns) {
    clock.SetCapsReadable(false);
    pattern.AddNote(0, 60, 100, 1);
    pattern.Start();
    const auto boxes = ui.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Computer does not support 1ms timer resolution");
    EXPECT_EQ(boxes[0].buttons, zorvil::MessageButtons::Ok);
    EXPECT_TRUE(pattern.IsPlaying());
    EXPECT_EQ(Tick(), (Words{On(60, 100)}));
    pattern.Stop();
}

// What each tick sends, for note layouts that have gone wrong before.
TEST_F(PatternClock, TicksSendNoteOnsAndOffsInKeyOrder) {
    struct Case {
        const char* what;
        std::vector<CPattern::Note> notes;
        int position;
        std::vector<Words> ticks;
    };
    const Case cases[] = {
        {"a note plays on its first step and ends after its last",
         {{0, 60, 100, 4}},
         0,
         {{On(60, 100)}, {}, {}, {}, {Off(60)}}},
        {"a note on the last steps ends at step 0",
         {{30, 60, 100, 2}},
         30,
         {{On(60, 100)}, {}, {Off(60)}}},
        {"adjacent notes on one key get no note-off between them",
         {{4, 60, 100, 2}, {6, 60, 80, 2}},
         4,
         {{On(60, 100)}, {}, {On(60, 80)}, {}, {Off(60)}}},
        {"the events of a tick go in key order",
         {{0, 72, 90, 1}, {0, 40, 80, 3}, {1, 64, 70, 1}, {1, 12, 60, 1}},
         0,
         {{On(40, 80), On(72, 90)},
          {On(12, 60), On(64, 70), Off(72)},
          {Off(12), Off(64)},
          {Off(40)}}},
        {"a velocity-0 note starts as a note-off of velocity 64",
         {{0, 60, 0, 1}},
         0,
         {{Off(60, 64)}, {Off(60, 0)}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        pattern.Reset();
        for (const CPattern::Note& note : c.notes)
            ASSERT_TRUE(pattern.AddNote(note.step, note.key, note.velocity, note.length));
        pattern.SetPosition(c.position);
        pattern.Start();
        for (std::size_t i = 0; i < c.ticks.size(); ++i)
            EXPECT_EQ(Tick(), c.ticks[i]) << "tick " << i;
        pattern.Stop();
        events.Take();
    }
}

TEST_F(PatternClock, PlayingWrapsAfterTheLastStepAndResumesWhereItStopped) {
    ASSERT_TRUE(pattern.AddNote(0, 60, 100, 1));
    ASSERT_TRUE(pattern.AddNote(10, 50, 100, 1));
    pattern.Start();
    for (int step = 0; step < 32; ++step)
        Tick();
    EXPECT_EQ(pattern.GetPosition(), 0);
    EXPECT_EQ(Tick(), (Words{On(60, 100)})); // tick 32 plays step 0 again
    for (int step = 1; step < 10; ++step)
        Tick();
    pattern.Stop();
    EXPECT_EQ(pattern.GetPosition(), 10);
    events.Take();
    pattern.Start();
    EXPECT_EQ(Tick(), (Words{On(50, 100)})); // step 10
    pattern.Stop();
}

TEST_F(PatternClock, StopCancelsTheTimerThenSendsNoteOffs) {
    ASSERT_TRUE(pattern.AddNote(2, 40, 100, 1));
    ASSERT_TRUE(pattern.AddNote(20, 50, 100, 1));
    pattern.SetPosition(5);
    pattern.Start();
    EXPECT_EQ(clock.ActiveTimers(), 1);
    pattern.Stop();
    EXPECT_EQ(clock.ActiveTimers(), 0);
    EXPECT_EQ(clock.OpenResolutions(), 0);
    EXPECT_EQ(pattern.GetTimerId(), zorvil::platform::kNoTimer);
    EXPECT_EQ(events.Take(), (Words{Off(40)}));
    clock.Advance(10000);
    EXPECT_EQ(events.Take(), Words{}); // no tick after Stop
    EXPECT_EQ(pattern.GetPosition(), 5);

    // A note on the last step may still sound: it is silenced too.
    ASSERT_TRUE(pattern.AddNote(31, 55, 100, 1));
    pattern.Start();
    pattern.Stop();
    EXPECT_EQ(events.Take(), (Words{Off(40), Off(55)}));
    pattern.Stop(); // not playing: nothing more
    EXPECT_EQ(events.Take(), Words{});

    // A note held across Stop is silenced.
    pattern.Reset();
    ASSERT_TRUE(pattern.AddNote(0, 60, 100, 8));
    pattern.Start();
    Tick();
    Tick();
    pattern.Stop();
    EXPECT_EQ(events.Take(), (Words{Off(60)}));
}

// The marker goes out once, at step 0, before that step's notes.
TEST_F(PatternClock, AnArmedRenderGetsOneMarkerAtStepZero) {
    ASSERT_TRUE(pattern.AddNote(0, 60, 100, 1));
    renderState = RenderState::Armed;
    pattern.SetPosition(31);
    pattern.Start();
    EXPECT_EQ(Tick(), Words{}); // step 31: the marker waits for step 0
    EXPECT_EQ(renderState.load(), RenderState::Armed);
    EXPECT_EQ(Tick(), (Words{On(0, 1), On(60, 100)}));
    EXPECT_EQ(renderState.load(), RenderState::MarkerSent);
    for (int step = 1; step < 32; ++step)
        Tick();
    EXPECT_EQ(Tick(), (Words{On(60, 100)})); // once only
    pattern.Stop();
}

TEST_F(PatternClock, APatternShortenedBelowThePositionPlaysOnFromItsStart) {
    ASSERT_TRUE(pattern.AddNote(0, 60, 100, 1));
    pattern.SetPosition(30);
    pattern.SetMeasures(1); // 16 steps
    EXPECT_EQ(pattern.GetPosition(), 30);
    pattern.Start();
    EXPECT_EQ(Tick(), (Words{On(60, 100)}));
    EXPECT_EQ(pattern.GetPosition(), 1);
    pattern.Stop();

    pattern.SetPosition(40); // outside the pattern
    EXPECT_EQ(pattern.GetPosition(), 0);
    pattern.SetPosition(-3);
    EXPECT_EQ(pattern.GetPosition(), 0);
}

// Starting twice, resetting while playing and destroying a playing pattern leave no timer and
// no resolution behind.
TEST_F(PatternClock, NoTimerOutlivesItsPlaying) {
    pattern.Start();
    pattern.Start();
    EXPECT_EQ(clock.ActiveTimers(), 1);
    EXPECT_EQ(clock.OpenResolutions(), 1);
    pattern.Reset(); // stops the clock before clearing the grid
    EXPECT_FALSE(pattern.IsPlaying());
    EXPECT_EQ(clock.ActiveTimers(), 0);
    EXPECT_EQ(clock.OpenResolutions(), 0);
    {
        CPattern playing;
        playing.SetClockService(&clock);
        playing.Start();
        EXPECT_EQ(clock.ActiveTimers(), 1);
    }
    EXPECT_EQ(clock.ActiveTimers(), 0);
    EXPECT_EQ(clock.OpenResolutions(), 0);
    clock.Advance(1000); // no tick reaches the destroyed pattern
}

// On the real clock the ticks run on the timer's own thread while this thread edits the
// pattern; once Stop returns, no tick runs, so its note-offs are the last events.
TEST(PatternRealClock, StopIsSynchronousWhileTheUserEdits) {
    struct Counter : zorvil::IMidiEventQueue {
        std::mutex mutex;
        std::condition_variable changed;
        Words words;
        void QueueMidiEvent(const CMidiMessage& m) override {
            const std::lock_guard lock(mutex);
            words.push_back(m.ShortMessage());
            changed.notify_all();
        }
    } counter;
    zorvil::platform::RealClock clock;
    CPattern pattern;
    pattern.SetClockService(&clock);
    pattern.SetEventQueue(&counter);
    pattern.SetTempo(303);
    pattern.SetStepsPerMeasure(32); // 24 ms a step
    pattern.SetMeasures(1);
    for (int step = 0; step < 32; ++step)
        ASSERT_TRUE(pattern.AddNote(step, 60, 100, 1));
    pattern.Start();
    {
        std::unique_lock lock(counter.mutex);
        int edits = 0;
        while (counter.words.size() < 4) {
            lock.unlock();
            pattern.SetNoteVelocity(edits % 32, 60, 1 + edits % 127);
            pattern.MoveNote(edits % 32, 60, edits % 32, 61 + edits % 2);
            pattern.MoveNote(edits % 32, 61 + edits % 2, edits % 32, 60);
            ++edits;
            lock.lock();
            counter.changed.wait_for(lock, std::chrono::milliseconds(1));
        }
    }
    pattern.Stop();
    Words afterStop;
    {
        const std::lock_guard lock(counter.mutex);
        afterStop = counter.words;
    }
    ASSERT_FALSE(afterStop.empty());
    EXPECT_EQ(afterStop.back(), Off(60)); // Stop's note-off comes last
}
