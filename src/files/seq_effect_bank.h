// The bank target of a slot in the host: the plug-in's record, its bank file name
// (m_strBankFile) and its lock, so that bank operations run while the engine plays.
//
//     CEffectBankStore store(ui);
//     store.LoadBank(path, BankTargetOf(host, slot));
#pragma once

#include "files/effect_bank.h"
#include "host/seq_host.h"

namespace zorvil {

// An empty target (no effect) for a slot without one.
inline BankTarget BankTargetOf(const CSeqHost& host, int slot) {
    CSeqEffect* effect = host.GetSeqEffect(slot);
    if (effect == nullptr) return {nullptr, slot, nullptr, nullptr};
    return {effect->GetAEffect(), slot, &effect->m_strBankFile, &effect->GetLock()};
}

} // namespace zorvil
