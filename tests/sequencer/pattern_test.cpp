// CPattern: note edits, what each tick sends, and the step clock's timer on the manual clock.
#include "platform/clock_manual.h"
#include "sequencer/pattern.h"
#include "sequencer/pattern_history.h"
#include "support/scripted_user_interface.h"

#include <atomic>
#include <csignal>
#include <ctime>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <pthread.h>
#include <thread>
#include <tuple>
#include <vector>

using zorvil::CMidiMessage;
using zorvil::CNoteCell;
using zorvil::CPattern;
using zorvil::RenderState;

namespace {

constexpr uint32_t Off(int key, int velocity = 0) {
    return 0x80u | static_cast<uint32_t>(key) << 8 | static_cast<uint32_t>(velocity) << 16;
}
constexpr uint32_t On(int key, int velocity) {
    return Off(key, velocity) | 0x10u;
}
using Words = std::vector<uint32_t>;
using namespace std::chrono_literals;

// Records what the clock queues, and the render state each render marker found on arrival.
struct EventRecorder : zorvil::IMidiEventQueue {
    explicit EventRecorder(const zorvil::RenderStateWord& watched) : state(watched) {}
    void QueueMidiEvent(const CMidiMessage& message) override {
        words.push_back(message.ShortMessage());
        if (words.back() == On(0, 1)) markerStates.push_back(state.load());
        allAtTimeZero &= message.Time() == 0 && message.Header() == nullptr;
    }
    Words Take() { return std::exchange(words, {}); }
    const zorvil::RenderStateWord& state;
    Words words;
    std::vector<RenderState> markerStates;
    bool allAtTimeZero = true;
};

// Natively long enough to catch a torn read almost every run; the sanitizers look for races.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int kConcurrentRounds = 3000;
#else
constexpr int kConcurrentRounds = 30000;
#endif

// Checks that the note lies in the grid cell by cell, and reaches no further either way.
void ExpectNoteCells(const CPattern& p, int start, int key, int velocity, int length) {
    for (int i = 0; i < length; ++i) {
        const auto cell = p.GetCell(start + i, key);
        ASSERT_TRUE(cell.has_value()) << "step " << start + i;
        EXPECT_EQ(*cell, (CNoteCell{velocity, length, i + 1})) << "step " << start + i;
    }
    const auto before = p.GetCell(start - 1, key), after = p.GetCell(start + length, key);
    EXPECT_TRUE(!before || before->part == before->length) << "a note runs into the start";
    EXPECT_TRUE(!after || after->part == 1) << "the note runs on";
}

class PatternClock : public ::testing::Test {
protected:
    PatternClock() {
        pattern.SetClockService(&clock);
        pattern.SetEventQueue(&events);
        pattern.SetUserInterface(&ui);
        pattern.SetRenderState(&renderState);
    }
    ~PatternClock() override { EXPECT_TRUE(events.allAtTimeZero); }
    bool NoTimer() const { return clock.ActiveTimers() == 0 && clock.OpenResolutions() == 0; }
    // Runs the next tick and returns what it sent.
    Words Tick() {
        EXPECT_TRUE(clock.AdvanceToNextTick());
        return events.Take();
    }

    zorvil::platform::ManualClock clock{1000};
    zorvil::RenderStateWord renderState{RenderState::Idle};
    EventRecorder events{renderState};
    zorvil::test::ScriptedUserInterface ui;
    CPattern pattern;
};

} // namespace

// Each edit names its note by any of its cells and keeps what it does not change.
TEST(Pattern, EditsWorkFromAnyCellOfTheNote) {
    CPattern p;
    ASSERT_TRUE(p.AddNote(10, 60, 100, 3));
    ExpectNoteCells(p, 10, 60, 100, 3);

    ASSERT_TRUE(p.ResizeNote(11, 14, 60));
    ExpectNoteCells(p, 10, 60, 100, 5);
    ASSERT_TRUE(p.ResizeNote(14, 11, 60)); // shorter, from its last cell
    ExpectNoteCells(p, 10, 60, 100, 2);
    ASSERT_TRUE(p.ResizeNote(11, 3, 60)); // an end before the start: a one-step note
    ExpectNoteCells(p, 10, 60, 100, 1);
    ASSERT_TRUE(p.ResizeNote(10, 12, 60));

    ASSERT_TRUE(p.MoveNote(12, 60, 20, 64));
    for (int s = 10; s <= 12; ++s)
        EXPECT_FALSE(p.GetCell(s, 60).has_value()) << s;
    ExpectNoteCells(p, 20, 64, 100, 3);
    ASSERT_TRUE(p.MoveNote(21, 64, 21, 64)); // one step on, over its own cells
    ExpectNoteCells(p, 21, 64, 100, 3);
    ASSERT_TRUE(p.MoveNote(21, 64, 19, 64)); // and back over them
    ExpectNoteCells(p, 19, 64, 100, 3);

    ASSERT_TRUE(p.SetNoteVelocity(21, 64, 1000));
    ExpectNoteCells(p, 19, 64, 127, 3);
    EXPECT_EQ(p.GetNoteCount(), 1);

    EXPECT_TRUE(p.RemoveNote(20, 64));
    EXPECT_FALSE(p.GetCell(19, 64).has_value());
    EXPECT_FALSE(p.RemoveNote(20, 64)); // nothing there any more

    ASSERT_TRUE(p.AddNote(4, 61, 100, -7)); // lengths below one make a single step
    ExpectNoteCells(p, 4, 61, 100, 1);
    ASSERT_TRUE(p.AddNote(0, 1, 300, 2)); // velocities are clamped
    EXPECT_EQ(p.GetCell(1, 1)->velocity, 127);
    ASSERT_TRUE(p.AddNote(255, 127, 1, 1)); // the grid's last cell
    EXPECT_TRUE(p.RemoveNote(255, 127));
}

// An edit past the grid's edges is refused and leaves the grid exactly as it was. (Edits that
// collide with other notes: the history's random runs.)
TEST(Pattern, EditsPastTheEdgesAreRefused) {
    CPattern p;
    ASSERT_TRUE(p.AddNote(10, 60, 100, 3));
    ASSERT_TRUE(p.AddNote(15, 60, 70, 2));
    ASSERT_TRUE(p.AddNote(250, 5, 90, 6)); // ends exactly on row 255
    const auto before = p.GetNotes();

    EXPECT_FALSE(p.AddNote(251, 6, 90, 6)) << "add one row past the grid";
    EXPECT_FALSE(p.AddNote(-1, 60, 100, 2)) << "add before step 0";
    EXPECT_FALSE(p.AddNote(0, 128, 100, 2)) << "add on no such key";
    EXPECT_FALSE(p.AddNote(256, 0, 100, 1)) << "add after the last row";
    EXPECT_FALSE(p.ResizeNote(10, 15, 60)) << "resize into the next note";
    EXPECT_FALSE(p.ResizeNote(16, 256, 60)) << "resize past row 255";
    EXPECT_FALSE(p.MoveNote(10, 60, 254, 60)) << "move past row 255";
    EXPECT_FALSE(p.RemoveNote(256, 0)) << "remove outside the grid";
    EXPECT_EQ(p.GetNotes(), before);
    EXPECT_FALSE(p.GetCell(-1, 0).has_value());

    ASSERT_TRUE(p.ResizeNote(10, 14, 60)); // up to the next note is fine
    ExpectNoteCells(p, 10, 60, 100, 5);
    ExpectNoteCells(p, 15, 60, 70, 2);
}

namespace {

// The churn of the concurrency tests below: a two-step pattern with a 200-step note on step 0
// that another thread moves between keys 60 and 61 (400 cells rewritten), by edits (now and then
// setting its velocity and length again) or by undo and redo of such a move.
// What a tick at `position` sends for the whole note: step 0 exactly its note-on, step 1 nothing.
// A tick that read a half-moved note would send a note-off as well, or nothing.
bool SentTheWholeNote(int position, const Words& w) {
    return position == 0 ? w.size() == 1 && (w[0] & 0xFF) == 0x90 && w[0] >> 16 == 100 : w.empty();
}

class PatternUnderEdit : public testing::Test {
protected:
    void SetUp() override {
        p.SetMeasures(1);
        p.SetStepsPerMeasure(2);
        ASSERT_TRUE(history.AddNote(0, 60, 100, 200));
        p.SetEventQueue(&recorder);
    }
    // Edits on another thread until the test ends: round `i` is `edit(i)`.
    void StartEditing(std::function<void(int)> edit) {
        editor = std::thread([this, edit = std::move(edit)] {
            for (int i = 0; !done; ++i) {
                edit(i);
                edits.store(i + 1, std::memory_order_relaxed);
            }
        });
    }
    void EditDirectly() {
        StartEditing([this](int i) {
            const int from = 60 + i % 2;
            EXPECT_TRUE(p.MoveNote(i % 2 == 0 ? 1 : 0, from, 0, 121 - from));
            if (i % 64 == 0) {
                EXPECT_TRUE(p.SetNoteVelocity(0, 121 - from, 100));
                EXPECT_TRUE(p.ResizeNote(0, 199, 121 - from));
            }
        });
    }
    // Ticks on this thread until both sides have done many rounds; false at the first tick that
    // did not send the whole note.
    bool TicksSendTheWholeNote() {
        for (int ticks = 0;
             ticks < kConcurrentRounds || edits.load(std::memory_order_relaxed) < kConcurrentRounds;
             ++ticks) {
            const int position = p.GetPosition();
            p.OnStep();
            if (!SentTheWholeNote(position, recorder.Take())) return false;
        }
        return true;
    }
    void StopEditing() {
        done = true;
        if (editor.joinable()) editor.join();
    }
    void TearDown() override { StopEditing(); }

    const zorvil::RenderStateWord idle{RenderState::Idle};
    EventRecorder recorder{idle};
    CPattern p;
    zorvil::CPatternHistory history{p};
    std::atomic<bool> done{false};
    std::atomic<int> edits{0};
    std::thread editor;
};

} // namespace

// Undo and redo use the pattern's own move: one made of a removal and an addition would let a
// tick see no note at all.
TEST_F(PatternUnderEdit, TicksNeverSeeAHalfEditedNoteOrAnUndoHalfDone) {
    EditDirectly();
    EXPECT_TRUE(TicksSendTheWholeNote());
    StopEditing();
    done = false;
    edits = 0;
    const int key = p.GetNotes().at(0).key;
    ASSERT_TRUE(history.MoveNote(100, key, 0, 121 - key));
    StartEditing([this](int i) { EXPECT_TRUE(i % 2 == 0 ? history.Undo() : history.Redo()); });
    EXPECT_TRUE(TicksSendTheWholeNote());
    StopEditing();
    EXPECT_EQ(p.GetNoteCount(), 1);
}

namespace {
// A thread that receives SIGUSR1 stops where it is until g_released catches up with g_held.
std::atomic<int> g_held{0};
std::atomic<int> g_released{0};
extern "C" void HoldThisThread(int) {
    const int round = g_held.fetch_add(1) + 1;
    const timespec pause{0, 100'000};
    while (g_released.load() < round)
        nanosleep(&pause, nullptr);
}
} // namespace

// The tick's thread runs at real-time priority: on one processor it preempts the user interface,
// perhaps in the middle of an edit, which then cannot go on while the tick waits for it. Here the
// editing thread is stopped wherever a signal finds it, again and again; each time a tick must
// come back at once (it waits at most 10 s here) and send the note whole.
TEST_F(PatternUnderEdit, ATickDoesNotWaitForAnEditStoppedHalfway) {
    struct sigaction hold {
    }, previous{};
    hold.sa_handler = HoldThisThread;
    sigemptyset(&hold.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR1, &hold, &previous), 0);
    g_held = 0;
    g_released = 0;
    EditDirectly();

    constexpr int kStops = 200;
    bool returned = true, consistent = true;
    for (int round = 1; round <= kStops && returned && consistent; ++round) {
        const int editsBefore = edits.load();
        pthread_kill(editor.native_handle(), SIGUSR1);
        while (g_held.load() < round)
            std::this_thread::yield();
        const int position = p.GetPosition();
        auto tick = std::async(std::launch::async, [&] {
            p.OnStep();
            return recorder.Take();
        });
        returned = tick.wait_for(10s) == std::future_status::ready;
        g_released = round; // a tick still waiting for the edit finishes now
        consistent = SentTheWholeNote(position, tick.get());
        // The editor gets on with its work before it is stopped again.
        while (edits.load() == editsBefore)
            std::this_thread::yield();
    }
    StopEditing();
    sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_TRUE(returned) << "a tick waited for the stopped edit";
    EXPECT_TRUE(consistent) << "a tick sent a half-edited note";
    EXPECT_EQ(p.GetNoteCount(), 1);
}

// The step period follows tempo and steps per measure. Capabilities that cannot be read are
// reported, and the clock still runs.
TEST_F(PatternClock, StepPeriodsFollowTempoAndStepsPerMeasure) {
    const std::tuple<int, int, uint32_t> cases[] = {
        {120, 16, 125}, {120, 32, 62}, {303, 32, 24}, {30, 2, 4000}, {120, 6, 333}};
    for (const auto& [tempo, steps, period] : cases) {
        pattern.SetTempo(tempo);
        pattern.SetStepsPerMeasure(steps);
        pattern.Start();
        const auto info = clock.Info(pattern.GetTimerId());
        EXPECT_EQ(pattern.GetStepPeriod(), period) << tempo << "/" << steps;
        EXPECT_TRUE(info && info->period == period && info->resolution == 1u);
        EXPECT_EQ(clock.UntilNextTick(), period);
        pattern.Stop();
    }
    EXPECT_TRUE(ui.MessageBoxes().empty());

    clock.SetCapsReadable(false);
    pattern.AddNote(0, 60, 100, 1);
    pattern.Start();
    ASSERT_EQ(ui.MessageBoxes().size(), 1u);
    EXPECT_EQ(ui.MessageBoxes()[0].text, "Computer does not support 1ms timer resolution");
    EXPECT_EQ(ui.MessageBoxes()[0].buttons, zorvil::MessageButtons::Ok);
    EXPECT_EQ(Tick(), (Words{On(60, 100)}));
}

// What each tick sends, for note layouts that have gone wrong before.
TEST_F(PatternClock, TicksSendNoteOnsAndOffsInKeyOrder) {
    auto expect = [&](const char* what, std::vector<CPattern::Note> notes, int position,
                      std::vector<Words> ticks, int measures = 2) {
        SCOPED_TRACE(what);
        pattern.Reset();
        for (const CPattern::Note& note : notes)
            ASSERT_TRUE(pattern.AddNote(note.step, note.key, note.velocity, note.length));
        pattern.SetPosition(position);
        pattern.SetMeasures(measures);
        EXPECT_EQ(pattern.GetPosition(), position);
        pattern.Start();
        for (std::size_t i = 0; i < ticks.size(); ++i)
            EXPECT_EQ(Tick(), ticks[i]) << "tick " << i;
        pattern.Stop();
        events.Take();
    };
    expect("one note", {{0, 60, 100, 4}}, 0, {{On(60, 100)}, {}, {}, {}, {Off(60)}});
    expect("a note on the last steps ends at step 0", {{30, 60, 100, 2}}, 30,
           {{On(60, 100)}, {}, {Off(60)}});
    expect("adjacent notes on one key: no note-off between", {{4, 60, 100, 2}, {6, 60, 80, 2}}, 4,
           {{On(60, 100)}, {}, {On(60, 80)}, {}, {Off(60)}});
    expect("key order", {{0, 72, 90, 1}, {0, 40, 80, 3}, {1, 64, 70, 1}, {1, 12, 60, 1}}, 0,
           {{On(40, 80), On(72, 90)},
            {On(12, 60), On(64, 70), Off(72)},
            {Off(12), Off(64)},
            {Off(40)}});
    expect("velocity 0 starts as a note-off of velocity 64", {{0, 60, 0, 1}}, 0,
           {{Off(60, 64)}, {Off(60, 0)}});
    // Shortened below the position: notes beyond stay, and play resumes from step 0.
    expect("shortened", {{0, 60, 100, 1}, {40, 62, 100, 1}}, 30, {{On(60, 100)}}, 1);
    EXPECT_EQ(pattern.GetNoteCount(), 2);
    pattern.SetPosition(40); // outside the pattern
    EXPECT_EQ(pattern.GetPosition(), 0);
}

// The marker goes out once, at step 0, before that step's notes; the state says "sent" before the
// marker is queued, so an engine cannot use up the marker while the render is still armed.
TEST_F(PatternClock, AnArmedRenderGetsOneMarkerAtStepZero) {
    ASSERT_TRUE(pattern.AddNote(0, 60, 100, 1));
    renderState = RenderState::Armed;
    pattern.SetPosition(31);
    pattern.Start();
    EXPECT_EQ(Tick(), Words{}); // step 31: the marker waits for step 0
    EXPECT_EQ(renderState.load(), RenderState::Armed);
    EXPECT_EQ(Tick(), (Words{On(0, 1), On(60, 100)}));
    EXPECT_EQ(events.markerStates, std::vector{RenderState::MarkerSent});
    for (int step = 1; step < 32; ++step)
        Tick();
    EXPECT_EQ(Tick(), (Words{On(60, 100)})); // once only
    pattern.Stop();
}

// Stop cancels the timer, then silences every key that may still sound (any note up to the
// position, one on the last step, one held across Stop), also after a step timer that could not
// be made (id 0: playing, position frozen). Starting twice, Reset while playing and destroying a
// playing pattern leave no timer and no resolution behind.
TEST_F(PatternClock, StopSilencesAndNoTimerOutlivesItsPlaying) {
    ASSERT_TRUE(pattern.AddNote(2, 40, 100, 1));
    ASSERT_TRUE(pattern.AddNote(20, 50, 100, 1));
    ASSERT_TRUE(pattern.AddNote(31, 55, 100, 1));
    pattern.SetPosition(5);
    pattern.Start();
    pattern.Start();
    EXPECT_TRUE(clock.ActiveTimers() == 1 && clock.OpenResolutions() == 1);
    pattern.Stop();
    EXPECT_TRUE(NoTimer() && pattern.GetTimerId() == zorvil::platform::kNoTimer);
    EXPECT_EQ(events.Take(), (Words{Off(40), Off(55)}));
    pattern.Stop(); // not playing: nothing more
    EXPECT_EQ(events.Take(), Words{});

    pattern.Reset();
    ASSERT_TRUE(pattern.AddNote(0, 60, 100, 8));
    pattern.Start();
    Tick();
    Tick();
    pattern.Stop();
    EXPECT_EQ(events.Take(), (Words{Off(60)}));

    clock.SetCaps({1, 100}); // the step period of 125 ms lies beyond the timer's maximum
    pattern.SetPosition(2);
    pattern.Start();
    EXPECT_EQ(pattern.GetTimerId(), zorvil::platform::kNoTimer);
    EXPECT_TRUE(pattern.IsPlaying());
    clock.Advance(1000);
    EXPECT_EQ(pattern.GetPosition(), 2);
    EXPECT_EQ(events.Take(), Words{});
    pattern.Stop();
    EXPECT_FALSE(pattern.IsPlaying());
    EXPECT_EQ(events.Take(), (Words{Off(60)}));

    clock.SetCaps({zorvil::platform::kTimerPeriodMin, zorvil::platform::kTimerPeriodMax});
    pattern.Start();
    pattern.Reset();
    EXPECT_TRUE(!pattern.IsPlaying() && NoTimer());
    {
        CPattern playing;
        playing.SetClockService(&clock);
        playing.Start();
        EXPECT_EQ(clock.ActiveTimers(), 1);
    }
    EXPECT_TRUE(NoTimer());
    clock.Advance(1000); // no tick reaches the destroyed pattern
}
