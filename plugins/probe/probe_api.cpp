// The probe's exported test functions (see probe/probe_api.h).
#include "probe/probe_api.h"

#include "common/plugin_entry.h"
#include "probe/probe_plugin.h"

using zorvil::plugins::ProbePlugin;

ZORVIL_PLUGIN_EXPORT const char* ZorvilProbeLog(AEffect* effect) {
    ProbePlugin* probe = ProbePlugin::FromEffect(effect);
    return probe != nullptr ? probe->LogText() : "";
}

ZORVIL_PLUGIN_EXPORT void ZorvilProbeClear(AEffect* effect) {
    if (ProbePlugin* probe = ProbePlugin::FromEffect(effect)) probe->ClearLog();
}

ZORVIL_PLUGIN_EXPORT intptr_t ZorvilProbeCallHost(AEffect* effect, int32_t opcode, int32_t index,
                                                  intptr_t value, void* ptr, float opt) {
    ProbePlugin* probe = ProbePlugin::FromEffect(effect);
    return probe != nullptr ? probe->CallHostLogged(opcode, index, value, ptr, opt) : 0;
}
