// Test access to our recording probe plug-ins: their log and their "call the host now" hook,
// looked up in the library the host loaded.
#pragma once

#include "../../plugins/probe/probe_api.h"
#include "host/effect_host.h"
#include "support/test_support.h"

#include <dlfcn.h>
#include <string>
#include <string_view>

namespace zorvil::test {

class ProbeAccess {
public:
    // The probe library `name` (e.g. "zorvil-probe"), already loaded by a host.
    explicit ProbeAccess(std::string_view name)
        : m_library(dlopen(PluginPath(name).c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD)) {
        if (m_library == nullptr) return;
        m_log = reinterpret_cast<ZorvilProbeLogProc>(dlsym(m_library, kZorvilProbeLogSymbol));
        m_clear = reinterpret_cast<ZorvilProbeClearProc>(dlsym(m_library, kZorvilProbeClearSymbol));
        m_callHost =
            reinterpret_cast<ZorvilProbeCallHostProc>(dlsym(m_library, kZorvilProbeCallHostSymbol));
    }
    ~ProbeAccess() {
        if (m_library != nullptr) dlclose(m_library);
    }
    ProbeAccess(const ProbeAccess&) = delete;
    ProbeAccess& operator=(const ProbeAccess&) = delete;

    bool Valid() const { return m_log != nullptr && m_clear != nullptr && m_callHost != nullptr; }
    std::string Log(const CEffect& effect) const { return m_log(effect.GetAEffect()); }
    void Clear(const CEffect& effect) const { m_clear(effect.GetAEffect()); }
    intptr_t CallHost(const CEffect& effect, int32_t opcode, int32_t index = 0, intptr_t value = 0,
                      void* ptr = nullptr, float opt = 0.0f) const {
        return m_callHost(effect.GetAEffect(), opcode, index, value, ptr, opt);
    }

private:
    void* m_library;
    ZorvilProbeLogProc m_log = nullptr;
    ZorvilProbeClearProc m_clear = nullptr;
    ZorvilProbeCallHostProc m_callHost = nullptr;
};

} // namespace zorvil::test
