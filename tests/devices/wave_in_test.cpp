// The wave input's buffer ring, time stamps, conversion and busy rule, against the virtual
// wave input and a real engine worker.
#include "devices/device_test_support.h"
#include "engine/wave_in_engine.h"

#include <cstdio>
#include <unistd.h>

namespace zorvil::test {
namespace {

constexpr const char* kVirtualIn = platform::kVirtualWaveInName;

class WaveInTest : public testing::Test {
protected:
    VirtualDevicesOn m_virtual;
    platform::CProfile m_profile{testing::TempDir() + "zorvil-wave-in-" + std::to_string(getpid()) +
                                 ".conf"};
    RecordingProcessor m_processor;
    CEngineThread m_engine{m_processor};
    CEngineWaveIn m_in;

    void SetUp() override { m_in.SetProfile(&m_profile); }
    void TearDown() override {
        m_processor.Hold(false);
        std::remove(m_profile.Path().c_str());
    }

    // `frames` stereo frames of one value per channel, into the virtual input.
    static void Feed(int frames, int16_t left, int16_t right) {
        std::vector<int16_t> data;
        for (int f = 0; f < frames; ++f)
            data.insert(data.end(), {left, right});
        platform::VirtualDevices::WaveIn()->Feed(data);
    }
};

TEST_F(WaveInTest, EachBufferBecomesABlockStampedWhenItsFirstFrameWasRecordedUntilStopped) {
    ASSERT_TRUE(m_in.OpenWaveInByName(kVirtualIn, 2205, &m_engine));
    EXPECT_EQ(m_in.BufferCount(), 20);
    EXPECT_EQ(m_in.BufferFrames(), 2205);
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
}

TEST_F(WaveInTest, ABlockThatArrivesWhileTheEngineIsBusyIsDropped) {
    ASSERT_TRUE(m_in.OpenWaveInByName(kVirtualIn, 2205, &m_engine));
    ASSERT_TRUE(m_in.Start());
    m_processor.Hold(true);
    Feed(2205, 1, 1); // the engine takes it and stays busy
    ASSERT_TRUE(Eventually([&] { return m_in.Triggered() == 1; }));
    ASSERT_TRUE(m_engine.IsBusy());
    Feed(2205, 2, 2); // busy: dropped
    ASSERT_TRUE(Eventually([&] { return m_in.Dropped() == 1; }));
    m_processor.Hold(false);
    ASSERT_TRUE(m_processor.WaitForBlocks(1, 5s));
    EXPECT_EQ(m_processor.Blocks().size(), 1u);
}

TEST_F(WaveInTest, AnAsioNameLeavesTheInputOpenAndANameNotInstalledClosesIt) {
    ASSERT_TRUE(m_in.OpenWaveInByName(kVirtualIn, 2205, nullptr));
    EXPECT_FALSE(m_in.OpenWaveInByName("ASIO: Some Card", 441, &m_engine));
    EXPECT_TRUE(m_in.IsOpen());
    EXPECT_EQ(m_in.BufferCount(), 20);
    EXPECT_FALSE(m_in.OpenWaveInByName("MME: No Such Input", 2205, &m_engine));
    EXPECT_FALSE(m_in.IsOpen());
    EXPECT_EQ(m_in.Engine(), &m_engine); // the engine link is set all the same
    EXPECT_FALSE(m_in.Start());
}

} // namespace
} // namespace zorvil::test
