// The output queue's drop-out count, which the latency measurement reports: silence between
// buffers counts once per gap; the queue running dry at the end of playing does not.
#include "platform/audio_device.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace zorvil {
namespace {

TEST(WaveOutQueueTest, GapsCountSilenceBetweenBuffersButNotTheEndOfPlaying) {
    platform::DeviceEvent event;
    platform::WaveOutQueue queue(event);
    std::vector<int16_t> data(4 * 64 * 2, 1000);
    std::array<platform::WAVEHDR, 4> headers{};
    for (size_t i = 0; i < headers.size(); ++i) {
        headers[i].lpData = reinterpret_cast<char*>(data.data() + i * 128);
        headers[i].dwBufferLength = 64 * 4;
    }
    std::vector<int16_t> out(128 * 2); // room for the longest pull

    EXPECT_EQ(queue.PullInt16(out.data(), 64), 0u); // silence before the first buffer: no gap
    ASSERT_TRUE(queue.Push(headers[0]));
    EXPECT_EQ(queue.PullInt16(out.data(), 64), 64u);
    EXPECT_EQ(queue.PullInt16(out.data(), 32), 0u); // the engine fell behind...
    EXPECT_EQ(queue.PullInt16(out.data(), 32), 0u);
    ASSERT_TRUE(queue.Push(headers[1])); // ...and caught up: one gap
    EXPECT_EQ(queue.Gaps(), 1u);
    EXPECT_EQ(queue.PullInt16(out.data(), 96), 64u); // short again
    ASSERT_TRUE(queue.Push(headers[2]));
    EXPECT_EQ(queue.Gaps(), 2u);

    queue.ReturnAll(); // playing ended: what follows is a new start
    EXPECT_EQ(queue.PullInt16(out.data(), 64), 0u);
    ASSERT_TRUE(queue.Push(headers[3]));
    EXPECT_EQ(queue.PullInt16(out.data(), 64), 64u);
    EXPECT_EQ(queue.Gaps(), 2u);
}

} // namespace
} // namespace zorvil
