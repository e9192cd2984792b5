// CSeqEffect: the effect wrapper the engine works with.
//
// On top of CEffect it owns what the engine needs: one 24000-float buffer per plug-in output
// (zero-filled at load, 64-byte aligned with slack past its end, see CAudioBuffer), one input
// pointer per plug-in input (the engine points them into its
// block buffers before each call), a lock that guards the plug-in while it gets events and
// processes and its buffers while they are mixed, the MIDI channel mask, its generation (a number
// no other wrapper of the process shares: the windows' notifications of a slot carry it, so that
// those of an effect unloaded since are dropped) and the bank file last loaded into or saved from
// it.
//
//     CSeqEffect& effect = *host.GetSeqEffect(slot);
//     {
//         std::lock_guard lock(effect.GetLock());     // or effect.Lock() ... effect.Unlock()
//         effect.RunProcessReplacing(frames);        // m_ppInputs -> m_ppOutputs
//     }
//     effect.m_wChannelMask = 0x0001;                 // MIDI channel 1 only
//
// Unload runs inside a fault guard: if the plug-in crashes while it closes (SIGSEGV, SIGBUS,
// SIGILL, SIGFPE), the host's shutdown hook closes the engine and the devices first, then the
// fault takes its normal course. A plug-in that throws from effClose is met the same way: the
// hook runs, then EffectCloseError goes on to the caller.
//
// Threads: the channel mask is written by the user-interface thread and read by the engine,
// hence atomic. What the plug-in reports about its windows (OnSizeEditor, OnUpdateDisplay), on
// whatever thread, goes to the host's window mailbox (CSeqHost::PostWindowEvent) and reaches the
// windows on the user-interface thread; nothing here points at a window.
#pragma once

#include "host/audio_buffer.h"
#include "host/effect.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zorvil {

class CSeqEffect : public CEffect {
public:
    static constexpr int kOutputBufferFrames = 24000;
    static constexpr uint16_t kAllChannels = 0xFFFF;

    explicit CSeqEffect(CEffectHost* host) noexcept;
    ~CSeqEffect() override;

    bool Load(std::string_view path) override;
    bool Unload() override;
    intptr_t Dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0f) override;
    void OnSizeEditor(int width, int height) override;
    void OnUpdateDisplay() override;

    // The process calls with the wrapper's own input pointers and output buffers.
    virtual void RunProcess(int32_t frames);
    virtual void RunProcessReplacing(int32_t frames);

    void Lock() { m_csLock.lock(); }
    void Unlock() { m_csLock.unlock(); }
    std::mutex& GetLock() noexcept { return m_csLock; }
    uint32_t Generation() const noexcept { return m_nGeneration; }

    // Bit n lets events of MIDI channel n + 1 reach the effect.
    std::atomic<uint16_t> m_wChannelMask{kAllChannels};
    int m_nOutputs = 0;
    int m_nInputs = 0;
    std::mutex m_csLock;
    float** m_ppOutputs = nullptr; // m_nOutputs buffers of kOutputBufferFrames floats
    float** m_ppInputs = nullptr;  // m_nInputs pointers, null until the engine sets them
    std::string m_strBankFile;

private:
    void FreeBuffers() noexcept;

    const uint32_t m_nGeneration;

    std::vector<CAudioBuffer> m_outputStorage;
    std::unique_ptr<float*[]> m_outputPointers;
    std::unique_ptr<float*[]> m_inputPointers;
};

} // namespace zorvil
