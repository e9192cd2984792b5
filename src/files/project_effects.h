// CProjectEffects: the project file's effect records on the host's side.
//
// A project stores, for each of the four effect slots that holds a plug-in (in slot order), the
// library path, the whole state as a bank image and the current program. Capture builds those
// records from the host, saving each slot's bank to its memory image ("TSNTEMP"); Apply loads
// the plug-ins of a read project, gives each its bank image and sets its program. The per-slot
// bank stores live here: they keep a slot's last image, which a project written while a bank
// cannot be built falls back on.
//
//     CProjectEffects effects(host, ui);
//     image.effects = effects.Capture();
//     ...
//     effects.Apply(read.image.effects);        // after New: all slots empty
//
// Apply sets a chunk plug-in's program before its chunk (the chunk is the sound the plug-in had
// on that program) and a parameter bank's program after the bank; an empty bank image is no
// stored state and leaves the plug-in as it loaded, without a message.
//
// Damage in a read project: a record whose plug-in cannot be loaded, or whose library path was
// cut at its 256 bytes, is skipped with a message and the next record is read; a program outside
// the plug-in's range is not set. Everything runs on the user-interface thread; the plug-in
// calls hold the effect's lock, so the engine may keep running.
#pragma once

#include "files/effect_bank.h"
#include "files/project_file.h"
#include "host/seq_host.h"
#include "platform/user_interface.h"

#include <array>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

namespace zorvil {

inline constexpr int kProjectSlots = 4;

class CProjectEffects {
public:
    // Loads a plug-in and returns its slot, or -1. The application passes its effect loading
    // (engine stopped around it, windows created); by default the host's LoadPlugin.
    using Loader = std::function<int(std::string_view path)>;

    CProjectEffects(CSeqHost& host, IUserInterface& ui, Loader loader = {});

    CEffectBankStore& Store(int slot) { return m_stores.at(static_cast<size_t>(slot)); }

    // The records of slots 0 to 3 that hold a plug-in. A slot whose bank cannot be built keeps
    // its previous image (empty if none), after the bank store's message.
    std::vector<EffectImage> Capture();

    // Loads every record in order; returns the slots that were loaded.
    std::vector<int> Apply(std::span<const EffectImage> effects);

    // Forgets a slot's stored image (its effect was removed).
    void ClearSlot(int slot);

private:
    CSeqHost& m_host;
    IUserInterface& m_ui;
    Loader m_loader;
    std::array<CEffectBankStore, kProjectSlots> m_stores;
};

// "Can't load the plug-in <path>" for a project record whose plug-in did not load (the path
// printable), kNoPluginNamedMessage for a record with an empty path.
inline constexpr std::string_view kNoPluginNamedMessage =
    "The project names no plug-in for one of its effects (an empty library path)";
std::string PluginNotLoadedMessage(std::string_view path);

} // namespace zorvil
