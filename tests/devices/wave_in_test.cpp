// The wave input's buffer ring, time stamps, conversion and busy rule, against the virtual
// wave input and a real engine worker.
#include "devices/device_test_support.h"
#include "engine/wave_in_engine.h"

#include <bit>

namespace zorvil::test {
namespace {

using platform::settings::kSection;
using platform::settings::kWaveIn;

constexpr const char* kVirtualIn = platform::kVirtualWaveInName;

TEST(WaveInConversion, TheScaleIsTheFloatWithBits3800007F) {
    EXPECT_EQ(std::bit_cast<uint32_t>(CEngineWaveIn::ConversionScale()), 0x3800007Fu);
    EXPECT_FLOAT_EQ(CEngineWaveIn::ConvertSample(-32768), -0.99999988f);
    EXPECT_FLOAT_EQ(CEngineWaveIn::ConvertSample(32767), 0.99999988f);
    EXPECT_NEAR(CEngineWaveIn::ConvertSample(0), 1.5259e-5f, 1e-9f);
}

class WaveInTest : public testing::Test {
protected:
    VirtualDevicesOn m_virtual;
    TempProfile m_profile;
    RecordingProcessor m_processor;
    CEngineThread m_engine{m_processor};
    CEngineWaveIn m_in;

    void SetUp() override { m_in.SetProfile(&m_profile.Get()); }
    void TearDown() override { m_processor.Hold(false); }

    platform::VirtualWaveIn& Port() {
        platform::VirtualWaveIn* port = platform::VirtualDevices::WaveIn();
        EXPECT_NE(port, nullptr);
        return *port;
    }

    // `frames` stereo frames of one value per channel.
    static std::vector<int16_t> Frames(int frames, int16_t left, int16_t right) {
        std::vector<int16_t> data;
        for (int f = 0; f < frames; ++f) {
            data.push_back(left);
            data.push_back(right);
        }
        return data;
    }
};

TEST_F(WaveInTest, Size2205GivesTwentyBuffersOf8820BytesAllQueued) {
    ASSERT_TRUE(m_in.OpenWaveInByName(kVirtualIn, 2205, &m_engine));
    EXPECT_EQ(m_in.BufferCount(), 20);
    EXPECT_EQ(m_in.BufferFrames(), 2205);
    EXPECT_EQ(m_in.AllocatedBuffers(), 20);
    EXPECT_EQ(m_in.PreparedBuffers(), 20);
    EXPECT_EQ(m_in.Engine(), &m_engine);
    // The bare name is stored back with the prefix.
    EXPECT_EQ(m_profile->GetString(kSection, kWaveIn, ""), std::string("MME: ") + kVirtualIn);
}

TEST_F(WaveInTest, EachRecordedBufferBecomesOneBlockStampedWhenItsFirstFrameWasRecorded) {
    ASSERT_TRUE(m_in.OpenWaveInByName(std::string("MME: ") + kVirtualIn, 2205, &m_engine));
    ASSERT_TRUE(m_in.Start());
    const uint32_t start = m_in.StartTime();
    Port().Feed(Frames(2205, -32768, 32767));
    ASSERT_TRUE(m_processor.WaitForBlocks(1, 5s));
    const uint32_t now = platform::DeviceTimeMs();
    const auto block = m_processor.Blocks()[0];
    EXPECT_EQ(block.frames, 2205);
    EXPECT_FLOAT_EQ(block.left, -0.99999988f);
    EXPECT_FLOAT_EQ(block.right, 0.99999988f);
    // 8820 bytes at 176400 bytes per second: stamped 50 ms before it arrived.
    const auto stamp = static_cast<int32_t>(block.time);
    EXPECT_GE(stamp, -50);
    EXPECT_LE(stamp, static_cast<int32_t>(now - start) - 50);
    // The device thread finishes its pass: one block handed on, the buffer queued again.
    EXPECT_TRUE(Eventually([&] { return m_in.Triggered() == 1 && m_in.PreparedBuffers() == 20; }));
}

TEST_F(WaveInTest, ABlockThatArrivesWhileTheEngineIsBusyIsDropped) {
    ASSERT_TRUE(m_in.OpenWaveInByName(kVirtualIn, 2205, &m_engine));
    ASSERT_TRUE(m_in.Start());
    m_processor.Hold(true);
    Port().Feed(Frames(2205, 1, 1)); // the engine takes it and stays busy
    ASSERT_TRUE(Eventually([&] { return m_in.Triggered() == 1; }));
    ASSERT_TRUE(m_engine.IsBusy());
    Port().Feed(Frames(2205, 2, 2)); // busy: dropped
    ASSERT_TRUE(Eventually([&] { return m_in.Dropped() == 1; }));
    m_processor.Hold(false);
    ASSERT_TRUE(m_processor.WaitForBlocks(1, 5s));
    EXPECT_EQ(m_processor.Blocks().size(), 1u);
}

TEST_F(WaveInTest, WhileStoppedNothingIsDeliveredAndResetLeavesEveryBufferUnprepared) {
    ASSERT_TRUE(m_in.OpenWaveInByName(kVirtualIn, 2205, &m_engine));
    ASSERT_TRUE(m_in.Start());
    Port().Feed(Frames(1000, 5, 5)); // part of a buffer
    ASSERT_TRUE(m_in.Stop());
    Port().Feed(Frames(4410, 5, 5)); // stopped: not recorded
    ASSERT_TRUE(m_in.Reset());
    EXPECT_EQ(m_in.PreparedBuffers(), 0);
    EXPECT_TRUE(m_processor.Blocks().empty());
    // Started again, the ring is queued afresh and delivers.
    ASSERT_TRUE(m_in.Start());
    EXPECT_EQ(m_in.PreparedBuffers(), 20);
    Port().Feed(Frames(2205, 7, 7));
    ASSERT_TRUE(m_processor.WaitForBlocks(1, 5s));
    EXPECT_EQ(m_processor.Blocks()[0].frames, 2205);
    m_in.Close();
    EXPECT_FALSE(m_in.IsOpen());
}

TEST_F(WaveInTest, AnAsioNameLeavesThePreviousInputOpen) {
    ASSERT_TRUE(m_in.OpenWaveInByName(kVirtualIn, 2205, &m_engine));
    EXPECT_FALSE(m_in.OpenWaveInByName("ASIO: Some Card", 441, &m_engine));
    EXPECT_TRUE(m_in.IsOpen());
    EXPECT_EQ(m_in.BufferCount(), 20);
}

TEST_F(WaveInTest, ANameNotInstalledLeavesTheInputClosedButTheEngineLinkSet) {
    ASSERT_TRUE(m_in.OpenWaveInByName(kVirtualIn, 2205, nullptr));
    EXPECT_FALSE(m_in.OpenWaveInByName("MME: No Such Input", 2205, &m_engine));
    EXPECT_FALSE(m_in.IsOpen());
    EXPECT_EQ(m_in.Engine(), &m_engine);
    EXPECT_FALSE(m_in.Start());
}

TEST_F(WaveInTest, ADeviceThatVanishesReturnsItsBuffersAndCloses) {
    ASSERT_TRUE(m_in.OpenWaveInByName(kVirtualIn, 2205, &m_engine));
    ASSERT_TRUE(m_in.Start());
    Port().Vanish();
    EXPECT_FALSE(m_in.Alive());
    ASSERT_TRUE(m_in.Stop());
    ASSERT_TRUE(m_in.Reset());
    EXPECT_EQ(m_in.PreparedBuffers(), 0);
    EXPECT_FALSE(m_in.Start()); // the buffers cannot be queued at a vanished device
    EXPECT_TRUE(m_in.Close());
}

} // namespace
} // namespace zorvil::test
