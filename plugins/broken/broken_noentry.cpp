// zorvil-broken-noentry.so: a valid shared library that exports neither "main" nor
// "VSTPluginMain" (in fact nothing at all).
#include "host/vst2_interface.h"

// Hidden like everything not exported, so the library's dynamic symbol table has no entry.
int32_t ZorvilNotAPlugin() {
    return kEffectMagic;
}
