// CSeqHost: the application's plug-in host. On top of CEffectHost's slots and callback answers
// it owns the MIDI input queue, turns queued MIDI into the per-sub-block event lists each
// effect receives through its channel mask, runs the effects block by block, mixes them and
// hands the stereo result to the output step.
//
//     CSeqHost host;
//     host.SetBlockOutput(&output);            // where finished blocks go
//     host.SetMidiOutput(&midiOut);            // where plug-ins' own MIDI goes
//     host.SetUserInterface(&ui);              // file selectors for plug-ins
//     host.LoadPlugin(path);                   // engine stopped around loading
//     host.QueueMidiEvent(CMidiMessage(0x90, 60, 100));       // any thread
//     host.ProcessBlock(blockBuffers, 882, 2, timeMs);         // engine worker
//
// Block processing: the block is split into sub-blocks of at least 512 frames where it allows
// (at most 100). For each sub-block the host snapshots the queue, builds one event list with
// offsets of 44 frames per millisecond after the block's time stamp, gives every effect that
// asked for MIDI the events that pass its channel mask (system-exclusive events carry no
// channel: they reach every effect that asked for MIDI, whatever its mask), runs each effect
// under its own lock, removes exactly the snapshot from the queue and mixes the effects' first
// two outputs with gain sqrt(1/N); an effect with one output plays in both channels. A mix
// channel that no effect provides is cleared.
//
// Mixing: after the effects' process calls their outputs are summed into the mix in one pass
// (up to kMaxMixSources effects a pass; further passes add to it, with the same bits), without
// their locks. Nothing else writes an effect's output buffers: only its process call, made
// under its lock on this thread before the pass. And the buffers and their count stay fixed
// while the effect holds a slot: a wrapper is loaded before it is placed, and slots change only
// with the engine stopped.
//
// Buffers: plug-ins never see the caller's block buffers. Each effect reads its inputs from the
// host's own copies of the sub-block (made for each effect, in case a plug-in writes into its
// inputs), and inputs beyond the block's channels read silence; these and the effects' outputs
// are CAudioBuffers, aligned and with slack past their end for vectorised plug-ins.
//
// Real time: ProcessBlock allocates nothing. Event lists and filtered lists live in storage
// reserved in the constructor, large enough for full queues; only one of each exists at a time.
// No lock is held across a plug-in call except that effect's own.
//
// Window notifications: what a plug-in reports about its windows (a new editor size, a display
// update, an automated parameter) is posted to the window mailbox with the effect's slot and
// generation, from whatever thread the plug-in calls; the application drains it on the
// user-interface thread (CZorvilApp::DeliverWindowEvents). Posting neither waits nor allocates,
// so automation from a process call costs the engine thread a few atomic operations.
//
// Threads: ProcessBlock, BuildEventList and FilterEvents run on the engine worker only.
// QueueMidiEvent runs on any thread. The setters run on the user-interface thread; the links
// they set are atomics, so they may change while the engine runs.
#pragma once

#include "engine/block_processor.h"
#include "engine/render_state.h"
#include "host/audio_buffer.h"
#include "host/effect_host.h"
#include "host/mix_kernels.h"
#include "host/seq_effect.h"
#include "host/window_mailbox.h"
#include "midi/midi_input_queue.h"
#include "midi/midi_output_sink.h"
#include "platform/user_interface.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace zorvil {

class CSeqHost : public CEffectHost, public IBlockProcessor {
public:
    static constexpr int kMixFrames = 32000; // the largest block
    static constexpr int kMaxSubBlocks = 100;
    static constexpr int kMinSubBlockFrames = 512;
    static constexpr uint32_t kEventFramesPerMs = 44;
    static constexpr int kFedInputs = 2; // inputs fed from the block: the engine's are stereo
    static constexpr uint32_t kMaxEvents =
        CMidiInputQueue::kShortCapacity + CMidiInputQueue::kSysexCapacity;

    CSeqHost();
    ~CSeqHost() override;

    CSeqEffect* GetSeqEffect(int slot) const noexcept;

    // The MIDI input queue's receive operation (any thread); the message is copied.
    virtual void QueueMidiEvent(const CMidiMessage& message);
    CMidiInputQueue& MidiQueue() noexcept { return m_queue; }

    // IBlockProcessor: one block on the engine worker.
    void ProcessBlock(float* const* buffers, int frames, int channels,
                      uint32_t time) noexcept override;

    void SetBlockOutput(IBlockOutput* output) noexcept { m_pOutput.store(output); }
    // The application's render state word; until one is given the host uses its own.
    void SetRenderState(RenderStateWord* word) noexcept;
    RenderStateWord& GetRenderState() const noexcept { return *m_pRenderState.load(); }
    void SetMidiOutput(IMidiOutputSink* sink) noexcept { m_pMidiOutput.store(sink); }
    void SetUserInterface(IUserInterface* ui) noexcept { m_pUserInterface.store(ui); }
    // What the fault guard around unloading runs before a crashing plug-in takes the process
    // down (the devices issue connects ShutdownDevices).
    void SetShutdownHook(std::function<void()> hook) { m_shutdownHook = std::move(hook); }
    const std::function<void()>& ShutdownHook() const noexcept { return m_shutdownHook; }

    // Offline rendering: plug-ins that ask for the process level are told "offline" (4), the
    // standard sign that they may work synchronously (load their data at once instead of on a
    // thread of their own). Set before the plug-ins are loaded.
    void SetOffline(bool offline) noexcept { m_bOffline.store(offline); }

    // A plug-in's request to idle the open editors (audioMasterIdle): done at once on the thread
    // that made the host, otherwise posted to the window mailbox; editors run on that thread
    // only, never inside a block or on a plug-in's own thread.
    intptr_t OnIdle(int effect) override;
    // Sends effEditIdle to every effect whose editor is open (the user-interface thread).
    void IdleOpenEditors();

    // Posts a window notification of `effect` (any thread); false when it was dropped (the
    // effect holds no slot, or the mailbox is full).
    bool PostWindowEvent(const CSeqEffect& effect, WindowEventKind kind, int first = 0,
                         int second = 0) noexcept;
    CWindowMailbox& WindowMailbox() noexcept { return m_windowMailbox; }

    // The two mix buffers (left, right), kMixFrames floats each.
    float* const* MixBuffers() const noexcept { return m_pMix; }

    // Event routing (engine worker). The event list of one sub-block from the first entries of
    // the queue, or null when both counts are 0; valid until the next call.
    VstEvents* BuildEventList(int frames, uint32_t blockTime, uint32_t shortCount,
                              uint32_t sysexCount) noexcept;
    // The part of `list` that passes `mask`, or null when nothing passes; valid until the next
    // call. Its pointers point at the records of `list`.
    VstEvents* FilterEvents(const VstEvents* list, uint16_t mask) noexcept;

    // How many sub-blocks a block of `frames` is split into.
    static int SubBlockCount(int frames) noexcept;

    // CEffectHost
    std::unique_ptr<CEffect> CreateEffect() override;
    intptr_t OnCanDo(const char* text) override;
    intptr_t OnSetParameterAutomated(int effect, int32_t index, float value) override;
    intptr_t OnProcessEvents(int effect, VstEvents* events) override;
    intptr_t OnOpenFileSelector(int effect, VstFileSelect* select) override;
    intptr_t OnCloseFileSelector(int effect, VstFileSelect* select) override;
    intptr_t OnGetChunkFile(int effect, void* text) override;
    intptr_t OnGetCurrentProcessLevel(int effect) override;

private:
    // An event list header followed by room for kMaxEvents pointers.
    class EventListStorage {
    public:
        EventListStorage();
        VstEvents* List() noexcept { return reinterpret_cast<VstEvents*>(m_bytes.get()); }
        VstEvent** Pointers() noexcept;

    private:
        std::unique_ptr<std::byte[]> m_bytes;
    };

    // The outputs of the effects run so far in a sub-block and not yet in the mix: the first
    // two of each (a mono effect's one output twice), in slot order.
    struct PendingMix {
        const float* outputs[2][kMaxMixSources];
        int count = 0;
        bool started = false; // the mix holds the sum of the outputs summed before
    };

    // Runs one effect under its lock and adds its outputs to `mix`.
    void RunEffect(CSeqEffect& effect, const VstEvents* events, float* const* buffers, int channels,
                   int offset, int frames, PendingMix& mix) noexcept;
    // Sums the pending outputs into the mix buffers in one pass and empties `mix`.
    void FlushMix(PendingMix& mix, int offset, int frames, float gain) noexcept;
    bool FillReturnPath(VstFileSelect& select, const std::string& path);

    CMidiInputQueue m_queue;
    std::unique_ptr<float[]> m_mixStorage;
    float* m_pMix[2] = {};
    CAudioBuffer m_inputs[kFedInputs]; // the sub-block's inputs, copied for each effect
    CAudioBuffer m_silence;            // inputs beyond the block's channels read silence

    EventListStorage m_eventList;
    EventListStorage m_filteredList;
    std::unique_ptr<VstMidiEvent[]> m_midiEvents;
    std::unique_ptr<VstMidiSysexEvent[]> m_sysexEvents;

    RenderStateWord m_ownRenderState{RenderState::Idle};
    std::atomic<RenderStateWord*> m_pRenderState{&m_ownRenderState};
    std::atomic<IBlockOutput*> m_pOutput{nullptr};
    std::atomic<IMidiOutputSink*> m_pMidiOutput{nullptr};
    std::atomic<IUserInterface*> m_pUserInterface{nullptr};
    std::function<void()> m_shutdownHook;
    std::atomic<bool> m_bOffline{false};
    const std::thread::id m_uiThread = std::this_thread::get_id(); // the thread that made it
    std::atomic<bool> m_bEditorIdlePending{false}; // an EditorIdle record waits in the mailbox
    CWindowMailbox m_windowMailbox;

    // returnPath buffers the host allocated for plug-ins' file selectors, freed when the
    // plug-in closes the selector (or with the host). Only these are ever freed.
    std::mutex m_returnPathsLock;
    std::vector<std::unique_ptr<char[]>> m_returnPaths;
};

} // namespace zorvil
