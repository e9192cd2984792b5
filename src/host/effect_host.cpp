#include "host/effect_host.h"

#include <cstring>
#include <exception>
#include <stdexcept>

namespace zorvil {

namespace {

// "byte" answers: only the low 8 bits of the operation's result reach the plug-in.
constexpr intptr_t LowByte(intptr_t result) noexcept {
    return result & 0xFF;
}

// Copies `text` with its terminator into a plug-in's buffer of `capacity` bytes; nothing (and
// false) when it does not fit whole.
bool CopyText(char* destination, std::string_view text, std::size_t capacity) {
    if (destination == nullptr || text.size() >= capacity) return false;
    std::memcpy(destination, text.data(), text.size());
    destination[text.size()] = '\0';
    return true;
}

} // namespace

std::atomic<CEffectHost*> CEffectHost::s_pHost{nullptr};

CEffectHost::CEffectHost() {
    CEffectHost* expected = nullptr;
    if (!s_pHost.compare_exchange_strong(expected, this, std::memory_order_acq_rel))
        throw std::logic_error("only one plug-in host may exist at a time");
    m_timeInfo.sampleRate = 44100.0;
    m_timeInfo.tempo = 120.0;
    m_timeInfo.timeSigNumerator = 4;
    m_timeInfo.timeSigDenominator = 4;
    m_timeInfo.smpteFrameRate = 1;
    m_timeInfo.flags = kVstTempoValid;
}

CEffectHost::~CEffectHost() {
    try {
        RemoveAll();
    } catch (...) {
        // A plug-in that threw while it closed: the shutdown hook has run, and a destructor
        // cannot pass the failure on.
    }
    CEffectHost* expected = this;
    s_pHost.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
}

intptr_t CEffectHost::AudioMasterCallback(AEffect* effect, int32_t opcode, int32_t index,
                                          intptr_t value, void* ptr, float opt) {
    CEffectHost* host = s_pHost.load(std::memory_order_acquire);
    if (host == nullptr) return 0;
    // Nothing may unwind into a plug-in's C code.
    try {
        return host->OnAudioMaster(host->IndexOf(effect), opcode, index, value, ptr, opt);
    } catch (...) {
        return 0;
    }
}

// ---- slots -------------------------------------------------------------------------------

int CEffectHost::LoadPlugin(std::string_view path) {
    std::unique_ptr<CEffect> created = CreateEffect();
    if (!created->Load(path)) {
        m_lastLoadFailure = created->GetLoadFailure();
        m_strLastLoadError = created->GetLoadFailureText();
        return -1;
    }
    m_lastLoadFailure = LoadFailure::None;
    m_strLastLoadError.clear();

    const int slot = PlaceEffect(std::move(created));
    CEffect* effect = GetEffect(slot);
    try {
        effect->Dispatch(effSetSampleRate, 0, 0, nullptr, m_fSampleRate);
        effect->Dispatch(effSetBlockSize, 0, m_nBlockSize);
        effect->Dispatch(effOpen);
        effect->Dispatch(effMainsChanged, 0, 1);
        // VST 2.4 plug-ins announce MIDI input through this capability instead of asking with
        // audioMasterWantMidi (deprecated in 2.4); without it such a synth would never hear a
        // note.
        if (effect->CanDo("receiveVstMidiEvent")) effect->m_bWantMidi.store(true);
    } catch (...) {
        // A plug-in that cannot even open is not kept.
        RemoveEffect(slot);
        m_lastLoadFailure = LoadFailure::OpenFailed;
        m_strLastLoadError = std::string(DescribeLoadFailure(LoadFailure::OpenFailed));
        return -1;
    }
    return slot;
}

int CEffectHost::PlaceEffect(std::unique_ptr<CEffect> effect) {
    const int count = SlotCount();
    SlotEntry* slots = Slots();
    for (int slot = count - 1; slot >= 0; --slot) {
        if (slots[slot].load(std::memory_order_acquire) == nullptr) {
            slots[slot].store(effect.release(), std::memory_order_release);
            return slot;
        }
    }
    if (count + 1 > m_nSlotCapacity) {
        auto grown = std::make_unique<SlotEntry[]>(m_nSlotCapacity + kSlotGrowth);
        for (int slot = 0; slot < count; ++slot)
            grown[slot].store(slots[slot].load(std::memory_order_relaxed),
                              std::memory_order_relaxed);
        // Publish the new array before the count that needs it; the old one stays allocated
        // for readers that loaded it a moment ago.
        m_pSlots.store(grown.get(), std::memory_order_release);
        m_slotArrays.push_back(std::move(grown));
        m_nSlotCapacity += kSlotGrowth;
    }
    Slots()[count].store(effect.release(), std::memory_order_release);
    m_nSlotCount.store(count + 1, std::memory_order_release);
    return count;
}

bool CEffectHost::RemoveEffect(int slot) {
    if (slot < 0 || slot >= SlotCount()) return false;
    // Empty the slot first: from here on callbacks of this plug-in find no slot.
    std::unique_ptr<CEffect> effect(Slots()[slot].exchange(nullptr, std::memory_order_acq_rel));
    if (!effect) return false;
    effect->Unload();
    return true;
}

void CEffectHost::RemoveAll() {
    // Every slot is emptied even when a plug-in throws while it closes; the first failure is
    // passed on afterwards.
    std::exception_ptr failure;
    for (int slot = SlotCount() - 1; slot >= 0; --slot) {
        try {
            RemoveEffect(slot);
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
    }
    m_nSlotCount.store(0, std::memory_order_release);
    if (failure) std::rethrow_exception(failure);
}

CEffect* CEffectHost::GetEffect(int slot) const noexcept {
    if (slot < 0 || slot >= SlotCount()) return nullptr;
    return Slots()[slot].load(std::memory_order_acquire);
}

int CEffectHost::IndexOf(const AEffect* effect) const noexcept {
    if (effect == nullptr) return -1;
    for (int slot = SlotCount() - 1; slot >= 0; --slot) {
        const CEffect* wrapper = GetEffect(slot);
        if (wrapper != nullptr && wrapper->GetAEffect() == effect) return slot;
    }
    return -1;
}

int CEffectHost::GetNextEffect(int slot) const noexcept {
    const int count = SlotCount();
    for (int next = slot < 0 ? 0 : slot + 1; next < count; ++next)
        if (GetEffect(next) != nullptr) return next;
    return -1;
}

void CEffectHost::IdleAll() {
    for (int slot = GetNextEffect(-1); slot >= 0; slot = GetNextEffect(slot)) {
        CEffect* effect = GetEffect(slot);
        if (effect->m_bNeedIdle.load()) effect->Dispatch(effIdle);
    }
}

void CEffectHost::EditIdleAll() {
    for (int slot = GetNextEffect(-1); slot >= 0; slot = GetNextEffect(slot)) {
        CEffect* effect = GetEffect(slot);
        if (effect->m_bEditorOpen.load()) effect->Dispatch(effEditIdle);
    }
}

bool CEffectHost::AnyEditorOpen() const noexcept {
    for (int slot = GetNextEffect(-1); slot >= 0; slot = GetNextEffect(slot))
        if (GetEffect(slot)->m_bEditorOpen.load()) return true;
    return false;
}

// ---- settings ----------------------------------------------------------------------------

std::unique_ptr<CEffect> CEffectHost::CreateEffect() {
    return std::make_unique<CEffect>(this);
}

void CEffectHost::SetSampleRate(float rate) {
    if (rate == m_fSampleRate) return;
    m_fSampleRate = rate;
    std::atomic_ref<double>(m_timeInfo.sampleRate).store(rate, std::memory_order_relaxed);
    for (int slot = GetNextEffect(-1); slot >= 0; slot = GetNextEffect(slot))
        GetEffect(slot)->Dispatch(effSetSampleRate, 0, 0, nullptr, rate);
}

void CEffectHost::SetTempo(double bpm) {
    // Plug-ins read the time record from the engine thread while the tempo control writes it.
    std::atomic_ref<double>(m_timeInfo.tempo).store(bpm, std::memory_order_relaxed);
}

void CEffectHost::SetBlockSize(int frames) {
    if (frames == m_nBlockSize) return;
    m_nBlockSize = frames;
    for (int slot = GetNextEffect(-1); slot >= 0; slot = GetNextEffect(slot))
        GetEffect(slot)->Dispatch(effSetBlockSize, 0, frames);
}

void CEffectHost::ProcessAll(float** inputs, float** outputs, int32_t frames) {
    for (int slot = GetNextEffect(-1); slot >= 0; slot = GetNextEffect(slot))
        GetEffect(slot)->Process(inputs, outputs, frames);
}

void CEffectHost::ProcessReplacingAll(float** inputs, float** outputs, int32_t frames) {
    for (int slot = GetNextEffect(-1); slot >= 0; slot = GetNextEffect(slot))
        GetEffect(slot)->ProcessReplacing(inputs, outputs, frames);
}

// ---- answers -----------------------------------------------------------------------------

bool CEffectHost::GetVendorString(char* text) {
    return CopyText(text, kVendorString, kVstMaxVendorStrLen);
}
intptr_t CEffectHost::GetVendorVersion() {
    return kVendorVersion;
}
bool CEffectHost::GetProductString(char* text) {
    return CopyText(text, kProductString, kVstMaxProductStrLen);
}
intptr_t CEffectHost::OnGetOutputSpeakerArrangement(int, intptr_t, void*) {
    return 0;
}
intptr_t CEffectHost::OnSetOutputSampleRate(int, float) {
    return 0;
}
intptr_t CEffectHost::OnOfflineStart(int, void*, intptr_t, int32_t) {
    return 0;
}
intptr_t CEffectHost::OnOfflineRead(int, void*, intptr_t, bool) {
    return 0;
}
intptr_t CEffectHost::OnOfflineWrite(int, void*, intptr_t) {
    return 0;
}
intptr_t CEffectHost::OnOfflineGetCurrentPass(int) {
    return 0;
}
intptr_t CEffectHost::OnOfflineGetCurrentMetaPass(int) {
    return 0;
}
intptr_t CEffectHost::OnGetAutomationState(int) {
    return 0;
}
intptr_t CEffectHost::OnGetCurrentProcessLevel(int) {
    return 0;
}
intptr_t CEffectHost::OnWillReplaceOrAccumulate(int) {
    return 0;
}
intptr_t CEffectHost::OnGetOutputLatency(int) {
    return 0;
}
intptr_t CEffectHost::OnGetInputLatency(int) {
    return 0;
}

intptr_t CEffectHost::OnGetBlockSize(int effect) {
    if (CEffect* wrapper = GetEffect(effect)) wrapper->Dispatch(effSetBlockSize, 0, m_nBlockSize);
    return 0;
}

intptr_t CEffectHost::OnTempoAt(int, intptr_t) {
    return 0;
}

intptr_t CEffectHost::OnGetSampleRate(int effect) {
    if (CEffect* wrapper = GetEffect(effect))
        wrapper->Dispatch(effSetSampleRate, 0, 0, nullptr, m_fSampleRate);
    return 0;
}

intptr_t CEffectHost::OnSizeWindow(int effect, int width, int height) {
    CEffect* wrapper = GetEffect(effect);
    if (wrapper == nullptr) return 0;
    wrapper->OnSizeEditor(width, height);
    return 1;
}

intptr_t CEffectHost::OnNeedIdle(int effect) {
    CEffect* wrapper = GetEffect(effect);
    if (wrapper == nullptr) return 0;
    wrapper->m_bNeedIdle.store(true);
    return 1;
}

intptr_t CEffectHost::GetHostVersion() {
    return kHostVersion;
}

intptr_t CEffectHost::OnCanDo(const char* text) {
    if (text == nullptr) return 0;
    const std::string_view capability(text, strnlen(text, kVstStringBufferSize));
    return capability == "sendVstMidiEvent" || capability == "receiveVstMidiEvent" ||
                   capability == "sizeWindow"
               ? 1
               : 0;
}

intptr_t CEffectHost::OnWantMidi(int effect, intptr_t) {
    CEffect* wrapper = GetEffect(effect);
    if (wrapper == nullptr) return 0;
    wrapper->m_bWantMidi.store(true);
    return 1;
}

intptr_t CEffectHost::OnIdle(int) {
    for (int slot = GetNextEffect(-1); slot >= 0; slot = GetNextEffect(slot)) {
        CEffect* wrapper = GetEffect(slot);
        if (wrapper->m_bEditorOpen.load()) wrapper->Dispatch(effEditIdle);
    }
    return 0;
}

intptr_t CEffectHost::OnInputConnected(int, int32_t) {
    return 1;
}
intptr_t CEffectHost::OnOutputConnected(int, int32_t) {
    return 1;
}
intptr_t CEffectHost::OnSetParameterAutomated(int, int32_t, float) {
    return 0;
}
intptr_t CEffectHost::OnProcessEvents(int, VstEvents*) {
    return 0;
}
intptr_t CEffectHost::OnGetTime(int) {
    return reinterpret_cast<intptr_t>(&m_timeInfo);
}
intptr_t CEffectHost::OnSetTime(int, intptr_t, void*) {
    return 0;
}
intptr_t CEffectHost::OnGetNumAutomatableParameters(int) {
    return 0;
}
intptr_t CEffectHost::OnGetParameterQuantization(int) {
    return kParameterQuantization;
}
intptr_t CEffectHost::OnIoChanged(int) {
    return 0;
}
intptr_t CEffectHost::OnVendorSpecific(int, int32_t, intptr_t, void*, float) {
    return 0;
}
intptr_t CEffectHost::OnGetLanguage(int) {
    return 0;
}
intptr_t CEffectHost::OnOpenWindow(int, void*) {
    return 0;
}
intptr_t CEffectHost::OnCloseWindow(int, void*) {
    return 0;
}

intptr_t CEffectHost::OnGetDirectory(int effect) {
    const CEffect* wrapper = GetEffect(effect);
    return wrapper != nullptr ? reinterpret_cast<intptr_t>(wrapper->GetDirectory()) : 0;
}

intptr_t CEffectHost::OnUpdateDisplay(int effect) {
    if (CEffect* wrapper = GetEffect(effect)) wrapper->OnUpdateDisplay();
    return 0;
}

intptr_t CEffectHost::OnBeginEdit(int, int32_t) {
    return 0;
}
intptr_t CEffectHost::OnEndEdit(int, int32_t) {
    return 0;
}
intptr_t CEffectHost::OnOpenFileSelector(int, VstFileSelect*) {
    return 0;
}
intptr_t CEffectHost::OnCloseFileSelector(int, VstFileSelect*) {
    return 0;
}
intptr_t CEffectHost::OnEditFile(int, void*) {
    return 0;
}
intptr_t CEffectHost::OnGetChunkFile(int, void*) {
    return 0;
}
intptr_t CEffectHost::OnGetInputSpeakerArrangement(int) {
    return 0;
}

// ---- the callback table ------------------------------------------------------------------

intptr_t CEffectHost::OnAudioMaster(int effect, int32_t opcode, int32_t index, intptr_t value,
                                    void* ptr, float opt) {
    switch (opcode) {
    case audioMasterAutomate:
        return LowByte(OnSetParameterAutomated(effect, index, opt));
    case audioMasterVersion:
        GetHostVersion();
        return kHostVersion;
    case audioMasterCurrentId:
        return effect;
    case audioMasterIdle:
        return OnIdle(effect);
    case audioMasterPinConnected: {
        const intptr_t connected =
            value == 0 ? OnInputConnected(effect, index) : OnOutputConnected(effect, index);
        return LowByte(connected) == 0 ? 1 : 0;
    }
    case audioMasterWantMidi:
        return LowByte(OnWantMidi(effect, value));
    case audioMasterGetTime:
        return OnGetTime(effect);
    case audioMasterProcessEvents:
        return LowByte(OnProcessEvents(effect, static_cast<VstEvents*>(ptr)));
    case audioMasterSetTime:
        return LowByte(OnSetTime(effect, value, ptr));
    case audioMasterTempoAt:
        return OnTempoAt(effect, value);
    case audioMasterGetNumAutomatableParameters:
        return OnGetNumAutomatableParameters(effect);
    case audioMasterGetParameterQuantization:
        return OnGetParameterQuantization(effect);
    case audioMasterIOChanged:
        return LowByte(OnIoChanged(effect));
    case audioMasterNeedIdle:
        return LowByte(OnNeedIdle(effect));
    case audioMasterSizeWindow:
        return LowByte(OnSizeWindow(effect, index, static_cast<int>(value)));
    // Plug-ins take these answers as the rate and the block size (some assert a minimum), so
    // they get the real values; the calling effect also receives them through its dispatcher.
    case audioMasterGetSampleRate:
        OnGetSampleRate(effect);
        return static_cast<intptr_t>(m_fSampleRate);
    case audioMasterGetBlockSize:
        OnGetBlockSize(effect);
        return m_nBlockSize;
    case audioMasterGetInputLatency:
        return OnGetInputLatency(effect);
    case audioMasterGetOutputLatency:
        return OnGetOutputLatency(effect);
    case audioMasterGetPreviousPlug:
        return GetNextEffect(-1);
    case audioMasterGetNextPlug:
        return GetNextEffect(effect);
    case audioMasterWillReplaceOrAccumulate:
        return LowByte(OnWillReplaceOrAccumulate(effect));
    case audioMasterGetCurrentProcessLevel:
        return OnGetCurrentProcessLevel(effect);
    case audioMasterGetAutomationState:
        return OnGetAutomationState(effect);
    case audioMasterOfflineStart:
        return LowByte(OnOfflineStart(effect, ptr, value, index));
    case audioMasterOfflineRead:
        return LowByte(OnOfflineRead(effect, ptr, value, index != 0));
    case audioMasterOfflineWrite:
        return LowByte(OnOfflineWrite(effect, ptr, value));
    case audioMasterOfflineGetCurrentPass:
        return OnOfflineGetCurrentPass(effect);
    case audioMasterOfflineGetCurrentMetaPass:
        return OnOfflineGetCurrentMetaPass(effect);
    case audioMasterSetOutputSampleRate:
        OnSetOutputSampleRate(effect, opt);
        return 1;
    case audioMasterGetOutputSpeakerArrangement:
        return LowByte(OnGetOutputSpeakerArrangement(effect, value, ptr));
    case audioMasterGetVendorString:
        return LowByte(GetVendorString(static_cast<char*>(ptr)) ? 1 : 0);
    case audioMasterGetProductString:
        return LowByte(GetProductString(static_cast<char*>(ptr)) ? 1 : 0);
    case audioMasterGetVendorVersion:
        GetVendorVersion();
        return kVendorVersion;
    case audioMasterVendorSpecific:
        return OnVendorSpecific(effect, index, value, ptr, opt);
    case audioMasterCanDo:
        return LowByte(OnCanDo(static_cast<const char*>(ptr)));
    case audioMasterGetLanguage:
        return OnGetLanguage(effect);
    case audioMasterOpenWindow:
        return OnOpenWindow(effect, ptr);
    case audioMasterCloseWindow:
        return LowByte(OnCloseWindow(effect, ptr));
    case audioMasterGetDirectory:
        return OnGetDirectory(effect);
    case audioMasterUpdateDisplay:
        return LowByte(OnUpdateDisplay(effect));
    case audioMasterBeginEdit:
        return LowByte(OnBeginEdit(effect, index));
    case audioMasterEndEdit:
        return LowByte(OnEndEdit(effect, index));
    case audioMasterOpenFileSelector:
        return LowByte(OnOpenFileSelector(effect, static_cast<VstFileSelect*>(ptr)));
    case audioMasterCloseFileSelector:
        return LowByte(OnCloseFileSelector(effect, static_cast<VstFileSelect*>(ptr)));
    case audioMasterEditFile:
        return LowByte(OnEditFile(effect, ptr));
    case audioMasterGetChunkFile:
        return LowByte(OnGetChunkFile(effect, ptr));
    case audioMasterGetInputSpeakerArrangement:
        return OnGetInputSpeakerArrangement(effect);
    default: // 5, 36 and everything above 49
        return 0;
    }
}

} // namespace zorvil
