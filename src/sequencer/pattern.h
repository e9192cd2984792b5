// CPattern: the one pattern of the step sequencer, with the clock that plays it.
//
// The pattern is a grid of 256 step rows by 128 key columns (the MIDI note numbers). A note of
// velocity v and length L starting at step s on key k fills the cells (s, k) ... (s+L-1, k); the
// cell at s+i reads (v, L, i+1), its `part`, so the note's start is found from any of its cells
// as step - part + 1. Notes stay contiguous in one column, never overlap, and end by row 256;
// every edit keeps that true and refuses (leaving the grid untouched) a request that would not.
// Measures (1-8) of steps-per-measure (2-32) equal steps give the total steps the clock plays;
// notes beyond them stay in the grid, are counted and enumerated, but are not played.
//
// The clock (Start, Stop, OnStep, SetPosition; pattern_clock.cpp) ticks once per step on a
// periodic timer of the clock service, sends the note-ons and note-offs of the step to the MIDI
// event queue (the effect host's input queue), time 0, channel 1, and loops.
//
//     CPattern pattern;
//     pattern.AddNote(0, 60, 100, 4);              // step 0, key 60, velocity 100, four steps
//     pattern.SetClockService(&clock);
//     pattern.SetEventQueue(&hostEvents);
//     pattern.Start();                             // 120 bpm, 16 steps a measure: 125 ms a step
//     ...
//     pattern.Stop();                              // no tick runs after this; note-offs sent
//
// Threads. Editing, Reset, the setters, Start, Stop and SetPosition run on the user-interface
// thread; OnStep runs on the clock's timer thread while the user edits.
// - The grid is a fixed array of atomic words, one per cell (a cell is a value, never a separate
//   object, so no reader can meet a deleted one), kept twice (sequenced_copies.h). Edits are
//   serialised by m_editLock and each is one change of both copies; the tick copies the two rows
//   it needs from a copy no edit is inside, so it sees every edit completely or not at all, never
//   blocks the user interface and never waits for it: an edit stopped halfway (the tick's
//   real-time thread may preempt the user interface on one processor) leaves the other copy
//   whole, and the tick plays that one.
// - Counting, enumerating and Stop's scan take m_editLock, so they see no edit half done.
// - The position, the total steps and the playing flag are atomic words; the tempo, measures and
//   steps per measure belong to the user-interface thread (the clock reads them in Start only).
// - The render state word is shared with the engine and the user interface without a lock.
#pragma once

#include "engine/render_state.h"
#include "platform/clock_service.h"
#include "platform/user_interface.h"
#include "sequencer/midi_event_queue.h"
#include "sequencer/sequenced_copies.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace zorvil {

// One occupied cell of the grid: the note's velocity (0-127), the note's whole length in steps,
// and this cell's 1-based place within the note.
struct CNoteCell {
    int velocity = 0;
    int length = 0;
    int part = 0;
    friend bool operator==(const CNoteCell&, const CNoteCell&) = default;
};

class CPattern {
public:
    static constexpr int kMinTempo = 30;
    static constexpr int kMaxTempo = 303;
    static constexpr int kMinMeasures = 1;
    static constexpr int kMaxMeasures = 8;
    static constexpr int kMinSteps = 2;
    static constexpr int kMaxSteps = 32;
    static constexpr int kStepCapacity = kMaxMeasures * kMaxSteps; // 256 rows
    static constexpr int kKeyCount = 128;

    static constexpr int kDefaultTempo = 120;
    static constexpr int kDefaultMeasures = 2;
    static constexpr int kDefaultStepsPerMeasure = 16;

    // A note as saved and exported: where it starts, its velocity and length.
    struct Note {
        int step = 0;
        int key = 0;
        int velocity = 0;
        int length = 0;
        friend bool operator==(const Note&, const Note&) = default;
    };

    CPattern();
    CPattern(const CPattern&) = delete;
    CPattern& operator=(const CPattern&) = delete;
    // Stops a running clock's timer (without sending note-offs).
    virtual ~CPattern();

    // Defaults (tempo 120, 2 measures of 16 steps), no notes, stopped, position 0. A running
    // clock is stopped first, so no tick reads a pattern being reset.
    void Reset();

    // Clamped silently into the limits; the total steps follows measures and steps per measure.
    // Every tempo the pattern takes (Reset included) is told to the tempo hook.
    void SetTempo(int tempo) noexcept;
    void SetMeasures(int measures) noexcept;
    void SetStepsPerMeasure(int steps) noexcept;
    int GetTempo() const noexcept { return m_nTempo; }
    int GetMeasures() const noexcept { return m_nMeasures; }
    int GetStepsPerMeasure() const noexcept { return m_nStepsPerMeasure; }
    int GetTotalSteps() const noexcept { return m_nTotalSteps.load(std::memory_order_relaxed); }
    int GetKeyCount() const noexcept { return kKeyCount; }
    int GetMinTempo() const noexcept { return kMinTempo; }
    int GetMaxTempo() const noexcept { return kMaxTempo; }
    int GetMinMeasures() const noexcept { return kMinMeasures; }
    int GetMaxMeasures() const noexcept { return kMaxMeasures; }
    int GetMinSteps() const noexcept { return kMinSteps; }
    int GetMaxSteps() const noexcept { return kMaxSteps; }

    // Notes. A step or key argument may name any cell of the note. Each returns false, leaving
    // the grid untouched, when the request names no note or would leave the grid, overlap
    // another note, or end past row 256. Velocities are clamped into 0-127; a length below 1 is
    // a one-step note.
    bool AddNote(int step, int key, int velocity, int length);
    bool RemoveNote(int step, int key);
    // The note keeps its start and velocity and ends at newEndStep (a one-step note when that
    // lies before the start).
    bool ResizeNote(int step, int newEndStep, int key);
    bool MoveNote(int step, int key, int newStartStep, int newKey);
    bool SetNoteVelocity(int step, int key, int velocity);

    // The cell at (step, key); nothing when it is empty or outside the grid. Any thread: a
    // cell is one word, so it is never seen half written.
    std::optional<CNoteCell> GetCell(int step, int key) const noexcept;
    // Over all 256 rows, whatever the total steps: the number of notes, and the notes in step
    // order, key order within a step.
    int GetNoteCount() const;
    std::vector<Note> GetNotes() const;

    // The clock (pattern_clock.cpp). Links are set by the application before Start; the render
    // state is a word of the pattern's own until one is given.
    void SetClockService(platform::IClockService* clock) noexcept { m_pClock = clock; }
    void SetEventQueue(IMidiEventQueue* events) noexcept { m_pEvents = events; }
    void SetRenderState(RenderStateWord* word) noexcept;
    void SetUserInterface(IUserInterface* ui) noexcept { m_pUserInterface = ui; }
    // Told the new tempo whenever the pattern takes one (user-interface thread; must not throw).
    // The application passes it on to the time information plug-ins read, so tempo-synced
    // plug-ins follow the pattern whatever set it.
    void SetTempoHook(std::function<void(int tempo)> hook) { m_tempoHook = std::move(hook); }

    // Starts the periodic step timer; nothing when already playing or no clock is linked.
    void Start();
    // Cancels the timer synchronously, then sends the note-offs of every key that may still
    // sound; nothing when not playing.
    void Stop();
    // Plays one step (the timer's tick).
    void OnStep() noexcept;
    bool IsPlaying() const noexcept { return m_bPlaying.load(std::memory_order_acquire); }
    // The next step to play.
    int GetPosition() const noexcept { return m_nPosition.load(std::memory_order_acquire); }
    void SetPosition(int position) noexcept;

    // What the last Start computed and asked for.
    uint32_t GetStepPeriod() const noexcept { return m_nStepPeriod; }
    uint32_t GetTimerResolution() const noexcept { return m_nTimerResolution; }
    platform::TimerId GetTimerId() const noexcept { return m_nTimerId; }
    // (4 x 60000) / (steps per measure x tempo) ms: a measure is four beats at the tempo.
    static constexpr uint32_t StepPeriod(int stepsPerMeasure, int tempo) noexcept {
        return stepsPerMeasure > 0 && tempo > 0
                   ? static_cast<uint32_t>(4 * 60000 / (stepsPerMeasure * tempo))
                   : 0;
    }
    // The timer resolution for the given capabilities: 1 ms clamped into them.
    static uint32_t TimerResolution(platform::TimerCaps caps) noexcept;

private:
    // A cell packed into one word, so that a single load reads it whole: velocity in bits 0-7,
    // length in bits 8-19, part in bits 20-31. A part of 0 (the word 0) marks an empty cell.
    using CellWord = uint32_t;
    static constexpr CellWord PackCell(int velocity, int length, int part) noexcept {
        return static_cast<CellWord>(velocity) | static_cast<CellWord>(length) << 8 |
               static_cast<CellWord>(part) << 20;
    }
    static constexpr int CellVelocity(CellWord word) noexcept {
        return static_cast<int>(word & 0xFF);
    }
    static constexpr int CellLength(CellWord word) noexcept {
        return static_cast<int>((word >> 8) & 0xFFF);
    }
    static constexpr int CellPart(CellWord word) noexcept { return static_cast<int>(word >> 20); }

    static constexpr size_t Slot(int step, int key) noexcept {
        return static_cast<size_t>(step) * kKeyCount + static_cast<size_t>(key);
    }
    static bool InGrid(int step, int key) noexcept {
        return step >= 0 && step < kStepCapacity && key >= 0 && key < kKeyCount;
    }

    using Grid = SequencedCopies<CellWord, static_cast<size_t>(kStepCapacity) * kKeyCount>;
    static CellWord LoadCell(const Grid::Words& cells, int step, int key) noexcept {
        return cells[Slot(step, key)].load(std::memory_order_acquire);
    }
    CellWord LoadCell(int step, int key) const noexcept {
        return LoadCell(m_grid.Current(), step, key);
    }
    // Editing helpers: callers hold m_editLock.
    std::optional<Note> FindNote(int step, int key) const noexcept;
    bool IsFree(int start, int key, int length, const Note* ignore) const noexcept;
    static void WriteNote(Grid::Words& cells, const Note& note) noexcept;
    static void EraseNote(Grid::Words& cells, const Note& note) noexcept;
    // Finds the note at (step, key), lets `change` alter a copy of it, and puts the copy in its
    // place when the copy fits the grid (its own old cells count as free).
    template <class Change>
    bool ChangeNote(int step, int key, Change&& change);
    // Replaces `from` (may be absent) by `to` in one change.
    void ReplaceNote(const std::optional<Note>& from, const Note& to) noexcept;

    void SendNote(uint8_t status, int key, int velocity) const noexcept;
    void CancelTimer() noexcept;

    // Edited on the user-interface thread.
    int m_nTempo = kDefaultTempo;
    std::function<void(int)> m_tempoHook;
    int m_nMeasures = kDefaultMeasures;
    int m_nStepsPerMeasure = kDefaultStepsPerMeasure;
    std::atomic<int> m_nTotalSteps{kDefaultMeasures * kDefaultStepsPerMeasure};

    // The grid, step-major: the 128 keys of step 0, then those of step 1, ...
    Grid m_grid;
    mutable std::mutex m_editLock;

    // The clock.
    std::atomic<bool> m_bPlaying{false};
    std::atomic<int> m_nPosition{0};
    platform::TimerCaps m_timerCaps{platform::kTimerPeriodMin, platform::kTimerPeriodMax};
    uint32_t m_nTimerResolution = 0;
    uint32_t m_nStepPeriod = 0;
    platform::TimerId m_nTimerId = platform::kNoTimer;
    bool m_bResolutionBegun = false;

    platform::IClockService* m_pClock = nullptr;
    IMidiEventQueue* m_pEvents = nullptr;
    IUserInterface* m_pUserInterface = nullptr;
    RenderStateWord m_ownRenderState{RenderState::Idle};
    RenderStateWord* m_pRenderState = &m_ownRenderState;
};

} // namespace zorvil
