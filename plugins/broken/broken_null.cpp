// zorvil-broken-null.so: the entry exists but returns no record.
#include "common/plugin_entry.h"

ZORVIL_PLUGIN_EXPORT AEffect* ZorvilMainEntry(audioMasterCallback host) __asm__("main");
AEffect* ZorvilMainEntry(audioMasterCallback /*host*/) {
    return nullptr;
}
