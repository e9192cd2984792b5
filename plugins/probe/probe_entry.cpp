// The entry of a probe library. CMake builds this file once per variant, defining
// ZORVIL_PROBE_VARIANT (a ProbeVariant enumerator) and, for the variant that exports only
// "VSTPluginMain", ZORVIL_PROBE_ENTRY_VSTPLUGINMAIN.
#include "common/plugin_entry.h"
#include "probe/probe_plugin.h"

#ifndef ZORVIL_PROBE_VARIANT
#error "ZORVIL_PROBE_VARIANT must name the probe variant this library builds"
#endif

namespace {

AEffect* CreateProbe(audioMasterCallback host) {
    using zorvil::plugins::ProbeVariant;
    return zorvil::plugins::CreatePlugin<zorvil::plugins::ProbePlugin>(
        host, ProbeVariant::ZORVIL_PROBE_VARIANT);
}

} // namespace

#ifdef ZORVIL_PROBE_ENTRY_VSTPLUGINMAIN
ZORVIL_PLUGIN_EXPORT AEffect* VSTPluginMain(audioMasterCallback host) {
    return CreateProbe(host);
}
#else
ZORVIL_PLUGIN_EXPORT AEffect* ZorvilMainEntry(audioMasterCallback host) __asm__("main");
AEffect* ZorvilMainEntry(audioMasterCallback host) {
    return CreateProbe(host);
}
#endif
