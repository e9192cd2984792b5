// The recording probe's log, in the exact line formats the host's tests compare against.
#include "plugin_test_host.h"

#include "probe/probe_api.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace zorvil::test {
namespace {

TEST(ProbeLog, EveryKindOfLineHasTheFormatTheHostTestsExpect) {
    PluginLibrary library("zorvil-probe");
    PluginInstance probe(library);
    const auto log = library.Lookup<ZorvilProbeLogProc>(kZorvilProbeLogSymbol);
    const auto clear = library.Lookup<ZorvilProbeClearProc>(kZorvilProbeClearSymbol);
    const auto callHost = library.Lookup<ZorvilProbeCallHostProc>(kZorvilProbeCallHostSymbol);
    ASSERT_TRUE(log != nullptr && clear != nullptr && callHost != nullptr);

    // The host calls made during the entry call come first.
    EXPECT_EQ(std::string(log(probe.Get())), "host 1 0 0 -> 2400\n"
                                             "host 2 0 0 -> 7\n"
                                             "host 6 0 1 -> 1\n");

    clear(probe.Get());
    probe.Dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    probe.Dispatch(effOpen);
    probe.Dispatch(effEditKeyDown, 65, -3, nullptr, 0.25f);
    EventList events;
    events.Midi(0, 0x90, 60, 100)
        .Midi(17, 0x8F, 0x7F, 0x40, 0x0A)
        .Sysex(5, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7})
        .Other(2, 3)
        .Null()
        .Sysex(9, {});
    EXPECT_EQ(probe.Dispatch(effProcessEvents, 0, 0, events.Get()), 1);
    EventList empty;
    probe.Dispatch(effProcessEvents, 0, 0, empty.Get());
    probe.Dispatch(effProcessEvents); // without a list there is nothing to log but the call
    EXPECT_EQ(callHost(probe.Get(), audioMasterGetSampleRate, 3, -4, nullptr, 0.0f), 44100);
    std::array<float, 4> left{};
    std::array<float, 4> right{};
    std::array<float*, 2> outputs{left.data(), right.data()};
    probe->processReplacing(probe.Get(), nullptr, outputs.data(), 4);

    EXPECT_EQ(std::string(log(probe.Get())), "dispatch 10 0 0 44100\n"
                                             "dispatch 0 0 0 0\n"
                                             "host 6 0 1 -> 1\n"
                                             "dispatch 59 65 -3 0.25\n"
                                             "dispatch 25 0 0 0\n"
                                             "events 6\n"
                                             "midi 0 90 3c 64 00\n"
                                             "midi 17 8f 7f 40 0a\n"
                                             "sysex 5 6 f07e7f0901f7\n"
                                             "other 2\n"
                                             "null\n"
                                             "sysex 9 0 \n"
                                             "dispatch 25 0 0 0\n"
                                             "events 0\n"
                                             "dispatch 25 0 0 0\n"
                                             "host 16 3 -4 -> 44100\n"
                                             "replacing 4\n");
}

} // namespace
} // namespace zorvil::test
