// zorvil-broken-magic.so: the entry returns a record whose magic is not 'VstP'. The record is a
// constant of the library, so a host that rightly drops it leaks nothing.
#include "common/plugin_entry.h"

namespace {

intptr_t IgnoreEverything(AEffect*, int32_t, int32_t, intptr_t, void*, float) {
    return 0;
}

AEffect MakeRecord() {
    AEffect effect{};
    effect.magic = 0x12345678;
    effect.dispatcher = &IgnoreEverything;
    effect.numOutputs = 2;
    effect.uniqueID = zorvil::plugins::FourCharId("ZBrM");
    effect.version = 1000;
    return effect;
}

AEffect gRecord = MakeRecord();

} // namespace

ZORVIL_PLUGIN_EXPORT AEffect* ZorvilMainEntry(audioMasterCallback host) __asm__("main");
AEffect* ZorvilMainEntry(audioMasterCallback /*host*/) {
    return &gRecord;
}
