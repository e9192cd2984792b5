// CEngineThread with a real worker, a BlockCapture standing in for the engine's processor.
#include "engine/engine_thread.h"
#include "engine_rig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>

namespace zorvil {
namespace {

using test::BlockCapture;
using test::WaitUntilIdle;

float g_buffer[8] = {};
float* g_buffers[1] = {g_buffer};

// Busy is tested and set under one lock, so of two clocks triggering at once exactly one wins.
TEST(EngineThread, OfTwoClocksTriggeringAtOnceExactlyOneWins) {
    BlockCapture processor;
    CEngineThread engine(processor);
    for (int round = 0; round < 50; ++round) {
        processor.Hold(true);
        std::atomic<int> accepted{0};
        std::atomic<bool> go{false};
        auto clock = [&](uint32_t time) {
            while (!go.load())
                std::this_thread::yield();
            if (engine.Trigger(g_buffers, 8, 1, time)) ++accepted;
        };
        std::thread timer(clock, 1), waveIn(clock, 2);
        go = true;
        timer.join();
        waveIn.join();
        EXPECT_EQ(accepted.load(), 1);
        processor.Hold(false);
        WaitUntilIdle(engine);
    }
    EXPECT_EQ(processor.BlockCount(), 50u);
}

TEST(EngineThread, StopJoinsTheWorkerFromOutsideOrInsideAndStartMakesANewOne) {
    BlockCapture processor;
    CEngineThread engine(processor);
    ASSERT_TRUE(engine.Trigger(g_buffers, 8, 1, 1));
    ASSERT_TRUE(processor.WaitForBlocks(1));
    engine.Stop();
    EXPECT_FALSE(engine.IsRunning());
    EXPECT_FALSE(engine.IsBusy());
    EXPECT_FALSE(engine.Trigger(g_buffers, 8, 1, 2)); // no worker: refused, busy not left set
    engine.Stop();                                    // a second stop is harmless

    ASSERT_TRUE(engine.Start());
    ASSERT_TRUE(engine.Trigger(g_buffers, 8, 1, 3));
    ASSERT_TRUE(processor.WaitForBlocks(2));
    WaitUntilIdle(engine);
    // A stop from inside a block ends the worker without a deadlock.
    processor.onBlock = [&] { engine.Stop(); };
    ASSERT_TRUE(engine.Trigger(g_buffers, 8, 1, 4));
    ASSERT_TRUE(processor.WaitForBlocks(3));
    WaitUntilIdle(engine);
    EXPECT_FALSE(engine.IsRunning());
    EXPECT_FALSE(engine.Trigger(g_buffers, 8, 1, 5));
    const auto blocks = processor.Blocks();
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(std::tuple(blocks[0].time, blocks[1].time, blocks[2].time), std::tuple(1u, 3u, 4u));
}

} // namespace
} // namespace zorvil
