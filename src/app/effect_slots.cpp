// The effect slot records of CZorvilApp: loading and unloading effects with the engine stopped
// around the slot change, the four-effect limit, and the windows' frames (see zorvil_app.h).
#include "app/zorvil_app.h"

#include "app/plugin_folders.h"
#include "files/file_dialogs.h"
#include "files/project_effects.h"

#include <thread>

namespace zorvil {

namespace {

bool IsRecordSlot(int slot) noexcept {
    return slot >= 0 && slot < CZorvilApp::kMaxEffects;
}

} // namespace

int CZorvilApp::LoadEffect(std::string_view path) {
    if (m_nLoadedEffects >= kMaxEffects) return -1;
    const bool running = IsEngineRunning();
    StopEngine();
    const int slot = m_host.LoadPlugin(path);
    if (slot >= 0 && !IsRecordSlot(slot)) {
        // Only with effects loaded past the records (straight into the host): no fifth slot.
        m_host.RemoveEffect(slot);
        if (running) StartEngine();
        return -1;
    }
    if (running) StartEngine();
    if (slot < 0) return -1;
    EffectSlotRecord& record = m_effectSlots[static_cast<size_t>(slot)];
    record.libraryPath = std::string(path);
    record.frame = nullptr;
    ++m_nLoadedEffects;
    Notify([slot](IAppListener& listener) { listener.OnEffectLoaded(slot); });
    return slot;
}

void CZorvilApp::OnOpenPlugin(uint32_t id) {
    constexpr const char* kSection = "DllFiles";
    const bool filtered = id == command::kLoadEffect;
    if (filtered && m_nLoadedEffects >= kMaxEffects) return;
    std::string folder = m_pProfile != nullptr ? m_pProfile->GetString(kSection, "Path", "") : "";
    if (folder.empty()) folder = FirstPluginFolder();
    FileDialogRequest request;
    request.initialPath = (folder.empty() ? "" : folder + "/") + "*.so";
    if (filtered) {
        request.filter = "Vst Instrument Files (.so)|*.so|All Files|*.*||";
        request.defaultExtension = "so";
    }
    const std::optional<std::string> path = m_ui.OpenFileDialog(request);
    if (!path) return;
    if (m_pProfile != nullptr) m_pProfile->WriteString(kSection, "Path", FolderOf(*path));
    LoadEffect(*path);
}

void CZorvilApp::UnloadEffect(int slot) {
    const bool hasEffect = m_host.GetEffect(slot) != nullptr;
    const bool hasRecord =
        IsRecordSlot(slot) && !m_effectSlots[static_cast<size_t>(slot)].libraryPath.empty();
    if (!hasEffect && !hasRecord) return;
    Notify([slot](IAppListener& listener) { listener.OnEffectRemoving(slot); });
    if (hasEffect) {
        const bool running = IsEngineRunning();
        StopEngine();
        m_host.RemoveEffect(slot);
        if (running) StartEngine();
    }
    if (IsRecordSlot(slot)) {
        if (hasRecord) --m_nLoadedEffects;
        m_effectSlots[static_cast<size_t>(slot)] = {};
        // The slot's stored bank image goes with its effect: it must never be saved under the
        // next plug-in's path.
        m_pProjectEffects->ClearSlot(slot);
    }
}

void CZorvilApp::ClearEffectRecords() {
    for (int slot = 0; slot < kMaxEffects; ++slot) {
        m_effectSlots[static_cast<size_t>(slot)] = {};
        m_pProjectEffects->ClearSlot(slot);
    }
    m_nLoadedEffects = 0;
}

void CZorvilApp::CloseEffectWindows() {
    for (int slot = 0; slot < kMaxEffects; ++slot) {
        // Read again each time: closing one effect's windows unloads it and clears its record.
        IEffectFrame* frame = m_effectSlots[static_cast<size_t>(slot)].frame;
        if (frame == nullptr) continue;
        std::this_thread::sleep_for(kCloseEffectPause);
        frame->CloseEffectViews();
    }
}

void CZorvilApp::AttachEffectFrame(int slot, IEffectFrame* frame) {
    if (IsRecordSlot(slot)) m_effectSlots[static_cast<size_t>(slot)].frame = frame;
}

bool CZorvilApp::DeliverWindowEvents() {
    const std::size_t delivered = m_host.WindowMailbox().Drain([this](const WindowEvent& event) {
        if (event.kind == WindowEventKind::EditorIdle) {
            // Every open editor, not only the asking effect's (which may be gone by now).
            m_host.IdleOpenEditors();
            return;
        }
        const CSeqEffect* effect = m_host.GetSeqEffect(event.slot);
        if (effect == nullptr || effect->Generation() != event.generation) return;
        // Read for each record: a notification may close the effect's windows.
        IEffectFrame* frame = EffectRecord(event.slot).frame;
        if (frame == nullptr) return;
        switch (event.kind) {
        case WindowEventKind::EditorSize:
            frame->OnEditorSizeRequested(event.values[0], event.values[1]);
            break;
        case WindowEventKind::DisplayUpdate:
            frame->OnDisplayUpdateRequested();
            break;
        case WindowEventKind::ParameterAutomated:
            frame->OnParameterAutomated(event.values[0]);
            break;
        case WindowEventKind::EditorIdle:
            break;
        }
    });
    if (!m_host.WindowMailbox().TakeOverflow()) return delivered > 0;
    for (int slot = 0; slot < kMaxEffects; ++slot)
        if (IEffectFrame* frame = EffectRecord(slot).frame) frame->OnEffectChanged();
    return true;
}

const CZorvilApp::EffectSlotRecord& CZorvilApp::EffectRecord(int slot) const noexcept {
    static const EffectSlotRecord kNone;
    return IsRecordSlot(slot) ? m_effectSlots[static_cast<size_t>(slot)] : kNone;
}

} // namespace zorvil
