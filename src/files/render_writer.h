// CRenderWriter: the wave file's side of "Render To Wave".
//
// Start checks the target and creates the render file under a temporary name beside it (its
// headers written; see files::ReplacingFile), then arms the render: the render state becomes 1,
// and the sequencer, the engine and the output step move it on to 4 (marker sent, marker seen,
// writing). From then on the wave output tells the writer about every buffer it queued
// (IWaveOutRenderHook); the writer counts them with a RenderCounter and writes the counted part
// of each to the file. After the last one it closes the file (both sizes patched), hands the
// end over through the finish callback, and only then sets the state back to 0, so that a new
// render can never start on a file still being closed. The finish callback hands the rest of
// the end to the user-interface thread, which calls Finish: the file takes the target's place
// (or is removed when a write failed), so the user's old file stays as it was until the render
// is complete.
//
//     CRenderWriter writer(ui);
//     waveOut.SetRenderHook(&writer);
//     if (writer.Start(path, MakeRenderPlan(measures, tempo, bufferFrames, adjust), stateWord,
//                      [&] { PostToUiThread(OnRenderDone); }))
//         StartSequencerAtStepZero();
//     ...
//     files::WriteError error = writer.Finish();  // OnRenderDone, user-interface thread
//
// A target that cannot be written is reported ("Can't open file for write %s, error = %u\n")
// and the render is not started. A render that cannot advance (the engine or the wave output
// off) is given up with Abandon: its file is removed and the state set back to 0.
//
// Threads: Start, Finish and Abandon on the user-interface thread; OnBufferWritten on the engine
// thread, where it writes the file and never blocks: it only tries the writer's lock, which the
// other side holds briefly (and while it gives a render up, whose buffers then go unwritten).
#pragma once

#include "engine/render_state.h"
#include "engine/wave_out_engine.h"
#include "files/file_io.h"
#include "files/render_plan.h"
#include "files/wave_file.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace zorvil {

class CRenderWriter : public IWaveOutRenderHook {
public:
    explicit CRenderWriter(IUserInterface& ui) : m_ui(ui) {}
    ~CRenderWriter() override;

    // Creates the file and arms the render. False (after the message) when the target cannot be
    // written, and false without a message while a render runs (the state is not idle); the
    // state is then left as it was.
    bool Start(const std::string& path, const RenderPlan& plan, RenderStateWord& state,
               std::function<void()> onFinished);

    void OnBufferWritten(const CWaveBuffer& buffer, int frames) noexcept override;

    // The engine's part of the last render ended: the file holds T frames and is closed.
    bool Finished() const noexcept { return m_bFinished.load(std::memory_order_acquire); }
    // Once Finished: puts the file in the target's place, or removes it when it could not be
    // written in full. Returns why it failed (nothing on success); later calls return the same.
    files::WriteError Finish();
    // Gives up a render that has not finished: the file is removed, the target stays as it was
    // and the state goes back to 0. False (nothing done) when there is nothing to give up.
    bool Abandon();

    // Why the last Start or Finish failed (nothing when it did not).
    files::WriteError LastError() const;
    // The last render's file (closed once the render finished), or null.
    const CWaveFile* GetRenderFile() const noexcept { return m_pRenderFile.get(); }

private:
    void DropFile() noexcept;

    IUserInterface& m_ui;
    mutable std::mutex m_lock; // guards everything below but the flag; the engine only tries it
    std::unique_ptr<files::ReplacingFile> m_pTarget;
    std::unique_ptr<CWaveFile> m_pRenderFile;
    RenderCounter m_counter;
    RenderStateWord* m_pState = nullptr;
    std::function<void()> m_onFinished;
    bool m_bClosed = false; // the engine closed the file; m_bClosedOk: without a failed write
    bool m_bClosedOk = false;
    files::WriteError m_lastError;
    std::atomic<bool> m_bFinished{false};
};

} // namespace zorvil
