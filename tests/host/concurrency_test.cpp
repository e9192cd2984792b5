// The host under the threads that really use it: producers queueing MIDI and a plug-in calling
// back from its own thread while the engine processes blocks.
#include "host/seq_host.h"
#include "host_test_doubles.h"
#include "probe_access.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace zorvil {
namespace {

using test::PluginPath;
using test::ProbeAccess;

int CountLines(const std::string& log, const std::string& prefix) {
    int count = 0;
    std::size_t at = 0;
    while ((at = log.find("\n" + prefix, at)) != std::string::npos) {
        ++count;
        ++at;
    }
    return count + (log.rfind(prefix, 0) == 0 ? 1 : 0);
}

TEST(HostThreads, EveryNoteQueuedWhileBlocksRunIsDeliveredOnce) {
    CSeqHost host;
    test::CapturingOutput output;
    host.SetBlockOutput(&output);
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe")), 0);
    ProbeAccess probe("zorvil-probe");
    probe.Clear(*host.GetEffect(0));

    constexpr int kProducers = 2;
    constexpr int kNotesEach = 300; // well below the queue's capacity
    std::atomic<int> running{kProducers};
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            for (int i = 0; i < kNotesEach; ++i) {
                CMidiMessage message(static_cast<uint8_t>(0x90 | p), static_cast<uint8_t>(i % 128),
                                     100);
                host.QueueMidiEvent(message);
                if (i % 16 == 0) std::this_thread::yield();
            }
            running.fetch_sub(1);
        });
    }
    std::vector<float> left(2205), right(2205);
    float* buffers[2] = {left.data(), right.data()};
    uint32_t time = 0;
    while (running.load() > 0)
        host.ProcessBlock(buffers, 2205, 2, time += 50);
    for (std::thread& producer : producers)
        producer.join();
    host.ProcessBlock(buffers, 2205, 2, time += 50); // what arrived last

    EXPECT_EQ(CountLines(probe.Log(*host.GetEffect(0)), "midi "), kProducers * kNotesEach);
    EXPECT_EQ(host.MidiQueue().Snapshot().shortCount, 0u);
}

TEST(HostThreads, APlugInCallsBackFromItsOwnThreadWhileBlocksRun) {
    CSeqHost host;
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe-out1")), 0);
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe")), 1);
    ProbeAccess other("zorvil-probe-out1");
    const CEffect& caller = *host.GetEffect(0);

    std::atomic<bool> stop{false};
    std::atomic<int> wrongAnswers{0};
    std::thread pluginThread([&] {
        while (!stop.load()) {
            if (other.CallHost(caller, audioMasterCurrentId) != 0) wrongAnswers.fetch_add(1);
            if (other.CallHost(caller, audioMasterGetNextPlug) != 1) wrongAnswers.fetch_add(1);
            if (other.CallHost(caller, audioMasterGetTime) == 0) wrongAnswers.fetch_add(1);
            other.Clear(caller);
        }
    });
    std::vector<float> left(882), right(882);
    float* buffers[2] = {left.data(), right.data()};
    for (uint32_t block = 0; block < 200; ++block) {
        host.SetTempo(100.0 + block % 40);
        host.ProcessBlock(buffers, 882, 2, block * 20);
    }
    stop = true;
    pluginThread.join();
    EXPECT_EQ(wrongAnswers.load(), 0);
}

} // namespace
} // namespace zorvil
