// Bank save and load for one loaded plug-in: the steps behind an effect window's "Load Bank...",
// "Save Bank" and "Save Bank As..." and behind the project file's embedded states.
//
// BuildBankFromEffect and ApplyBankToEffect talk to the plug-in through its AEffect record; the
// caller holds the effect's lock around them while the engine runs (CEffectBankStore does, given
// the lock; BankTargetOf in seq_effect_bank.h fills a target from the host's slot).
// CEffectBankStore adds what the effect's information window keeps: the stored image used by
// projects ("TSNTEMP"), the messages through IUserInterface, the effect's bank file name and the
// window refresh.
//
//     CEffectBankStore store(ui);
//     store.SaveBank("TSNTEMP", {effect, slot, &bankFile});    // image for the project
//     store.SetStoredImage(bytesFromProject);
//     store.LoadBank("TSNTEMP", {effect, slot, &bankFile});    // applies it to the plug-in
//
// Applying a bank never calls the plug-in with a program or parameter index beyond what it
// reports: a bank of another version of the plug-in applies the programs and parameters that fit.
// Nor with a value outside 0 to 1: values that are not finite are applied as 0, others clamped.
#pragma once

#include "files/fx_bank.h"
#include "host/vst2_interface.h"
#include "platform/user_interface.h"

#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zorvil {

// Fills `bank` from the plug-in: its chunk (chunk plug-ins), else every program's name and
// parameter values, with the current program restored afterwards. Sets the IDs and sizes.
// False when no bank could be built (no chunk, or no memory).
bool BuildBankFromEffect(AEffect& effect, CFxBank& bank);

enum class BankApplyResult {
    Applied,
    OtherId,         // the bank's fxID is not the plug-in's uniqueID: nothing touched
    FormatlessChunk, // a chunk bank for a plug-in without chunks: nothing touched
};

// Applies a loaded bank to the plug-in (programs and parameters that fit, or the chunk).
BankApplyResult ApplyBankToEffect(CFxBank& bank, AEffect& effect);

// The effect a bank operation works on. `effect` may be null (an empty slot). When `lock` is
// given it is held around the calls into the plug-in, so the engine never processes a plug-in
// whose programs are being changed.
struct BankTarget {
    AEffect* effect = nullptr;
    int slot = -1;
    std::string* bankFile = nullptr; // the effect's m_strBankFile, or null
    std::mutex* lock = nullptr;      // the effect's lock, or null
};

class CEffectBankStore {
public:
    explicit CEffectBankStore(IUserInterface& ui) : m_ui(ui) {}

    // Saves the effect's bank to a file, or to the stored image for "TSNTEMP".
    bool SaveBank(std::string_view name, const BankTarget& target);
    // Loads a bank from a file, or from the stored image for "TSNTEMP", and applies it.
    bool LoadBank(std::string_view name, const BankTarget& target);

    std::span<const uint8_t> StoredImage() const noexcept { return m_storedImage; }
    void SetStoredImage(std::span<const uint8_t> image) {
        m_storedImage.assign(image.begin(), image.end());
    }

private:
    void Error(std::string_view text, std::string_view caption = {});

    IUserInterface& m_ui;
    std::vector<uint8_t> m_storedImage; // the last "TSNTEMP" save, or the project's image
};

} // namespace zorvil
