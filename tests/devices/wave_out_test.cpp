// The wave output's pool, conversion, busy set and open rules, against the virtual devices.
#include "devices/device_test_support.h"
#include "engine/wave_out_engine.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace zorvil::test {
namespace {

using platform::settings::kSection;
using platform::settings::kWaveOut;

constexpr const char* kManual = platform::kVirtualWaveOutManualName;

std::vector<float> Constant(int frames, float value) {
    return std::vector<float>(static_cast<size_t>(frames), value);
}

int16_t SampleAt(const CWaveBuffer& buffer, int frame, int channel) {
    int16_t v = 0;
    std::memcpy(&v, buffer.Data() + 4 * frame + 2 * channel, 2);
    return v;
}

TEST(WaveOutConversion, TheScaleIsTheFloatWithBits46FFFF03) {
    EXPECT_EQ(std::bit_cast<uint32_t>(CEngineWaveOut::ConversionScale()), 0x46FFFF03u);
    EXPECT_EQ(CEngineWaveOut::ConversionScale(), 32767.505859375f);
}

TEST(WaveOutConversion, ClampsAndTruncatesTowardZero) {
    EXPECT_EQ(CEngineWaveOut::ConvertSample(1.0f), 32767);
    EXPECT_EQ(CEngineWaveOut::ConvertSample(-1.0f), -32768);
    EXPECT_EQ(CEngineWaveOut::ConvertSample(0.0f), 0);
    EXPECT_EQ(CEngineWaveOut::ConvertSample(2.0f), 32767);
    EXPECT_EQ(CEngineWaveOut::ConvertSample(-7.5f), -32768);
    EXPECT_EQ(CEngineWaveOut::ConvertSample(0.5f), 16383); // 16383.25 truncated
    EXPECT_EQ(CEngineWaveOut::ConvertSample(std::numeric_limits<float>::quiet_NaN()), 0);
}

TEST(WaveOutBufferSize, ValuesOutsideTheOfferedRangeFallBackTo2205) {
    EXPECT_EQ(CEngineWaveOut::BoundBufferSize(0), 2205);
    EXPECT_EQ(CEngineWaveOut::BoundBufferSize(-441), 2205);
    EXPECT_EQ(CEngineWaveOut::BoundBufferSize(100), 2205);   // blocks beyond the mix buffers
    EXPECT_EQ(CEngineWaveOut::BoundBufferSize(44101), 2205); // no buffer at all
    EXPECT_EQ(CEngineWaveOut::BoundBufferSize(147), 147);
    EXPECT_EQ(CEngineWaveOut::BoundBufferSize(11025), 11025);
    EXPECT_EQ(CEngineWaveOut::BoundBufferSize(1000), 1000);
}

class WaveOutTest : public testing::Test {
protected:
    VirtualDevicesOn m_virtual;
    TempProfile m_profile;
    CEngineWaveOut m_out;

    void SetUp() override { m_out.SetProfile(&m_profile.Get()); }

    platform::VirtualWaveOut& Port() {
        platform::VirtualWaveOut* port = platform::VirtualDevices::WaveOut();
        EXPECT_NE(port, nullptr);
        return *port;
    }
};

TEST_F(WaveOutTest, Size2205GivesTwentyBuffersOf2205Frames) {
    ASSERT_TRUE(m_out.OpenWaveOutByName(std::string("MME: ") + kManual, 2205));
    EXPECT_EQ(m_out.BufferCount(), 20);
    EXPECT_EQ(m_out.BufferFrames(), 2205);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(m_out.PoolBuffer(i)->Header()->dwBufferLength, 8820u);
}

TEST_F(WaveOutTest, Size147GivesThreeHundredBuffersOfWhichOnlyTheFirst32AreWritten) {
    ASSERT_TRUE(m_out.OpenWaveOutByName(kManual, 147));
    EXPECT_EQ(m_out.BufferCount(), 300);
    EXPECT_EQ(m_out.BufferFrames(), 147);
    const auto block = Constant(147, 0.25f);
    for (int i = 0; i < 40; ++i)
        m_out.WriteBlock(block.data(), block.data(), 147);
    EXPECT_EQ(m_out.InFlight(), 32);
    EXPECT_EQ(m_out.BusySet(), 0xFFFFFFFFu);
    EXPECT_EQ(Port().Queued(), 32u);
    for (int i = 0; i < 32; ++i)
        EXPECT_TRUE(m_out.PoolBuffer(i)->Header()->dwFlags.load() & platform::WHDR_PREPARED) << i;
    for (int i = 32; i < 300; ++i)
        EXPECT_EQ(m_out.PoolBuffer(i)->Header()->dwFlags.load(), 0u) << i;
}

TEST_F(WaveOutTest, BuffersComeBackInOrderAndAreReused) {
    ASSERT_TRUE(m_out.OpenWaveOutByName(kManual, 2205));
    const auto a = Constant(2205, 0.5f);
    const auto b = Constant(2205, -0.5f);
    m_out.WriteBlock(a.data(), b.data(), 2205);
    m_out.WriteBlock(b.data(), a.data(), 2205);
    EXPECT_EQ(m_out.BusySet(), 0b11u);
    Port().SetCapture(true);
    EXPECT_EQ(Port().Consume(2205), 2205u);
    ASSERT_TRUE(m_out.WaitForInFlight(1, 5s));
    EXPECT_EQ(m_out.BusySet(), 0b10u); // the first buffer is free again, the second still out
    m_out.WriteBlock(a.data(), a.data(), 2205);
    EXPECT_EQ(m_out.BusySet(), 0b11u); // the lowest free index is taken again
    Port().ConsumeAll();
    ASSERT_TRUE(m_out.WaitForInFlight(0, 5s));
    EXPECT_EQ(m_out.BusySet(), 0u);
    const auto played = Port().Captured();
    ASSERT_EQ(played.size(), 3u * 2205 * 2);
    EXPECT_EQ(played[0], 16383);  // block 1 left
    EXPECT_EQ(played[1], -16384); // block 1 right: -16384.25 truncated
    EXPECT_EQ(played[2205 * 2], -16384);
    EXPECT_EQ(played[2 * 2205 * 2], 16383);
}

TEST_F(WaveOutTest, ABlockLargerThanABufferIsSplitAndTheRestDroppedWhenThePoolIsFull) {
    ASSERT_TRUE(m_out.OpenWaveOutByName(kManual, 11025)); // 4 buffers of 11025 frames
    ASSERT_EQ(m_out.BufferCount(), 4);
    const auto block = Constant(3 * 11025 + 100, 1.0f);
    m_out.WriteBlock(block.data(), block.data(), static_cast<int>(block.size()));
    EXPECT_EQ(m_out.InFlight(), 4);
    EXPECT_EQ(m_out.PoolBuffer(3)->Header()->dwBufferLength, 400u); // the last 100 frames
    EXPECT_EQ(SampleAt(*m_out.PoolBuffer(3), 99, 1), 32767);

    // The pool is full: this block is lost entirely, nothing waits.
    m_out.WriteBlock(block.data(), block.data(), 11025);
    EXPECT_EQ(m_out.InFlight(), 4);
    EXPECT_EQ(Port().Written(), 4u);

    // Once a buffer is back, the next block starts afresh in it.
    Port().Consume(11025);
    ASSERT_TRUE(m_out.WaitForInFlight(3, 5s));
    const auto next = Constant(11025 + 5, -1.0f);
    m_out.WriteBlock(next.data(), next.data(), static_cast<int>(next.size()));
    EXPECT_EQ(m_out.InFlight(), 4); // 11025 frames written, the last 5 dropped
    EXPECT_EQ(SampleAt(*m_out.PoolBuffer(0), 0, 0), -32768);
    EXPECT_EQ(m_out.PoolBuffer(0)->Header()->dwBufferLength, 44100u);
}

TEST_F(WaveOutTest, CloseWaitsForEveryBuffer) {
    ASSERT_TRUE(m_out.OpenWaveOutByName(kManual, 2205));
    const auto block = Constant(2205 * 5, 0.1f);
    m_out.WriteBlock(block.data(), block.data(), static_cast<int>(block.size()));
    ASSERT_EQ(m_out.InFlight(), 5);
    EXPECT_TRUE(m_out.Close()); // nothing was played: the reset hands them back
    EXPECT_EQ(m_out.InFlight(), 0);
    EXPECT_EQ(m_out.BusySet(), 0u);
    EXPECT_FALSE(m_out.IsOpen());
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(m_out.PoolBuffer(i)->Header()->dwFlags.load() & platform::WHDR_PREPARED, 0u);
}

TEST_F(WaveOutTest, PrefixRules) {
    // "MME: " and a device name opens it, whatever the case of the prefix.
    ASSERT_TRUE(m_out.OpenWaveOutByName(std::string("mMe: ") + kManual, 2205));
    EXPECT_EQ(m_out.Name(), kManual);
    EXPECT_EQ(m_profile->GetString(kSection, kWaveOut, "none"), "none"); // nothing written

    // The bare name opens it too and is stored back with the prefix.
    ASSERT_TRUE(m_out.OpenWaveOutByName(kManual, 2205));
    EXPECT_EQ(m_profile->GetString(kSection, kWaveOut, ""), std::string("MME: ") + kManual);

    // "ASIO: " opens nothing and leaves device and pool as they were.
    EXPECT_FALSE(m_out.OpenWaveOutByName(std::string("ASIO: ") + kManual, 441));
    EXPECT_TRUE(m_out.IsOpen());
    EXPECT_EQ(m_out.BufferCount(), 20);
    EXPECT_EQ(m_out.BufferFrames(), 2205);
}

TEST_F(WaveOutTest, ANameNotInstalledClosesTheDeviceAndStillBuildsThePool) {
    ASSERT_TRUE(m_out.OpenWaveOutByName(kManual, 2205));
    EXPECT_FALSE(m_out.OpenWaveOutByName("MME: No Such Device", 441));
    EXPECT_FALSE(m_out.IsOpen());
    EXPECT_EQ(m_out.BufferCount(), 100); // the pool follows the size, so the engine period does
    EXPECT_EQ(m_out.PoolBuffer(0)->Header()->dwBufferLength, 0u);
    const auto block = Constant(441, 0.5f);
    m_out.WriteBlock(block.data(), block.data(), 441); // closed: nothing happens
    EXPECT_EQ(m_out.InFlight(), 0);
    EXPECT_FALSE(m_out.OpenWaveOutByName("", 2205)); // the empty name opens nothing either
    // Prefixed and empty names are not written back: the bare name of the first open stays.
    EXPECT_EQ(m_profile->GetString(kSection, kWaveOut, ""), std::string("MME: ") + kManual);
}

TEST_F(WaveOutTest, WaveMapperIsTheFirstEntryOfTheList) {
    const auto list = WaveOutDeviceList();
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list[0], "Wave Mapper");
    EXPECT_NE(std::find(list.begin(), list.end(), kManual), list.end());
}

TEST(WaveOutVirtualDevices, AreNotListedUnlessEnabled) {
    platform::EnableVirtualDevices(false);
    for (const auto& name : WaveOutDeviceList())
        EXPECT_EQ(name.find("Virtual"), std::string::npos) << name;
}

TEST_F(WaveOutTest, ADeviceThatVanishesRefusesBuffersAndClosesWithoutWaiting) {
    ASSERT_TRUE(m_out.OpenWaveOutByName(kManual, 2205));
    const auto block = Constant(2205 * 3, 0.1f);
    m_out.WriteBlock(block.data(), block.data(), static_cast<int>(block.size()));
    Port().Vanish(); // the queued buffers come back
    ASSERT_TRUE(m_out.WaitForInFlight(0, 5s));
    m_out.WriteBlock(block.data(), block.data(), static_cast<int>(block.size()));
    EXPECT_EQ(m_out.InFlight(), 0); // refused and undone at once
    EXPECT_EQ(m_out.BusySet(), 0u);
    EXPECT_FALSE(m_out.Alive());
    EXPECT_TRUE(m_out.Close());
}

TEST_F(WaveOutTest, ImmediateDeviceReturnsEveryBufferAsItIsWritten) {
    ASSERT_TRUE(m_out.OpenWaveOutByName(platform::kVirtualWaveOutImmediateName, 2205));
    const auto block = Constant(2205, 0.5f);
    for (int i = 0; i < 100; ++i) {
        m_out.WriteBlock(block.data(), block.data(), 2205);
        ASSERT_TRUE(m_out.WaitForInFlight(0, 5s));
    }
    EXPECT_EQ(Port().Written(), 100u);
}

class RecordingRenderHook : public IWaveOutRenderHook {
public:
    void OnBufferWritten(const CWaveBuffer& buffer, int frames) noexcept override {
        lengths.push_back(buffer.Header()->dwBufferLength);
        this->frames += frames;
    }
    std::vector<uint32_t> lengths;
    int frames = 0;
};

TEST_F(WaveOutTest, TheRenderHookSeesEveryQueuedBuffer) {
    RecordingRenderHook hook;
    m_out.SetRenderHook(&hook);
    ASSERT_TRUE(m_out.OpenWaveOutByName(kManual, 2205));
    const auto block = Constant(2205 + 5, 0.5f);
    m_out.WriteBlock(block.data(), block.data(), static_cast<int>(block.size()));
    EXPECT_EQ(hook.frames, 2210);
    EXPECT_EQ(hook.lengths, (std::vector<uint32_t>{8820u, 20u}));
    m_out.SetRenderHook(nullptr);
}

} // namespace
} // namespace zorvil::test
