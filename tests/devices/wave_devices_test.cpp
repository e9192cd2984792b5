// The wave output's pool, conversion, busy set and open rules, and the wave input's ring, time
// stamps and busy rule, against the virtual devices and a real engine worker.
#include "devices/device_test_support.h"
#include "engine/wave_in_engine.h"
#include "engine/wave_out_engine.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <unistd.h>

namespace zorvil::test {
namespace {

constexpr const char* kManual = platform::kVirtualWaveOutManualName;
constexpr const char* kVirtualIn = platform::kVirtualWaveInName;

std::vector<float> Constant(int frames, float value) {
    return std::vector<float>(static_cast<size_t>(frames), value);
}

TEST(WaveOutConversion, ScalesByTheFloatWithBits46FFFF03ClampsAndTruncates) {
    // The float with bits 46FFFF03; truncated after taking off a half: 0.5 gives 16383.25, -0.5
    // gives -16384.25.
    const std::pair<float, int16_t> cases[] = {
        {1.0f, 32767},   {-1.0f, -32768},
        {0.0f, 0},       {2.0f, 32767},
        {-7.5f, -32768}, {0.5f, 16383},
        {-0.5f, -16384}, {std::numeric_limits<float>::quiet_NaN(), 0}};
    for (const auto& [in, out] : cases)
        EXPECT_EQ(CEngineWaveOut::ConvertSample(in), out) << in;
}

class WaveDevicesTest : public testing::Test {
protected:
    VirtualDevicesOn m_virtual;
    platform::CProfile m_profile{testing::TempDir() + "zorvil-wave-in-" + std::to_string(getpid()) +
                                 ".conf"};
    BlockCapture m_processor;
    CEngineThread m_engine{m_processor};
    CEngineWaveIn m_in;
    CEngineWaveOut m_out;

    void SetUp() override { m_in.SetProfile(&m_profile); }
    void TearDown() override {
        m_processor.Hold(false);
        std::remove(m_profile.Path().c_str());
    }

    platform::VirtualWaveOut& Port() { return *platform::VirtualDevices::WaveOut(); }
    // `frames` stereo frames of one value per channel, into the virtual input.
    static void Feed(int frames, int16_t left, int16_t right) {
        std::vector<int16_t> data;
        for (int f = 0; f < frames; ++f)
            data.insert(data.end(), {left, right});
        platform::VirtualDevices::WaveIn()->Feed(data);
    }
};

TEST_F(WaveDevicesTest, WaveOutPoolHolds44100FramesFirst32AreWrittenCloseTakesAllBack) {
    for (const auto& [frames, count] : {std::pair{2205, 20}, std::pair{147, 300}}) {
        SCOPED_TRACE(frames);
        ASSERT_TRUE(m_out.OpenWaveOutByName(kManual, frames));
        EXPECT_EQ(m_out.BufferCount(), count);
        EXPECT_EQ(m_out.PoolBuffer(0)->Header()->dwBufferLength, 4u * frames);
        const auto block = Constant(frames, 0.25f);
        for (int i = 0; i < 40; ++i)
            m_out.WriteBlock(block.data(), block.data(), frames);
        const int written = std::min(count, 32);
        EXPECT_EQ(m_out.InFlight(), written);
        EXPECT_EQ(m_out.BusySet(), written == 32 ? 0xFFFFFFFFu : (1u << written) - 1);
        EXPECT_EQ(Port().Queued(), static_cast<size_t>(written));
        EXPECT_TRUE(m_out.Close()); // nothing was played: the reset hands every buffer back
        EXPECT_EQ(m_out.InFlight(), 0);
        EXPECT_EQ(m_out.BusySet(), 0u);
        for (int i = 0; i < count; ++i)
            EXPECT_EQ(m_out.PoolBuffer(i)->Header()->dwFlags.load() & platform::WHDR_PREPARED, 0u);
    }
}

TEST_F(WaveDevicesTest, WaveOutSplitsBlocksDropsWhatAFullPoolCannotTakeReusesBuffersWhole) {
    ASSERT_TRUE(m_out.OpenWaveOutByName(kManual, 11025)); // 4 buffers of 11025 frames
    Port().SetCapture(true);
    const auto block = Constant(3 * 11025 + 100, 1.0f);
    m_out.WriteBlock(block.data(), block.data(), static_cast<int>(block.size()));
    EXPECT_EQ(m_out.InFlight(), 4);
    EXPECT_EQ(m_out.PoolBuffer(3)->Header()->dwBufferLength, 400u); // the last 100 frames

    // The pool is full: this block is lost entirely, nothing waits.
    m_out.WriteBlock(block.data(), block.data(), 11025);
    EXPECT_EQ(Port().Written(), 4u);

    // The first buffer comes back first; the next block starts afresh in it, the lowest free.
    Port().Consume(11025);
    ASSERT_TRUE(m_out.WaitForInFlight(3, 5s));
    EXPECT_EQ(m_out.BusySet(), 0b1110u);
    const auto next = Constant(11025 + 5, -1.0f);
    m_out.WriteBlock(next.data(), next.data(), static_cast<int>(next.size()));
    EXPECT_EQ(m_out.InFlight(), 4); // 11025 frames written, the last 5 dropped
    EXPECT_EQ(m_out.BusySet(), 0b1111u);
    EXPECT_EQ(m_out.PoolBuffer(0)->Header()->dwBufferLength, 44100u);
    Port().ConsumeAll();
    ASSERT_TRUE(m_out.WaitForInFlight(0, 5s));
    auto played = Port().Captured();
    constexpr size_t kFirst = 2 * (3 * 11025 + 100);
    ASSERT_EQ(played.size(), kFirst + 2 * 11025);
    EXPECT_EQ(played[kFirst - 1], 32767);
    EXPECT_EQ(played[kFirst], -32768);

    // Buffer 3, last used for 100 frames, takes a whole chunk again and none of the old audio.
    const auto full = Constant(4 * 11025, 0.5f);
    m_out.WriteBlock(full.data(), full.data(), 4 * 11025);
    EXPECT_EQ(m_out.PoolBuffer(3)->Header()->dwBufferLength, 44100u);
    Port().ConsumeAll();
    ASSERT_TRUE(m_out.WaitForInFlight(0, 5s));
    played = Port().Captured();
    EXPECT_EQ(std::count(played.begin() + kFirst + 2 * 11025, played.end(), 16383), 8 * 11025);
}

TEST_F(WaveDevicesTest, NameRulesAndAPoolBuiltWithoutTheDeviceBuiltAgainWhenItOpens) {
    // "MME: " and a device name opens it, whatever the case of the prefix.
    ASSERT_TRUE(m_out.OpenWaveOutByName(std::string("mMe: ") + kManual, 2205));
    EXPECT_EQ(m_out.Name(), kManual);
    // "ASIO: " opens nothing and leaves device and pool as they were.
    EXPECT_FALSE(m_out.OpenWaveOutByName(std::string("ASIO: ") + kManual, 441));
    EXPECT_TRUE(m_out.IsOpen());
    EXPECT_EQ(m_out.BufferCount(), 20);
    // A name not installed closes the device; blocks written then go nowhere. The pool built
    // meanwhile has buffers of 0 bytes; opening the device builds it again, so that nothing is
    // written or played beyond an allocation.
    EXPECT_FALSE(m_out.OpenWaveOutByName("MME: No Such Device", 2205));
    EXPECT_FALSE(m_out.IsOpen());
    ASSERT_EQ(m_out.BufferCount(), 20);
    EXPECT_EQ(m_out.PoolBuffer(0)->Capacity(), 0u);
    const auto block = Constant(2205, 0.25f);
    m_out.WriteBlock(block.data(), block.data(), 2205);
    EXPECT_EQ(m_out.InFlight(), 0);
    ASSERT_TRUE(m_out.OpenByName(kManual));
    EXPECT_EQ(m_out.BufferCount(), 20);
    EXPECT_EQ(m_out.PoolBuffer(0)->Capacity(), 8820u);
    Port().SetCapture(true);
    m_out.WriteBlock(block.data(), block.data(), 2205);
    EXPECT_EQ(m_out.PoolBuffer(0)->Header()->dwBufferLength, 8820u);
    Port().ConsumeAll();
    ASSERT_TRUE(m_out.WaitForInFlight(0, 5s));
    const auto played = Port().Captured();
    EXPECT_EQ(played.size(), 2u * 2205);
    EXPECT_EQ(std::count(played.begin(), played.end(), 8191), 2 * 2205);

    // The wave input alike, which keeps the engine link all the same.
    ASSERT_TRUE(m_in.OpenWaveInByName(kVirtualIn, 2205, nullptr));
    EXPECT_FALSE(m_in.OpenWaveInByName("MME: No Such Input", 2205, &m_engine));
    EXPECT_FALSE(m_in.IsOpen());
    EXPECT_EQ(m_in.Engine(), &m_engine);
}

TEST_F(WaveDevicesTest, WaveOutImmediateDeviceReturnsEveryBufferAsItIsWritten) {
    // Buffers come back at once, so the device event is often signalled while the device thread
    // still handles the last one; a lost signal would leave a buffer out for good.
    ASSERT_TRUE(m_out.OpenWaveOutByName(platform::kVirtualWaveOutImmediateName, 2205));
    const auto block = Constant(2205, 0.5f);
    for (int i = 0; i < 100; ++i) {
        m_out.WriteBlock(block.data(), block.data(), 2205);
        ASSERT_TRUE(m_out.WaitForInFlight(0, 5s));
    }
    EXPECT_EQ(Port().Written(), 100u);
}

TEST_F(WaveDevicesTest, WaveInBuffersBecomeBlocksStampedAtTheirFirstFrameWhileStartedAndIdle) {
    ASSERT_TRUE(m_in.OpenWaveInByName(kVirtualIn, 2205, &m_engine));
    EXPECT_EQ(m_in.BufferCount(), 20);
    EXPECT_EQ(m_profile.GetString(platform::settings::kSection, platform::settings::kWaveIn, ""),
              std::string("MME: ") + kVirtualIn); // the bare name is stored with the prefix
    ASSERT_TRUE(m_in.Start());
    EXPECT_EQ(m_in.PreparedBuffers(), 20);
    const uint32_t start = m_in.StartTime();
    Feed(2205, -32768, 32767);
    ASSERT_TRUE(m_processor.WaitForBlocks(1, 5s));
    const uint32_t now = platform::DeviceTimeMs();
    const auto block = m_processor.Blocks()[0];
    EXPECT_EQ(block.frames, 2205);
    EXPECT_FLOAT_EQ(block.left, -0.99999988f); // scaled by the float with bits 0x3800007F
    EXPECT_FLOAT_EQ(block.right, 0.99999988f);
    // 8820 bytes at 176400 bytes per second: stamped 50 ms before it arrived.
    const auto stamp = static_cast<int32_t>(block.time);
    EXPECT_GE(stamp, -50);
    EXPECT_LE(stamp, static_cast<int32_t>(now - start) - 50);
    // The device thread finishes its pass: one block handed on, the buffer queued again.
    EXPECT_TRUE(Eventually([&] { return m_in.Triggered() == 1 && m_in.PreparedBuffers() == 20; }));

    // Stopped, nothing is delivered, and Reset leaves every buffer unprepared.
    Feed(1000, 5, 5); // part of a buffer
    ASSERT_TRUE(m_in.Stop());
    Feed(4410, 5, 5); // stopped: not recorded
    ASSERT_TRUE(m_in.Reset());
    EXPECT_EQ(m_in.PreparedBuffers(), 0);
    EXPECT_EQ(m_processor.Blocks().size(), 1u);
    // Started again, the ring is queued afresh and delivers.
    ASSERT_TRUE(m_in.Start());
    EXPECT_EQ(m_in.PreparedBuffers(), 20);
    Feed(2205, 7, 7);
    ASSERT_TRUE(m_processor.WaitForBlocks(2, 5s));
    EXPECT_FLOAT_EQ(m_processor.Blocks()[1].left, CEngineWaveIn::ConvertSample(7)); // not the 5s

    // A block that arrives while the engine is busy waits for it (two buffers filled in one
    // device cycle), but not for longer than the block lasts (50 ms): then it is dropped.
    ASSERT_TRUE(Eventually([&] { return m_in.Triggered() == 2 && m_in.PreparedBuffers() == 20; }));
    m_processor.Hold(true);
    Feed(2205, 1, 1); // the engine takes it and stays busy
    ASSERT_TRUE(Eventually([&] { return m_in.Triggered() == 3; }));
    ASSERT_TRUE(m_engine.IsBusy());
    Feed(2205, 2, 2); // busy for good: dropped
    ASSERT_TRUE(Eventually([&] { return m_in.Dropped() == 1; }));
    m_processor.Hold(false);
    ASSERT_TRUE(m_processor.WaitForBlocks(3, 5s));
    EXPECT_EQ(m_processor.Blocks().size(), 3u);
    ASSERT_TRUE(Eventually([&] { return !m_engine.IsBusy(); }));
    m_processor.Hold(true);
    Feed(2 * 2205, 3, 3); // two buffers at once: the engine holds the first...
    ASSERT_TRUE(Eventually([&] { return m_in.Triggered() == 4; }));
    std::this_thread::sleep_for(5ms); // ...while the second waits
    m_processor.Hold(false);
    ASSERT_TRUE(m_processor.WaitForBlocks(5, 5s));
    EXPECT_EQ(m_in.Dropped(), 1u);
    EXPECT_FLOAT_EQ(m_processor.Blocks()[4].left, CEngineWaveIn::ConvertSample(3));
}

} // namespace
} // namespace zorvil::test
