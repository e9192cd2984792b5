// CRenderWriter: the wave file's side of "Render To Wave".
//
// Start creates the render file (its headers written) and arms the render: the render state
// becomes 1, and the sequencer, the engine and the output step move it on to 4 (marker sent,
// marker seen, writing). From then on the wave output tells the writer about every buffer it
// queued (IWaveOutRenderHook); the writer counts them with a RenderCounter, writes the counted
// part of each to the file, and after the last one closes the file (both sizes patched), sets the
// state back to 0 and calls the finish callback, which hands the end of the render (stop the
// sequencer, "Render to wave : done !" or the command-line steps) to the user-interface thread.
//
//     CRenderWriter writer(ui);
//     waveOut.SetRenderHook(&writer);
//     if (writer.Start(path, MakeRenderPlan(measures, tempo, bufferFrames, adjust), stateWord,
//                      [&] { PostToUiThread(OnRenderDone); }))
//         StartSequencerAtStepZero();
//
// A target that cannot be created is reported ("Can't open file for write %s, error = %u\n")
// and the render is not started. Threads: Start on the user-interface thread while no render
// runs; OnBufferWritten on the engine thread, where it writes the file and never blocks on the
// user interface. The file object stays (closed) until the next Start replaces it.
#pragma once

#include "engine/render_state.h"
#include "engine/wave_out_engine.h"
#include "files/render_plan.h"
#include "files/wave_file.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace zorvil {

class CRenderWriter : public IWaveOutRenderHook {
public:
    explicit CRenderWriter(IUserInterface& ui) : m_ui(ui) {}

    // Creates the file and arms the render. False (after the message) when the file cannot be
    // created, and false without a message while a render runs (the state is not idle); the
    // state is then left as it was.
    bool Start(const std::string& path, const RenderPlan& plan, RenderStateWord& state,
               std::function<void()> onFinished);

    void OnBufferWritten(const CWaveBuffer& buffer, int frames) noexcept override;

    // The last render's file (closed once the render finished), or null before the first.
    const CWaveFile* GetRenderFile() const noexcept { return m_pRenderFile.get(); }
    bool Finished() const noexcept { return m_bFinished.load(std::memory_order_acquire); }

private:
    IUserInterface& m_ui;
    std::unique_ptr<CWaveFile> m_pRenderFile;
    RenderCounter m_counter;
    RenderStateWord* m_pState = nullptr;
    std::function<void()> m_onFinished;
    std::atomic<bool> m_bFinished{false};
};

} // namespace zorvil
