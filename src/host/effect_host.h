// CEffectHost: the plug-in host: numbered effect slots, the time record and the answers to
// every call a plug-in makes back to the host.
//
// Exactly one host exists at a time (the constructor throws for a second one): the static
// callback handed to every plug-in's entry finds it through a process-wide pointer, looks up
// the calling plug-in's slot and lets the virtual OnAudioMaster answer.
//
//     CSeqHost host;                                  // the application's host derives from it
//     const int slot = host.LoadPlugin(path);         // sample rate, block size, open, mains on
//     for (int s = host.GetNextEffect(-1); s >= 0; s = host.GetNextEffect(s)) ...
//     host.RemoveEffect(slot);
//
// Answers: each opcode is answered by its virtual operation, whole or as its low byte only, or
// with a fixed value (version 2300, vendor version 1000, ...). audioMasterGetSampleRate and
// audioMasterGetBlockSize answer the host's real rate and block size (plug-ins size their
// buffers from them) and also send them to the asking effect through its dispatcher.
//
// Slots: a wrapper goes into the highest empty slot; when none is empty the array grows by 5
// entries and the wrapper is appended. The array is never shrunk; a slot's number is the
// effect's identity everywhere (windows, project file, callback).
//
// Threads: slots change only on the user-interface thread, with the engine stopped. Plug-ins
// call back from any thread, even while a slot is being filled or emptied; the slot array is
// therefore published through atomics and every array ever allocated is kept until the host
// dies, so a reader on another thread never touches freed memory.
#pragma once

#include "host/effect.h"
#include "host/vst2_interface.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zorvil {

class CEffectHost {
public:
    static constexpr int kSlotGrowth = 5;
    static constexpr int kHostVersion = 2300;
    static constexpr int kVendorVersion = 1000;
    static constexpr const char* kVendorString = "Ostrelworks";
    static constexpr const char* kProductString = "Zorvil";
    static constexpr intptr_t kParameterQuantization = 0x40000000;

    CEffectHost(); // throws std::logic_error when another host exists
    virtual ~CEffectHost();
    CEffectHost(const CEffectHost&) = delete;
    CEffectHost& operator=(const CEffectHost&) = delete;

    // The function every plug-in receives in its entry call.
    static intptr_t AudioMasterCallback(AEffect* effect, int32_t opcode, int32_t index,
                                        intptr_t value, void* ptr, float opt);

    // Loads a plug-in into a slot: its slot, or -1 when the library is not a usable plug-in
    // (LastLoadError says why; no slot is taken).
    int LoadPlugin(std::string_view path);
    // Unload and delete the effect of a slot; false for an empty slot. Throws EffectCloseError
    // (after the slot was emptied) when the plug-in threw while it closed.
    bool RemoveEffect(int slot);
    // Removes every effect, also when one throws while it closes; then throws the first such
    // EffectCloseError.
    void RemoveAll();

    CEffect* GetEffect(int slot) const noexcept;
    int IndexOf(const AEffect* effect) const noexcept;
    int GetNextEffect(int slot) const noexcept; // -1 gives the lowest present slot
    int SlotCount() const noexcept { return m_nSlotCount.load(std::memory_order_acquire); }
    int SlotCapacity() const noexcept { return m_nSlotCapacity; }
    LoadFailure LastLoadFailure() const noexcept { return m_lastLoadFailure; }
    const std::string& LastLoadError() const noexcept { return m_strLastLoadError; }

    const VstTimeInfo& TimeInfo() const noexcept { return m_timeInfo; }
    float GetSampleRate() const noexcept { return m_fSampleRate; }
    int GetBlockSize() const noexcept { return m_nBlockSize; }

    // The idle calls, on the user-interface thread. IdleAll (every 100 ms): effIdle to each
    // present effect that asked for idle, in slot order. EditIdleAll (about 60 times a second
    // while an editor is open, since editors draw and follow the mouse from these calls):
    // effEditIdle to each effect whose editor is open, and to no other.
    void IdleAll();
    void EditIdleAll();
    bool AnyEditorOpen() const noexcept;

    // Virtual operations; `effect` is the calling plug-in's slot (-1 when it holds none).
    virtual std::unique_ptr<CEffect> CreateEffect();
    virtual void SetSampleRate(float rate);
    virtual void SetTempo(double bpm);
    virtual void SetBlockSize(int frames);
    virtual void ProcessAll(float** inputs, float** outputs, int32_t frames);
    virtual void ProcessReplacingAll(float** inputs, float** outputs, int32_t frames);
    virtual bool GetVendorString(char* text);
    virtual intptr_t GetVendorVersion();
    virtual bool GetProductString(char* text);
    virtual intptr_t OnGetOutputSpeakerArrangement(int effect, intptr_t value, void* ptr);
    virtual intptr_t OnSetOutputSampleRate(int effect, float rate);
    virtual intptr_t OnOfflineStart(int effect, void* files, intptr_t count, int32_t newCount);
    virtual intptr_t OnOfflineRead(int effect, void* task, intptr_t option, bool readSource);
    virtual intptr_t OnOfflineWrite(int effect, void* task, intptr_t option);
    virtual intptr_t OnOfflineGetCurrentPass(int effect);
    virtual intptr_t OnOfflineGetCurrentMetaPass(int effect);
    virtual intptr_t OnGetAutomationState(int effect);
    virtual intptr_t OnGetCurrentProcessLevel(int effect);
    virtual intptr_t OnWillReplaceOrAccumulate(int effect);
    virtual intptr_t OnGetOutputLatency(int effect);
    virtual intptr_t OnGetInputLatency(int effect);
    virtual intptr_t OnGetBlockSize(int effect);
    virtual intptr_t OnTempoAt(int effect, intptr_t position);
    virtual intptr_t OnGetSampleRate(int effect);
    virtual intptr_t OnSizeWindow(int effect, int width, int height);
    virtual intptr_t OnNeedIdle(int effect);
    virtual intptr_t OnAudioMaster(int effect, int32_t opcode, int32_t index, intptr_t value,
                                   void* ptr, float opt);
    virtual intptr_t GetHostVersion();
    virtual intptr_t OnCanDo(const char* text);
    virtual intptr_t OnWantMidi(int effect, intptr_t filter);
    virtual intptr_t OnIdle(int effect);
    virtual intptr_t OnInputConnected(int effect, int32_t pin);
    virtual intptr_t OnOutputConnected(int effect, int32_t pin);
    virtual intptr_t OnSetParameterAutomated(int effect, int32_t index, float value);
    virtual intptr_t OnProcessEvents(int effect, VstEvents* events);
    virtual intptr_t OnGetTime(int effect);
    virtual intptr_t OnSetTime(int effect, intptr_t filter, void* time);
    virtual intptr_t OnGetNumAutomatableParameters(int effect);
    virtual intptr_t OnGetParameterQuantization(int effect);
    virtual intptr_t OnIoChanged(int effect);
    virtual intptr_t OnVendorSpecific(int effect, int32_t index, intptr_t value, void* ptr,
                                      float opt);
    virtual intptr_t OnGetLanguage(int effect);
    virtual intptr_t OnOpenWindow(int effect, void* window);
    virtual intptr_t OnCloseWindow(int effect, void* window);
    virtual intptr_t OnGetDirectory(int effect);
    virtual intptr_t OnUpdateDisplay(int effect);
    virtual intptr_t OnBeginEdit(int effect, int32_t index);
    virtual intptr_t OnEndEdit(int effect, int32_t index);
    virtual intptr_t OnOpenFileSelector(int effect, VstFileSelect* select);
    virtual intptr_t OnCloseFileSelector(int effect, VstFileSelect* select);
    virtual intptr_t OnEditFile(int effect, void* ptr);
    virtual intptr_t OnGetChunkFile(int effect, void* text);
    virtual intptr_t OnGetInputSpeakerArrangement(int effect);

protected:
    using SlotEntry = std::atomic<CEffect*>;

    // Puts an owned wrapper into the highest empty slot (or appends one); returns the slot.
    int PlaceEffect(std::unique_ptr<CEffect> effect);
    SlotEntry* Slots() const noexcept { return m_pSlots.load(std::memory_order_acquire); }

    VstTimeInfo m_timeInfo{};
    float m_fSampleRate = 44100.0f;
    int m_nBlockSize = 1024;

private:
    static std::atomic<CEffectHost*> s_pHost;

    std::atomic<SlotEntry*> m_pSlots{nullptr};
    std::atomic<int> m_nSlotCount{0};
    int m_nSlotCapacity = 0;
    std::vector<std::unique_ptr<SlotEntry[]>> m_slotArrays; // current one last
    LoadFailure m_lastLoadFailure = LoadFailure::None;
    std::string m_strLastLoadError;
};

} // namespace zorvil
