// The records are checked field by field at compile time; these tests cover what a plug-in
// computes from them at run time.
#include "host/vst2_interface.h"

#include <gtest/gtest.h>

TEST(Vst2Interface, EventListHeaderHoldsOnePointerPerEvent) {
    // A plug-in walks events[0..numEvents) from offset 16, one 8-byte pointer each.
    EXPECT_EQ(offsetof(VstEvents, events) + 3 * sizeof(VstEvent*), 16u + 8u * 3u);
}

TEST(Vst2Interface, MagicSpellsVstP) {
    const char text[] = {'V', 's', 't', 'P'};
    int32_t value = 0;
    for (char c : text)
        value = (value << 8) | c;
    EXPECT_EQ(value, kEffectMagic);
}
