#include "host/seq_host.h"

#include "host/mix_kernels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace zorvil {

namespace {

VstEvent** EventPointers(VstEvents* list) noexcept {
    return reinterpret_cast<VstEvent**>(reinterpret_cast<std::byte*>(list) +
                                        offsetof(VstEvents, events));
}

VstEvent* const* EventPointers(const VstEvents* list) noexcept {
    return reinterpret_cast<VstEvent* const*>(reinterpret_cast<const std::byte*>(list) +
                                              offsetof(VstEvents, events));
}

// A text field of a plug-in's record, read no further than the field itself.
std::string FieldText(const char* field, std::size_t size) {
    return std::string(field, strnlen(field, size));
}

// A render marker: note-on (0x90 to 0x9F) of key 0 with velocity 1.
constexpr bool IsRenderMarker(uint32_t word) noexcept {
    return (word & 0xF0) == 0x90 && ((word >> 8) & 0x7F) == 0 && ((word >> 16) & 0x7F) == 1;
}

} // namespace

CSeqHost::EventListStorage::EventListStorage()
    : m_bytes(std::make_unique<std::byte[]>(offsetof(VstEvents, events) +
                                            sizeof(VstEvent*) * kMaxEvents)) {}

VstEvent** CSeqHost::EventListStorage::Pointers() noexcept {
    return EventPointers(List());
}

CSeqHost::CSeqHost()
    : m_mixStorage(std::make_unique<float[]>(2 * static_cast<std::size_t>(kMixFrames))),
      m_inputs{CAudioBuffer(CSeqEffect::kOutputBufferFrames),
               CAudioBuffer(CSeqEffect::kOutputBufferFrames)},
      m_silence(CSeqEffect::kOutputBufferFrames),
      m_midiEvents(std::make_unique<VstMidiEvent[]>(CMidiInputQueue::kShortCapacity)),
      m_sysexEvents(std::make_unique<VstMidiSysexEvent[]>(CMidiInputQueue::kSysexCapacity)) {
    m_pMix[0] = m_mixStorage.get();
    m_pMix[1] = m_mixStorage.get() + kMixFrames;
}

CSeqHost::~CSeqHost() {
    // Unload while this part of the host still answers the plug-ins' calls. A plug-in that
    // throws while it closes has had the shutdown hook run; a destructor cannot pass that on.
    try {
        RemoveAll();
    } catch (...) {
    }
}

CSeqEffect* CSeqHost::GetSeqEffect(int slot) const noexcept {
    // Every wrapper of this host comes from CreateEffect below.
    return static_cast<CSeqEffect*>(GetEffect(slot));
}

std::unique_ptr<CEffect> CSeqHost::CreateEffect() {
    return std::make_unique<CSeqEffect>(this);
}

void CSeqHost::QueueMidiEvent(const CMidiMessage& message) {
    m_queue.Queue(message);
}

void CSeqHost::SetRenderState(RenderStateWord* word) noexcept {
    m_pRenderState.store(word != nullptr ? word : &m_ownRenderState);
}

// ---- event routing -----------------------------------------------------------------------

VstEvents* CSeqHost::BuildEventList(int frames, uint32_t blockTime, uint32_t shortCount,
                                    uint32_t sysexCount) noexcept {
    shortCount = std::min(shortCount, CMidiInputQueue::kShortCapacity);
    sysexCount = std::min(sysexCount, CMidiInputQueue::kSysexCapacity);
    if (shortCount == 0 && sysexCount == 0) return nullptr;

    // 44 frames per millisecond after the block's start, in wrapping 32-bit arithmetic: an
    // entry older than the block wraps to a huge offset and, like anything beyond the
    // sub-block, lands on its last frame.
    const uint32_t lastFrame = frames > 0 ? static_cast<uint32_t>(frames) - 1 : 0;
    const auto offset = [&](uint32_t time) noexcept {
        const uint32_t delta = kEventFramesPerMs * (time - blockTime);
        return static_cast<int32_t>(delta > lastFrame ? lastFrame : delta);
    };

    RenderStateWord& renderState = GetRenderState();
    VstEvents* list = m_eventList.List();
    VstEvent** pointers = m_eventList.Pointers();
    list->numEvents = static_cast<int32_t>(shortCount + sysexCount);
    list->reserved = 0;
    uint32_t n = 0;

    for (uint32_t i = 0; i < shortCount; ++i) {
        const uint32_t word = m_queue.ShortWord(i);
        VstMidiEvent& event = m_midiEvents[i];
        event = VstMidiEvent{};
        event.type = kVstMidiType;
        event.byteSize = sizeof(VstMidiEvent);
        event.deltaFrames = offset(m_queue.ShortTime(i));
        for (int b = 0; b < 4; ++b)
            event.midiData[b] = static_cast<char>((word >> (8 * b)) & 0xFF);
        if (IsRenderMarker(word)) {
            RenderState expected = RenderState::MarkerSent;
            renderState.compare_exchange_strong(expected, RenderState::MarkerSeen);
        }
        pointers[n++] = reinterpret_cast<VstEvent*>(&event);
    }
    for (uint32_t i = 0; i < sysexCount; ++i) {
        const CMidiMessage& message = m_queue.Sysex(i);
        VstMidiSysexEvent& event = m_sysexEvents[i];
        event = VstMidiSysexEvent{};
        event.type = kVstSysExType;
        event.byteSize = sizeof(VstMidiSysexEvent);
        event.deltaFrames = offset(message.Time());
        // The whole length: a joined dump of up to 1 MiB arrives whole, never cut to 16 bits.
        event.dumpBytes = static_cast<int32_t>(
            std::min<std::size_t>(message.Length(), std::numeric_limits<int32_t>::max()));
        event.sysexDump = const_cast<char*>(reinterpret_cast<const char*>(message.Data()));
        pointers[n++] = reinterpret_cast<VstEvent*>(&event);
    }
    return list;
}

VstEvents* CSeqHost::FilterEvents(const VstEvents* list, uint16_t mask) noexcept {
    if (list == nullptr || list->numEvents <= 0) return nullptr;
    const int32_t count = std::min<int32_t>(list->numEvents, kMaxEvents);
    VstEvent* const* source = EventPointers(list);
    VstEvent** passing = m_filteredList.Pointers();
    int32_t n = 0;
    for (int32_t i = 0; i < count; ++i) {
        VstEvent* event = source[i];
        if (event == nullptr) continue;
        // System-exclusive events carry no channel: every effect that takes MIDI gets them.
        bool passes = event->type == kVstSysExType;
        if (!passes) {
            const auto* record = reinterpret_cast<const unsigned char*>(event);
            const unsigned channel = record[offsetof(VstMidiEvent, midiData)] & 0x0F;
            passes = (mask >> channel) & 1U;
        }
        if (passes) passing[n++] = event;
    }
    if (n == 0) return nullptr;
    VstEvents* filtered = m_filteredList.List();
    filtered->numEvents = n;
    filtered->reserved = 0;
    return filtered;
}

// ---- block processing --------------------------------------------------------------------

int CSeqHost::SubBlockCount(int frames) noexcept {
    // The largest n up to kMaxSubBlocks with frames / n >= kMinSubBlockFrames is
    // frames / kMinSubBlockFrames; at least one.
    return std::clamp(frames / kMinSubBlockFrames, 1, kMaxSubBlocks);
}

void CSeqHost::RunEffect(CSeqEffect& effect, const VstEvents* events, float* const* buffers,
                         int channels, int offset, int frames, PendingMix& mix) noexcept {
    VstEvents* filtered = FilterEvents(events, effect.m_wChannelMask.load());
    std::lock_guard lock(effect.m_csLock);
    if (filtered != nullptr && effect.m_bWantMidi.load()) {
        try {
            effect.Dispatch(effProcessEvents, 0, 0, filtered, 0.0f);
        } catch (...) {
            // A plug-in's failure to take its events costs it those events, nothing more.
        }
    }
    bool silenceCleared = false;
    for (int k = 0; k < effect.m_nInputs; ++k) {
        if (k < channels && k < kFedInputs && buffers[k] != nullptr) {
            // A copy made for this effect: what an earlier effect wrote into its inputs stays
            // with that effect.
            std::copy_n(buffers[k] + offset, frames, m_inputs[k].Data());
            effect.m_ppInputs[k] = m_inputs[k].Data();
        } else {
            // Inputs the block does not feed read silence rather than a null pointer. Cleared
            // per effect, in case a plug-in wrote into its input.
            if (!silenceCleared) std::fill_n(m_silence.Data(), frames, 0.0f);
            silenceCleared = true;
            effect.m_ppInputs[k] = m_silence.Data();
        }
    }
    for (int k = 0; k < std::min(effect.m_nOutputs, 2); ++k)
        std::fill_n(effect.m_ppOutputs[k], frames, 0.0f);
    try {
        if (effect.HasFlag(effFlagsCanReplacing))
            effect.RunProcessReplacing(frames);
        else
            effect.RunProcess(frames);
    } catch (...) {
        // Nothing may unwind out of the engine thread; the effect keeps what it wrote.
    }
    if (effect.m_nOutputs > 0) {
        // A mono effect plays in both channels at the same gain.
        mix.outputs[0][mix.count] = effect.m_ppOutputs[0];
        mix.outputs[1][mix.count] = effect.m_ppOutputs[std::min(1, effect.m_nOutputs - 1)];
        ++mix.count;
    }
}

void CSeqHost::FlushMix(PendingMix& mix, int offset, int frames, float gain) noexcept {
    if (mix.count == 0) return;
    for (int channel = 0; channel < 2; ++channel)
        MixSources(m_pMix[channel] + offset, mix.outputs[channel], mix.count, gain, frames,
                   mix.started);
    mix.count = 0;
    mix.started = true;
}

void CSeqHost::ProcessBlock(float* const* buffers, int frames, int channels,
                            uint32_t time) noexcept {
    // The mix buffers hold kMixFrames: a larger block cannot be made.
    if (frames <= 0 || frames > kMixFrames) return;
    if (buffers == nullptr) channels = 0;
    channels = std::max(channels, 0);

    const int subBlocks = SubBlockCount(frames);
    const int quotient = frames / subBlocks;
    for (int c = 0; c < channels; ++c)
        if (buffers[c] != nullptr) std::fill_n(buffers[c], frames, 0.0f);

    // Slots change only with the engine stopped: every sub-block runs the same effects.
    int present = 0;
    for (int slot = GetNextEffect(-1); slot >= 0; slot = GetNextEffect(slot))
        ++present;
    const float gain = present > 0 ? std::sqrt(1.0f / static_cast<float>(present)) : 0.0f;

    for (int i = 0; i < subBlocks; ++i) {
        const int offset = i * quotient;
        const int length = i == subBlocks - 1 ? quotient + frames % subBlocks : quotient;
        const CMidiInputQueue::Counts snapshot = m_queue.Snapshot();
        const VstEvents* events =
            BuildEventList(length, time, snapshot.shortCount, snapshot.sysexCount);
        PendingMix mix;
        for (int slot = GetNextEffect(-1); slot >= 0; slot = GetNextEffect(slot)) {
            RunEffect(*GetSeqEffect(slot), events, buffers, channels, offset, length, mix);
            if (mix.count == kMaxMixSources) FlushMix(mix, offset, length, gain);
        }
        m_queue.RemoveFront(snapshot);
        if (present == 0) continue;
        FlushMix(mix, offset, length, gain);
        // A sub-block no effect gave an output to is silent, not what an earlier block left.
        if (!mix.started)
            for (float* channel : m_pMix)
                std::fill_n(channel + offset, length, 0.0f);
    }

    IBlockOutput* output = m_pOutput.load();
    if (output == nullptr) return;
    if (present > 0 || channels < 2 || buffers[0] == nullptr || buffers[1] == nullptr) {
        if (present == 0) {
            // No effect, and no stereo pair of given buffers to pass on: silence.
            std::fill_n(m_pMix[0], frames, 0.0f);
            std::fill_n(m_pMix[1], frames, 0.0f);
        }
        output->OutputBlock(m_pMix, frames);
    } else {
        output->OutputBlock(buffers, frames);
    }
}

// ---- callback answers --------------------------------------------------------------------

intptr_t CSeqHost::OnCanDo(const char* text) {
    if (CEffectHost::OnCanDo(text) != 0) return 1;
    if (text == nullptr) return 0;
    const std::string_view capability(text, strnlen(text, kVstStringBufferSize));
    return capability == "openFileSelector" || capability == "closeFileSelector" ||
                   capability == "supplyIdle"
               ? 1
               : 0;
}

intptr_t CSeqHost::OnSetParameterAutomated(int effect, int32_t index, float /*value*/) {
    if (const CSeqEffect* wrapper = GetSeqEffect(effect))
        PostWindowEvent(*wrapper, WindowEventKind::ParameterAutomated, index);
    return 0;
}

intptr_t CSeqHost::OnIdle(int effect) {
    if (std::this_thread::get_id() == m_uiThread) return CEffectHost::OnIdle(effect);
    // One request waits at a time: a plug-in asking without pause fills nothing.
    const CSeqEffect* wrapper = GetSeqEffect(effect);
    if (wrapper == nullptr || m_bEditorIdlePending.exchange(true)) return 0;
    if (!PostWindowEvent(*wrapper, WindowEventKind::EditorIdle)) m_bEditorIdlePending.store(false);
    return 0;
}

void CSeqHost::IdleOpenEditors() {
    m_bEditorIdlePending.store(false);
    CEffectHost::OnIdle(-1);
}

bool CSeqHost::PostWindowEvent(const CSeqEffect& effect, WindowEventKind kind, int first,
                               int second) noexcept {
    const int slot = IndexOf(effect.GetAEffect());
    return slot >= 0 && m_windowMailbox.Post({slot, effect.Generation(), kind, {first, second}});
}

intptr_t CSeqHost::OnProcessEvents(int /*effect*/, VstEvents* events) {
    IMidiOutputSink* sink = m_pMidiOutput.load();
    if (sink == nullptr || events == nullptr || events->numEvents <= 0) return 0;
    VstEvent* const* pointers = EventPointers(events);
    for (int32_t i = 0; i < events->numEvents; ++i) {
        const VstEvent* event = pointers[i];
        if (event == nullptr) continue;
        if (event->type == kVstMidiType) {
            const auto& midi = *reinterpret_cast<const VstMidiEvent*>(event);
            sink->SendMidiMessage(CMidiMessage(static_cast<uint8_t>(midi.midiData[0]),
                                               static_cast<uint8_t>(midi.midiData[1]),
                                               static_cast<uint8_t>(midi.midiData[2])));
        } else if (event->type == kVstSysExType) {
            const auto& sysex = *reinterpret_cast<const VstMidiSysexEvent*>(event);
            if (sysex.sysexDump == nullptr || sysex.dumpBytes <= 0) continue;
            // Borrow the plug-in's bytes for the call: nothing is allocated on its thread.
            platform::MIDIHDR header;
            header.lpData = sysex.sysexDump;
            header.dwBufferLength = static_cast<uint32_t>(sysex.dumpBytes);
            header.dwBytesRecorded = static_cast<uint32_t>(sysex.dumpBytes);
            sink->SendMidiMessage(CMidiMessage(&header));
        }
    }
    return 0;
}

bool CSeqHost::FillReturnPath(VstFileSelect& select, const std::string& path) {
    if (select.returnPath == nullptr) {
        auto buffer = std::make_unique<char[]>(path.size() + 1);
        std::memcpy(buffer.get(), path.c_str(), path.size() + 1);
        select.returnPath = buffer.get();
        select.reserved = 1;
        std::lock_guard lock(m_returnPathsLock);
        m_returnPaths.push_back(std::move(buffer));
        return true;
    }
    // The plug-in's own buffer: never write past the size it gave, and never hand over a cut
    // path, which would name another file.
    if (select.sizeReturnPath <= 0 ||
        path.size() >= static_cast<std::size_t>(select.sizeReturnPath))
        return false;
    std::memcpy(select.returnPath, path.c_str(), path.size() + 1);
    return true;
}

intptr_t CSeqHost::OnOpenFileSelector(int /*effect*/, VstFileSelect* select) {
    if (select == nullptr) return 0;
    select->reserved = 0;
    IUserInterface* ui = m_pUserInterface.load();
    if (ui == nullptr) return 0;
    const std::string title = FieldText(select->title, sizeof select->title);
    const std::string initialPath = select->initialPath != nullptr
                                        ? FieldText(select->initialPath, kVstMaxPathRead)
                                        : std::string();

    std::optional<std::string> chosen;
    switch (select->command) {
    case kVstDirectorySelect:
        chosen = ui->BrowseFolder(title, initialPath);
        break;
    case kVstFileLoad:
    case kVstFileSave: {
        FileDialogRequest request;
        request.title = title;
        request.initialPath = initialPath;
        request.overwritePrompt = true;
        if (select->fileTypes != nullptr) {
            for (int32_t i = 0; i < select->nbFileTypes; ++i) {
                const VstFileType& type = select->fileTypes[i];
                const std::string extension = FieldText(type.dosType, sizeof type.dosType);
                request.filter += FieldText(type.name, sizeof type.name) + " (*." + extension +
                                  ")|*." + extension + "|";
            }
        }
        if (!request.filter.empty()) request.filter += "|";
        chosen = select->command == kVstFileLoad ? ui->OpenFileDialog(request)
                                                 : ui->SaveFileDialog(request);
        break;
    }
    default: // several files (2) and anything unknown
        return 0;
    }
    if (!chosen || chosen->empty()) return 0;
    return FillReturnPath(*select, *chosen) ? 1 : 0;
}

intptr_t CSeqHost::OnCloseFileSelector(int /*effect*/, VstFileSelect* select) {
    if (select == nullptr || select->reserved == 0) return 0;
    std::unique_ptr<char[]> owned;
    {
        std::lock_guard lock(m_returnPathsLock);
        const auto found = std::find_if(
            m_returnPaths.begin(), m_returnPaths.end(),
            [&](const std::unique_ptr<char[]>& p) { return p.get() == select->returnPath; });
        if (found != m_returnPaths.end()) {
            owned = std::move(*found);
            m_returnPaths.erase(found);
        }
    }
    // Only a buffer this host handed out is freed; the mark alone proves nothing.
    if (owned) {
        select->returnPath = nullptr;
        select->reserved = 0;
    }
    return 0;
}

intptr_t CSeqHost::OnGetCurrentProcessLevel(int effect) {
    if (m_bOffline.load()) return kVstProcessLevelOffline;
    return CEffectHost::OnGetCurrentProcessLevel(effect);
}

intptr_t CSeqHost::OnGetChunkFile(int effect, void* text) {
    const CSeqEffect* wrapper = GetSeqEffect(effect);
    if (wrapper == nullptr || text == nullptr || wrapper->m_strBankFile.empty()) return 0;
    // The plug-in's buffer has no size we are told: a path that may not fit is not handed over.
    const std::string& path = wrapper->m_strBankFile;
    if (path.size() >= kVstPathBufferSize) return 0;
    std::memcpy(text, path.c_str(), path.size() + 1);
    return 1;
}

} // namespace zorvil
