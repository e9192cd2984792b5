#include "files/project_effects.h"

#include "files/seq_effect_bank.h"

#include <mutex>

namespace zorvil {

CProjectEffects::CProjectEffects(CSeqHost& host, IUserInterface& ui, Loader loader)
    : m_host(host), m_ui(ui),
      m_loader(std::move(loader)), m_stores{CEffectBankStore(ui), CEffectBankStore(ui),
                                            CEffectBankStore(ui), CEffectBankStore(ui)} {
    if (!m_loader) m_loader = [this](std::string_view path) { return m_host.LoadPlugin(path); };
}

std::vector<EffectImage> CProjectEffects::Capture() {
    std::vector<EffectImage> effects;
    for (int slot = 0; slot < kProjectSlots; ++slot) {
        CSeqEffect* effect = m_host.GetSeqEffect(slot);
        if (effect == nullptr || effect->GetPath().empty()) continue;
        Store(slot).SaveBank(kBankMemoryName, BankTargetOf(m_host, slot));
        EffectImage image;
        image.libraryPath = effect->GetPath();
        const auto stored = Store(slot).StoredImage();
        image.bank.assign(stored.begin(), stored.end());
        {
            std::lock_guard lock(effect->GetLock());
            image.program = static_cast<int32_t>(effect->Dispatch(effGetProgram));
        }
        effects.push_back(std::move(image));
    }
    return effects;
}

std::vector<int> CProjectEffects::Apply(std::span<const EffectImage> effects) {
    std::vector<int> loaded;
    for (const EffectImage& record : effects) {
        // A path that filled its whole field had no terminator: it was cut and may name another
        // file, so it is not loaded.
        if (!LibraryPathFitsProject(record.libraryPath)) {
            m_ui.MessageBox(LibraryPathTooLongMessage(record.libraryPath), {}, MessageButtons::Ok,
                            MessageIcon::Error);
            continue;
        }
        const int slot = record.libraryPath.empty() ? -1 : m_loader(record.libraryPath);
        CSeqEffect* effect = slot >= 0 ? m_host.GetSeqEffect(slot) : nullptr;
        if (effect == nullptr || slot >= kProjectSlots) {
            m_ui.MessageBox(PluginNotLoadedMessage(record.libraryPath), {}, MessageButtons::Ok,
                            MessageIcon::Error);
            continue;
        }
        const auto setProgram = [&] {
            if (AEffect* plugin = effect->GetAEffect();
                plugin != nullptr && record.program >= 0 && record.program < plugin->numPrograms) {
                std::lock_guard lock(effect->GetLock());
                effect->Dispatch(effSetProgram, 0, record.program);
            }
        };
        // A chunk holds the plug-in's current sound, and many chunk plug-ins load a factory
        // sound when their program is set: the program goes first, the chunk over it. A
        // parameter bank restores every program, so the current one is chosen after it.
        const bool chunk = IsChunkBankImage(record.bank);
        if (chunk) setProgram();
        Store(slot).SetStoredImage(record.bank);
        // An empty image is no stored state (a project whose bank could not be built when it
        // was saved): the plug-in keeps its own.
        if (!record.bank.empty()) Store(slot).LoadBank(kBankMemoryName, BankTargetOf(m_host, slot));
        if (!chunk) setProgram();
        m_ui.RefreshEffectWindows(slot);
        loaded.push_back(slot);
    }
    return loaded;
}

void CProjectEffects::ClearSlot(int slot) {
    if (slot >= 0 && slot < kProjectSlots) Store(slot).SetStoredImage({});
}

std::string PluginNotLoadedMessage(std::string_view path) {
    if (path.empty()) return std::string(kNoPluginNamedMessage);
    return "Can't load the plug-in " + platform::PrintablePath(path);
}

} // namespace zorvil
