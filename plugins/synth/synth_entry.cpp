// The demo synth library's entry, exported as "main".
#include "common/plugin_entry.h"
#include "synth/synth_plugin.h"

ZORVIL_PLUGIN_EXPORT AEffect* ZorvilMainEntry(audioMasterCallback host) __asm__("main");

AEffect* ZorvilMainEntry(audioMasterCallback host) {
    return zorvil::plugins::CreatePlugin<zorvil::plugins::SynthPlugin>(host);
}
