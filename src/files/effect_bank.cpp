#include "files/effect_bank.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace zorvil {

namespace {

intptr_t Dispatch(AEffect& effect, int32_t opcode, int32_t index = 0, intptr_t value = 0,
                  void* ptr = nullptr, float opt = 0.0f) {
    return effect.dispatcher ? effect.dispatcher(&effect, opcode, index, value, ptr, opt) : 0;
}

bool HasChunks(const AEffect& effect) noexcept {
    return (effect.flags & effFlagsProgramChunks) != 0;
}

// A stored value as a plug-in may receive it: the format's range is 0 to 1, and a damaged or
// foreign bank may hold anything (a NaN makes some plug-ins crash on the engine thread).
float BankValue(float value) noexcept {
    return std::isfinite(value) ? std::clamp(value, 0.0f, 1.0f) : 0.0f;
}

} // namespace

bool BuildBankFromEffect(AEffect& effect, CFxBank& bank) {
    if (HasChunks(effect)) {
        void* chunk = nullptr;
        const intptr_t size = Dispatch(effect, effGetChunk, 0, 0, &chunk);
        if (size <= 0 || chunk == nullptr) return false;
        if (!bank.CreateChunkBank(static_cast<size_t>(size))) return false;
        std::memcpy(bank.ChunkData().data(), chunk, static_cast<size_t>(size));
    } else {
        const int32_t programs = std::max(effect.numPrograms, 0);
        const int32_t parameters = std::max(effect.numParams, 0);
        if (!bank.CreateParamBank(programs, parameters)) return false;
        const intptr_t current = Dispatch(effect, effGetProgram);
        for (int32_t i = 0; i < programs; ++i) {
            Dispatch(effect, effSetProgram, 0, i);
            // Room, zeroed, for plug-ins that write more than the 24 characters they should.
            std::array<char, kVstStringBufferSize> name{};
            Dispatch(effect, effGetProgramName, 0, 0, name.data());
            name.back() = '\0';
            FxProgramRecord record = bank.GetProgram(i);
            record.SetName(name.data());
            for (int32_t j = 0; j < parameters; ++j)
                record.SetParam(j, effect.getParameter ? effect.getParameter(&effect, j) : 0.0f);
        }
        Dispatch(effect, effSetProgram, 0, current);
    }
    bank.SetIdentity(effect.uniqueID, effect.version);
    return true;
}

BankApplyResult ApplyBankToEffect(CFxBank& bank, AEffect& effect) {
    if (bank.FxId() != effect.uniqueID) return BankApplyResult::OtherId;
    if (bank.IsChunk()) {
        if (!HasChunks(effect)) return BankApplyResult::FormatlessChunk;
        const auto chunk = bank.ChunkData();
        Dispatch(effect, effSetChunk, 0, static_cast<intptr_t>(chunk.size()), chunk.data());
        return BankApplyResult::Applied;
    }
    const FxProgramRecord first = bank.GetProgram(0);
    const int32_t programs = std::min(bank.NumPrograms(), effect.numPrograms);
    const int32_t parameters = first ? std::min(first.NumParams(), effect.numParams) : 0;
    const intptr_t current = Dispatch(effect, effGetProgram);
    for (int32_t i = 0; i < programs; ++i) {
        const FxProgramRecord record = bank.GetProgram(i);
        if (!record) break;
        Dispatch(effect, effSetProgram, 0, i);
        std::array<char, fxb::kProgramNameSize> name{};
        const std::string_view text = record.Name();
        std::copy(text.begin(), text.end(), name.begin());
        Dispatch(effect, effSetProgramName, 0, 0, name.data());
        if (effect.setParameter)
            for (int32_t j = 0; j < parameters; ++j)
                effect.setParameter(&effect, j, BankValue(record.Param(j)));
    }
    Dispatch(effect, effSetProgram, 0, current);
    return BankApplyResult::Applied;
}

void CEffectBankStore::Error(std::string_view text, std::string_view caption) {
    m_ui.MessageBox(text, caption, MessageButtons::Ok, MessageIcon::Error);
}

bool CEffectBankStore::SaveBank(std::string_view name, const BankTarget& target) {
    if (!target.effect) return false;
    CFxBank bank;
    bool built = false;
    {
        std::unique_lock<std::mutex> lock;
        if (target.lock) lock = std::unique_lock(*target.lock);
        built = BuildBankFromEffect(*target.effect, bank);
    }
    if (!built) {
        Error("Memory Allocation Error");
        return false;
    }
    if (!bank.SaveToFile(name)) {
        Error("Error saving file");
        return false;
    }
    if (name == kBankMemoryName) {
        SetStoredImage(bank.GetMemoryImage());
    } else if (target.bankFile) {
        *target.bankFile = std::string(name);
    }
    m_ui.RefreshEffectWindows(target.slot);
    return true;
}

bool CEffectBankStore::LoadBank(std::string_view name, const BankTarget& target) {
    CFxBank bank;
    if (name == kBankMemoryName) bank.SetMemoryImage(m_storedImage);
    if (!bank.LoadFromFile(name)) {
        Error("Bank could not be loaded");
        return false;
    }
    if (!target.effect) return false;
    BankApplyResult result;
    {
        std::unique_lock<std::mutex> lock;
        if (target.lock) lock = std::unique_lock(*target.lock);
        result = ApplyBankToEffect(bank, *target.effect);
    }
    switch (result) {
    case BankApplyResult::OtherId:
        Error("Loaded bank has another ID!", "Load Error");
        return false;
    case BankApplyResult::FormatlessChunk:
        Error("Loaded bank contains a formatless chunk, but the effect can't handle that!",
              "Load Error");
        return false;
    case BankApplyResult::Applied:
        break;
    }
    if (name != kBankMemoryName && target.bankFile) *target.bankFile = std::string(name);
    m_ui.RefreshEffectWindows(target.slot);
    return true;
}

} // namespace zorvil
