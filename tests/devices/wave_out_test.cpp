// The wave output's pool, conversion, busy set and open rules, against the virtual devices.
#include "devices/device_test_support.h"
#include "engine/wave_out_engine.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

namespace zorvil::test {
namespace {

constexpr const char* kManual = platform::kVirtualWaveOutManualName;

std::vector<float> Constant(int frames, float value) {
    return std::vector<float>(static_cast<size_t>(frames), value);
}

int16_t SampleAt(const CWaveBuffer& buffer, int frame, int channel) {
    int16_t v = 0;
    std::memcpy(&v, buffer.Data() + 4 * frame + 2 * channel, 2);
    return v;
}

TEST(WaveOutConversion, ScalesByTheFloatWithBits46FFFF03ClampsAndTruncates) {
    EXPECT_EQ(std::bit_cast<uint32_t>(CEngineWaveOut::ConversionScale()), 0x46FFFF03u);
    // Truncated after taking off a half: 0.5 gives 16383.25, -0.5 gives -16384.25.
    const std::pair<float, int16_t> cases[] = {
        {1.0f, 32767},   {-1.0f, -32768},
        {0.0f, 0},       {2.0f, 32767},
        {-7.5f, -32768}, {0.5f, 16383},
        {-0.5f, -16384}, {std::numeric_limits<float>::quiet_NaN(), 0}};
    for (const auto& [in, out] : cases)
        EXPECT_EQ(CEngineWaveOut::ConvertSample(in), out) << in;
}

class WaveOutTest : public testing::Test {
protected:
    VirtualDevicesOn m_virtual;
    CEngineWaveOut m_out;

    platform::VirtualWaveOut& Port() { return *platform::VirtualDevices::WaveOut(); }
};

TEST_F(WaveOutTest, ThePoolHolds44100FramesOnlyItsFirst32AreWrittenAndCloseTakesAllBack) {
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

TEST_F(WaveOutTest, ABlockIsSplitWhatAFullPoolCannotTakeIsDroppedAndBuffersComeBackInOrder) {
    ASSERT_TRUE(m_out.OpenWaveOutByName(kManual, 11025)); // 4 buffers of 11025 frames
    Port().SetCapture(true);
    const auto block = Constant(3 * 11025 + 100, 1.0f);
    m_out.WriteBlock(block.data(), block.data(), static_cast<int>(block.size()));
    EXPECT_EQ(m_out.InFlight(), 4);
    EXPECT_EQ(m_out.PoolBuffer(3)->Header()->dwBufferLength, 400u); // the last 100 frames
    EXPECT_EQ(SampleAt(*m_out.PoolBuffer(3), 99, 1), 32767);

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
    const auto played = Port().Captured();
    constexpr size_t kFirst = 2 * (3 * 11025 + 100);
    ASSERT_EQ(played.size(), kFirst + 2 * 11025);
    EXPECT_EQ(played[kFirst - 1], 32767);
    EXPECT_EQ(played[kFirst], -32768);
}

TEST_F(WaveOutTest, NameRules) {
    // "MME: " and a device name opens it, whatever the case of the prefix.
    ASSERT_TRUE(m_out.OpenWaveOutByName(std::string("mMe: ") + kManual, 2205));
    EXPECT_EQ(m_out.Name(), kManual);
    // "ASIO: " opens nothing and leaves device and pool as they were.
    EXPECT_FALSE(m_out.OpenWaveOutByName(std::string("ASIO: ") + kManual, 441));
    EXPECT_TRUE(m_out.IsOpen());
    EXPECT_EQ(m_out.BufferCount(), 20);
    // A name not installed closes the device but still builds the pool the engine period uses.
    EXPECT_FALSE(m_out.OpenWaveOutByName("MME: No Such Device", 441));
    EXPECT_FALSE(m_out.IsOpen());
    EXPECT_EQ(m_out.BufferCount(), 100);
    const auto block = Constant(441, 0.5f);
    m_out.WriteBlock(block.data(), block.data(), 441); // closed: nothing happens
    EXPECT_EQ(m_out.InFlight(), 0);
    EXPECT_FALSE(m_out.OpenWaveOutByName("", 2205));
}

TEST_F(WaveOutTest, ImmediateDeviceReturnsEveryBufferAsItIsWritten) {
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

} // namespace
} // namespace zorvil::test
