// Engine control: Run and Restart with the profile, the engine period from the pool or the
// buffer size, the wave input as the clock, the devices' wiring, and the fault guard's hook.
#include "app_test_support.h"
#include "probe/probe_api.h"
#include "support/test_support.h"

#include <gmock/gmock.h>

#include <atomic>
#include <chrono>
#include <dlfcn.h>
#include <vector>

namespace zorvil::test {
namespace {

using ::testing::ElementsAre;

// Counts the blocks the engine hands to the output step (engine worker).
class CountingOutput final : public IBlockOutput {
public:
    void OutputBlock(float* const*, int frames) noexcept override {
        m_frames.store(frames);
        m_blocks.fetch_add(1);
    }
    int Blocks() const { return m_blocks.load(); }
    int LastFrames() const { return m_frames.load(); }

private:
    std::atomic<int> m_blocks{0};
    std::atomic<int> m_frames{0};
};

class EngineControlTest : public AppFixture {};

TEST_F(EngineControlTest, RunToggledTwiceWritesEngineOneThenZero) {
    ASSERT_FALSE(App().IsEngineRunning());
    EXPECT_TRUE(App().GetCommandState(CZorvilApp::kCommandRun).enabled);
    EXPECT_FALSE(App().GetCommandState(CZorvilApp::kCommandRun).checked);

    EXPECT_TRUE(App().OnCommand(CZorvilApp::kCommandRun));
    EXPECT_TRUE(App().IsEngineRunning());
    EXPECT_EQ(Setting(platform::settings::kEngine), "1");
    EXPECT_TRUE(App().GetCommandState(CZorvilApp::kCommandRun).checked);

    EXPECT_TRUE(App().OnCommand(CZorvilApp::kCommandRun));
    EXPECT_FALSE(App().IsEngineRunning());
    EXPECT_EQ(Setting(platform::settings::kEngine), "0");
    EXPECT_EQ(App().GetTimerId(), platform::kNoTimer);
}

TEST_F(EngineControlTest, RestartWhileStoppedDoesNothingAndWritesNothing) {
    EXPECT_FALSE(App().GetCommandState(CZorvilApp::kCommandRestart).enabled);
    EXPECT_TRUE(App().OnCommand(CZorvilApp::kCommandRestart));
    EXPECT_FALSE(App().ProcessPosted());
    EXPECT_FALSE(App().IsEngineRunning());
    EXPECT_FALSE(std::filesystem::exists(m_profile.Path()));
}

TEST_F(EngineControlTest, RestartWhileRunningStopsAndPostsRun) {
    App().StartEngine();
    EXPECT_TRUE(App().GetCommandState(CZorvilApp::kCommandRestart).enabled);
    App().OnCommand(CZorvilApp::kCommandRestart);
    EXPECT_FALSE(App().IsEngineRunning()); // until the posted Run arrives
    EXPECT_TRUE(App().ProcessPosted());
    EXPECT_TRUE(App().IsEngineRunning());
    EXPECT_EQ(Setting(platform::settings::kEngine), "1");
    // The Asio panel command does nothing and is never enabled.
    EXPECT_TRUE(App().OnCommand(CZorvilApp::kCommandAsioPanel));
    EXPECT_FALSE(App().GetCommandState(CZorvilApp::kCommandAsioPanel).enabled);
    EXPECT_FALSE(App().OnCommand(12345));
}

TEST_F(EngineControlTest, WithoutAPoolThePeriodFollowsTheBufferSize) {
    WriteSetting(platform::settings::kWaveOutBufSize, "441");
    EXPECT_EQ(App().EnginePeriod(), 100u);
    App().StartEngine();
    EXPECT_EQ(App().Period(), 100u);
    EXPECT_NE(App().GetTimerId(), platform::kNoTimer);
}

TEST_F(EngineControlTest, WithAPoolThePeriodFollowsThePool) {
    WriteSetting(platform::settings::kWaveOutBufSize, "2205");
    ASSERT_TRUE(App().WaveOut().OpenWaveOutByName(kImmediateOut, 441));
    EXPECT_EQ(App().WaveOut().BufferCount(), 100);
    App().StartEngine();
    EXPECT_EQ(App().Period(), 10u);
}

TEST_F(EngineControlTest, ANameThatNamesNoDeviceStillLeavesAPool) {
    EXPECT_FALSE(App().WaveOut().OpenWaveOutByName("MME: No Such Device", 441));
    EXPECT_FALSE(App().WaveOut().IsOpen());
    EXPECT_EQ(App().WaveOut().BufferCount(), 100);
    EXPECT_EQ(App().EnginePeriod(), 10u);
}

TEST_F(EngineControlTest, AnAsioNameLeavesNoPool) {
    // The buffer size decides then (2205: 20 ms).
    EXPECT_FALSE(App().WaveOut().OpenWaveOutByName("ASIO: Card", 441));
    EXPECT_EQ(App().WaveOut().BufferCount(), 0);
    EXPECT_EQ(App().EnginePeriod(), 20u);
}

TEST_F(EngineControlTest, BufferSizesTheEngineCannotUseFallBackTo2205) {
    for (const char* stored : {"0", "-441", "60", "100", "22050", "not a number"}) {
        WriteSetting(platform::settings::kWaveOutBufSize, stored);
        EXPECT_EQ(App().EnginePeriod(), 20u) << stored;
    }
    for (const auto& [stored, period] : {std::pair{"147", 300u}, std::pair{"11025", 4u}}) {
        WriteSetting(platform::settings::kWaveOutBufSize, stored);
        EXPECT_EQ(App().EnginePeriod(), period) << stored;
        // Every block the period asks for fits the mix buffers.
        EXPECT_LE(period * 441 / 10, static_cast<uint32_t>(CSeqHost::kMixFrames));
    }
}

TEST_F(EngineControlTest, TimerBlocksReachTheWaveOutputAndComeBackBeforeStopReturns) {
    ASSERT_TRUE(App().WaveOut().OpenWaveOutByName(kImmediateOut, 2205));
    App().StartEngine();
    ASSERT_EQ(App().Period(), 50u);
    Run(500);
    EXPECT_GE(App().BlocksTriggered(), 9u);
    EXPECT_EQ(App().BlocksRefused(), 0u);
    ASSERT_NE(platform::VirtualDevices::WaveOut(), nullptr);
    EXPECT_EQ(platform::VirtualDevices::WaveOut()->Written(), App().BlocksTriggered());
    App().StopEngine();
    EXPECT_EQ(App().WaveOut().InFlight(), 0);
    EXPECT_FALSE(App().EngineThread().IsBusy());
}

TEST_F(EngineControlTest, StopReturnsWhenTheWaveOutputWentAwayWithBuffersQueued) {
    ASSERT_TRUE(App().WaveOut().OpenWaveOutByName(
        std::string("MME: ") + platform::kVirtualWaveOutManualName, 2205));
    App().StartEngine();
    // Blocks queued, never played (no waiting for their return here).
    while (App().BlocksTriggered() < 3) {
        m_clock.AdvanceToNextTick();
        while (App().EngineThread().IsBusy())
            std::this_thread::yield();
    }
    ASSERT_EQ(App().WaveOut().InFlight(), 3);
    platform::VirtualDevices::WaveOut()->Vanish();
    App().StopEngine();
    EXPECT_FALSE(App().IsEngineRunning());
    EXPECT_EQ(App().WaveOut().InFlight(), 0);
    App().ShutdownDevices();
    EXPECT_FALSE(App().WaveOut().IsOpen());
}

TEST_F(EngineControlTest, ARecordingWaveInputIsTheClock) {
    CountingOutput output;
    App().SetOutputDevice(&output);
    ASSERT_TRUE(App().WaveIn().OpenWaveInByName(std::string("MME: ") + platform::kVirtualWaveInName,
                                                2205, &App().EngineThread()));
    App().StartEngine();
    EXPECT_TRUE(App().IsEngineRunning());
    EXPECT_EQ(App().GetTimerId(), platform::kNoTimer); // no timer while the input records
    EXPECT_TRUE(App().WaveIn().IsStarted());
    platform::VirtualWaveIn* in = platform::VirtualDevices::WaveIn();
    ASSERT_NE(in, nullptr);
    const std::vector<int16_t> audio(2205 * 2, 1000);
    in->Feed(audio);
    ASSERT_TRUE(Eventually([&] { return output.Blocks() == 1; }));
    EXPECT_EQ(output.LastFrames(), 2205);
    // The manual clock does not move: blocks come from the input alone.
    ASSERT_TRUE(Eventually([&] { return !App().EngineThread().IsBusy(); }));
    in->Feed(audio);
    ASSERT_TRUE(Eventually([&] { return output.Blocks() == 2; }));
    App().StopEngine();
    EXPECT_EQ(App().WaveIn().PreparedBuffers(), 0);
    EXPECT_FALSE(App().WaveIn().IsStarted());
    App().SetOutputDevice(nullptr);
}

TEST_F(EngineControlTest, MidiInputReachesTheHostAndPassesThroughToTheMidiOutput) {
    ASSERT_TRUE(App().MidiOut().OpenByName(platform::kVirtualMidiOutName));
    ASSERT_TRUE(App().MidiIn().OpenByName(platform::kVirtualMidiInName));
    App().MidiIn().SetThru(true);
    App().StartEngine(); // starts the MIDI input
    ASSERT_TRUE(App().MidiIn().IsStarted());
    const uint8_t noteOn[] = {0x90, 60, 100};
    platform::VirtualDevices::MidiIn()->Send(noteOn);
    ASSERT_EQ(App().Host().MidiQueue().Snapshot().shortCount, 1u);
    EXPECT_EQ(App().Host().MidiQueue().ShortWord(0) & 0xFFFFFFu, 0x643C90u);
    EXPECT_THAT(platform::VirtualDevices::MidiOut()->Messages(),
                ElementsAre(std::vector<uint8_t>{0x90, 60, 100}));
    EXPECT_EQ(m_ui.MidiActivityCount(), 1);
    App().StopEngine();
    EXPECT_FALSE(App().MidiIn().IsStarted());
}

TEST_F(EngineControlTest, MidiThatAPlugInSendsLeavesThroughTheMidiOutput) {
    ASSERT_TRUE(App().MidiOut().OpenByName(platform::kVirtualMidiOutName));
    const std::string path = PluginPath("zorvil-probe");
    const int slot = App().LoadEffect(path);
    ASSERT_GE(slot, 0);
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr);
    auto callHost =
        reinterpret_cast<ZorvilProbeCallHostProc>(dlsym(library, kZorvilProbeCallHostSymbol));
    ASSERT_NE(callHost, nullptr);
    VstMidiEvent event{};
    event.type = kVstMidiType;
    event.byteSize = sizeof(VstMidiEvent);
    event.midiData[0] = static_cast<char>(0x91);
    event.midiData[1] = 64;
    event.midiData[2] = 90;
    VstEvents list{};
    list.numEvents = 1;
    list.events[0] = reinterpret_cast<VstEvent*>(&event);
    callHost(App().Host().GetSeqEffect(slot)->GetAEffect(), audioMasterProcessEvents, 0, 0, &list,
             0.0f);
    EXPECT_THAT(platform::VirtualDevices::MidiOut()->Messages(),
                ElementsAre(std::vector<uint8_t>{0x91, 64, 90}));
    App().Host().RemoveAll();
    dlclose(library);
}

TEST_F(EngineControlTest, TheFaultGuardsHookShutsEveryDeviceDown) {
    ASSERT_TRUE(App().WaveOut().OpenWaveOutByName(kImmediateOut, 2205));
    ASSERT_TRUE(App().MidiOut().OpenByName(platform::kVirtualMidiOutName));
    ASSERT_TRUE(App().MidiIn().OpenByName(platform::kVirtualMidiInName));
    App().StartEngine();
    ASSERT_TRUE(App().Host().ShutdownHook());
    App().Host().ShutdownHook()();
    EXPECT_FALSE(App().IsEngineRunning());
    EXPECT_FALSE(App().WaveOut().IsOpen());
    EXPECT_FALSE(App().MidiOut().IsOpen());
    EXPECT_FALSE(App().MidiIn().IsOpen());
    // Restart has nothing to do until the devices are reopened; Run starts the engine again.
    App().OnCommand(CZorvilApp::kCommandRestart);
    EXPECT_FALSE(App().IsEngineRunning());
    App().OnCommand(CZorvilApp::kCommandRun);
    EXPECT_TRUE(App().IsEngineRunning());
}

} // namespace
} // namespace zorvil::test
