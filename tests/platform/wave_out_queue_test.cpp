// The output queue: its drop-out count, which the latency measurement reports (silence between
// buffers counts once per gap; the queue running dry at the end of playing does not), and the
// cushion of silence it plays when buffers start coming.
#include "platform/audio_device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <initializer_list>
#include <thread>
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

// Pulls of 64 frames, buffers of 64 frames of the values 1, 2, 3: what the device plays.
TEST(WaveOutQueueTest, TheCushionPlaysBeforeBuffersStartAndAgainAfterTheQueueRanDry) {
    platform::DeviceEvent event;
    platform::WaveOutQueue queue(event);
    queue.SetCushion(32); // plus the longest pull: 96 frames of silence
    std::vector<int16_t> data(3 * 64 * 2);
    std::array<platform::WAVEHDR, 3> headers{};
    for (size_t i = 0; i < headers.size(); ++i) {
        std::fill_n(data.begin() + static_cast<std::ptrdiff_t>(i * 128), 128,
                    static_cast<int16_t>(i + 1));
        headers[i].lpData = reinterpret_cast<char*>(data.data() + i * 128);
        headers[i].dwBufferLength = 64 * 4;
    }
    std::vector<int16_t> played;
    auto pull = [&] {
        std::vector<int16_t> out(64 * 2, -1);
        queue.PullInt16(out.data(), 64);
        for (size_t f = 0; f < 64; ++f)
            played.push_back(out[2 * f]);
    };
    auto run = [](int16_t value, size_t frames) { return std::vector<int16_t>(frames, value); };
    auto join = [](std::initializer_list<std::vector<int16_t>> parts) {
        std::vector<int16_t> all;
        for (const auto& p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    };

    pull(); // nothing queued yet
    ASSERT_TRUE(queue.Push(headers[0]));
    ASSERT_TRUE(queue.Push(headers[1]));
    for (int i = 0; i < 3; ++i)
        pull();
    EXPECT_EQ(played, join({run(0, 64), run(0, 96), run(1, 64), run(2, 32)}));

    played.clear();
    pull();                              // the rest of buffer 2, then dry
    ASSERT_TRUE(queue.Push(headers[2])); // the engine caught up: cushion again
    pull();
    pull();
    EXPECT_EQ(played, join({run(2, 32), run(0, 32), run(0, 96), run(3, 32)}));
    EXPECT_EQ(queue.Gaps(), 1u); // the cushion itself is no gap

    queue.SetCushion(0); // from the next start: buffers play as they come
    queue.ReturnAll();
    played.clear();
    ASSERT_TRUE(queue.Push(headers[0]));
    pull();
    EXPECT_EQ(played, run(1, 64));
}

// The device's thread never waits for the queue, but it must not lose a period to another
// thread that holds the queue for an instant: here one that asks for its length without pause.
TEST(WaveOutQueueTest, APullDoesNotGiveUpWhileAnotherThreadHoldsTheQueueForAnInstant) {
    platform::DeviceEvent event;
    platform::WaveOutQueue queue(event);
    constexpr size_t kFrames = 1 << 20;
    std::vector<int16_t> data(kFrames * 2, 1000);
    platform::WAVEHDR header{};
    header.lpData = reinterpret_cast<char*>(data.data());
    header.dwBufferLength = kFrames * 4;
    ASSERT_TRUE(queue.Push(header));
    std::atomic<bool> stop{false};
    std::atomic<int> asked{0};
    std::thread asker([&] {
        while (!stop.load(std::memory_order_relaxed)) {
            (void)queue.Queued();
            asked.fetch_add(1, std::memory_order_relaxed);
        }
    });
    // Pull a frame at a time for as long as it takes the asker to ask many times over.
    const int start = asked.load();
    size_t pulls = 0;
    size_t played = 0;
    int16_t frame[2];
    while ((asked.load(std::memory_order_relaxed) - start < 100000 || pulls < 10000) &&
           pulls < kFrames) {
        played += queue.PullInt16(frame, 1);
        ++pulls;
    }
    stop.store(true);
    asker.join();
    // Giving up at the first busy moment lost nine pulls in ten whenever both threads ran at
    // once (on a busy machine they may only take turns, and nothing is lost either way); an
    // asker preempted while it holds the queue may still cost one now and then.
    EXPECT_LT(queue.Gaps(), pulls / 100);
    EXPECT_EQ(played + queue.Gaps(), pulls);
}

} // namespace
} // namespace zorvil
