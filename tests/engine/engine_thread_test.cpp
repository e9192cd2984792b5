// CEngineThread with a real worker and a block processor that records and can hold a block.
#include "engine/engine_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace zorvil {
namespace {

struct Block {
    float* const* buffers = nullptr;
    int frames = 0;
    int channels = 0;
    uint32_t time = 0;
    std::thread::id thread;
};

// Records each block; while held, a block waits in ProcessBlock until released.
class RecordingProcessor final : public IBlockProcessor {
public:
    void ProcessBlock(float* const* buffers, int frames, int channels,
                      uint32_t time) noexcept override {
        std::unique_lock lock(m_mutex);
        m_blocks.push_back({buffers, frames, channels, time, std::this_thread::get_id()});
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return !m_hold; });
        if (m_onBlock) m_onBlock();
    }
    void Hold(bool hold) {
        const std::lock_guard lock(m_mutex);
        m_hold = hold;
        m_changed.notify_all();
    }
    void WaitForBlocks(size_t count) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_blocks.size() >= count; });
    }
    std::vector<Block> Blocks() {
        const std::lock_guard lock(m_mutex);
        return m_blocks;
    }
    void OnBlock(std::function<void()> hook) { m_onBlock = std::move(hook); }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Block> m_blocks;
    bool m_hold = false;
    std::function<void()> m_onBlock; // set only while no block runs
};

// The busy flag drops just after ProcessBlock returns; yield until it has.
void WaitUntilIdle(CEngineThread& engine) {
    while (engine.IsBusy())
        std::this_thread::yield();
}

TEST(EngineThread, RunsEachTriggeredBlockOnTheWorkerWithItsParameters) {
    RecordingProcessor processor;
    CEngineThread engine(processor);
    ASSERT_TRUE(engine.IsRunning());
    float left[882] = {};
    float right[882] = {};
    float* buffers[2] = {left, right};

    EXPECT_FALSE(engine.IsBusy());
    ASSERT_TRUE(engine.Trigger(buffers, 882, 2, 1234));
    processor.WaitForBlocks(1);
    WaitUntilIdle(engine);
    ASSERT_TRUE(engine.Trigger(buffers, 2205, 1, 0xFFFFFFFFu));
    processor.WaitForBlocks(2);

    const auto blocks = processor.Blocks();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].buffers, buffers);
    EXPECT_EQ(blocks[0].frames, 882);
    EXPECT_EQ(blocks[0].channels, 2);
    EXPECT_EQ(blocks[0].time, 1234u);
    EXPECT_NE(blocks[0].thread, std::this_thread::get_id());
    EXPECT_EQ(blocks[1].frames, 2205);
    EXPECT_EQ(blocks[1].channels, 1);
    EXPECT_EQ(blocks[1].time, 0xFFFFFFFFu);
    EXPECT_EQ(blocks[1].thread, blocks[0].thread); // one worker
    std::printf("worker real-time scheduling: %s\n", engine.IsRealtime() ? "granted" : "refused");
}

TEST(EngineThread, ATriggerWhileABlockRunsIsRefusedAndChangesNothing) {
    RecordingProcessor processor;
    CEngineThread engine(processor);
    float a[16] = {};
    float b[16] = {};
    float* first[1] = {a};
    float* second[1] = {b};

    processor.Hold(true);
    ASSERT_TRUE(engine.Trigger(first, 10, 1, 100));
    processor.WaitForBlocks(1);
    EXPECT_TRUE(engine.IsBusy());
    EXPECT_FALSE(engine.Trigger(second, 20, 2, 200));
    processor.Hold(false);
    WaitUntilIdle(engine);

    // The refused block never ran; the next accepted one carries its own parameters.
    ASSERT_TRUE(engine.Trigger(second, 30, 2, 300));
    processor.WaitForBlocks(2);
    const auto blocks = processor.Blocks();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].time, 100u);
    EXPECT_EQ(blocks[1].frames, 30);
    EXPECT_EQ(blocks[1].time, 300u);
}

TEST(EngineThread, OfTwoClocksTriggeringAtOnceExactlyOneWins) {
    RecordingProcessor processor;
    CEngineThread engine(processor);
    float buffer[8] = {};
    float* buffers[1] = {buffer};
    for (int round = 0; round < 50; ++round) {
        processor.Hold(true);
        std::atomic<int> accepted{0};
        std::atomic<bool> go{false};
        auto clock = [&](uint32_t time) {
            while (!go.load())
                std::this_thread::yield();
            if (engine.Trigger(buffers, 8, 1, time)) ++accepted;
        };
        std::thread timer(clock, 1);
        std::thread waveIn(clock, 2);
        go = true;
        timer.join();
        waveIn.join();
        EXPECT_EQ(accepted.load(), 1);
        processor.Hold(false);
        WaitUntilIdle(engine);
    }
    EXPECT_EQ(processor.Blocks().size(), 50u);
}

TEST(EngineThread, StopJoinsTheWorkerFromOutsideOrInsideAndStartMakesANewOne) {
    RecordingProcessor processor;
    CEngineThread engine(processor);
    float buffer[8] = {};
    float* buffers[1] = {buffer};
    ASSERT_TRUE(engine.Trigger(buffers, 8, 1, 1));
    processor.WaitForBlocks(1);
    engine.Stop();
    EXPECT_FALSE(engine.IsRunning());
    EXPECT_FALSE(engine.IsBusy());
    EXPECT_FALSE(engine.Trigger(buffers, 8, 1, 2));
    engine.Stop(); // a second stop is harmless

    ASSERT_TRUE(engine.Start());
    ASSERT_TRUE(engine.Trigger(buffers, 8, 1, 3));
    processor.WaitForBlocks(2);
    EXPECT_EQ(processor.Blocks()[1].time, 3u);
    WaitUntilIdle(engine);

    // A stop from inside a block ends the worker without a deadlock.
    processor.OnBlock([&] { engine.Stop(); });
    ASSERT_TRUE(engine.Trigger(buffers, 8, 1, 4));
    processor.WaitForBlocks(3);
    WaitUntilIdle(engine);
    EXPECT_FALSE(engine.IsRunning());
    EXPECT_FALSE(engine.Trigger(buffers, 8, 1, 5));
    // The destructor joins the worker that left its loop.
}

} // namespace
} // namespace zorvil
