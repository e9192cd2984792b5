// The application's engine timer and output step against the manual clock, with the real host
// and worker behind them.
#include "app/zorvil_app.h"
#include "block_capture.h"
#include "platform/clock_manual.h"
#include "support/scripted_user_interface.h"

#include <gtest/gtest.h>

#include <vector>

namespace zorvil {
namespace {

using platform::ManualClock;
using test::BlockCapture;
using test::EngineStepper;

class EngineTimerTest : public ::testing::Test {
protected:
    explicit EngineTimerTest(uint32_t start = 1000) : m_clock(start) {}

    // Starts the timer the way StartEngine does: the start time is "now".
    bool Start(uint32_t period) {
        app().SetOutputDevice(&m_capture);
        app().SetStartTime(m_clock.Now());
        return app().StartTimer(period);
    }
    CZorvilApp& app() {
        if (!m_app) m_app = std::make_unique<CZorvilApp>(m_clock, m_ui);
        return *m_app;
    }
    // Ticks until the next block has been output; returns the clock's time at that tick
    // relative to the start time.
    uint32_t NextBlockTime() {
        EngineStepper(m_clock, app()).RunBlocks(m_capture, 1);
        return m_clock.Now() - app().StartTime();
    }

    ManualClock m_clock;
    test::ScriptedUserInterface m_ui;
    BlockCapture m_capture{44100 * 4};
    std::unique_ptr<CZorvilApp> m_app;
};

TEST_F(EngineTimerTest, BlocksFollowTheCarryRule) {
    // Ticks every tenth of the period at a resolution of half a tick; the block starts once
    // more than a period gathered: at 22 ms with 2 ms carried, so every 20 ms after that.
    const struct {
        uint32_t period;
        uint32_t tick;
        uint32_t resolution;
        int frames;
        std::vector<uint32_t> times;
    } cases[] = {
        {20, 2, 1, 882, {22, 42, 62, 82}},
        {50, 5, 2, 2205, {55, 105, 155}},
    };
    for (const auto& c : cases) {
        m_app.reset();
        m_capture.Clear();
        ASSERT_TRUE(Start(c.period));
        const auto info = m_clock.Info(app().GetTimerId());
        ASSERT_TRUE(info);
        EXPECT_EQ(info->period, c.tick);
        EXPECT_EQ(info->resolution, c.resolution);
        EXPECT_EQ(m_clock.LastResolution(), c.tick);
        EXPECT_EQ(m_clock.OpenResolutions(), 1);

        std::vector<uint32_t> times;
        for (std::size_t i = 0; i < c.times.size(); ++i)
            times.push_back(NextBlockTime());
        EXPECT_EQ(times, c.times);
        EXPECT_EQ(app().LastBlockTime(), c.times.back()); // the block's stamp: now - start time
        EXPECT_EQ(app().Carry(), c.tick);
        EXPECT_EQ(m_capture.BlockFrames(), std::vector<int>(c.times.size(), c.frames));
        EXPECT_EQ(app().BlocksRefused(), 0u);
        // With no effect loaded the cleared block buffers come out: silence.
        for (float sample : m_capture.Left())
            ASSERT_EQ(sample, 0.0f);
    }
}

TEST_F(EngineTimerTest, OverAnyPeriodTheBlocksKeepPaceWithTheClock) {
    for (const uint32_t period : {7u, 23u, 33u, 100u}) {
        m_app.reset();
        m_capture.Clear();
        ASSERT_TRUE(Start(period)) << period;
        const uint32_t start = m_clock.Now();
        EngineStepper stepper(m_clock, app());
        while (m_clock.Now() - start < 3000)
            stepper.Tick();
        const uint32_t made = app().BlocksTriggered() * period;
        const uint32_t tick = std::max(period / 10, 1u);
        // Never ahead of the clock, and behind by less than a period and a tick.
        EXPECT_LE(made, 3000u) << period;
        EXPECT_GT(made + period + tick, 3000u) << period;
        EXPECT_LT(app().Carry(), tick + 1) << period;
    }
}

TEST_F(EngineTimerTest, ATriggerWhileABlockRunsIsSkippedNotMadeUpFor) {
    ASSERT_TRUE(Start(20));
    EXPECT_EQ(NextBlockTime(), 22u);

    m_capture.Hold(true);
    m_clock.Advance(20); // the block due at 42 is triggered and held in the output step
    m_capture.WaitForBlocks(2);
    m_clock.Advance(20); // the one due at 62 is refused
    EXPECT_EQ(app().BlocksRefused(), 1u);
    EXPECT_EQ(app().BlocksTriggered(), 2u);
    EXPECT_EQ(app().LastBlockTime(), 42u);
    m_capture.Hold(false);
    EngineStepper(m_clock, app()).WaitIdle();

    // The skipped block is lost; the next one comes at the usual time.
    EXPECT_EQ(NextBlockTime(), 82u);
    EXPECT_EQ(m_capture.BlockCount(), 3u);
}

TEST_F(EngineTimerTest, StopEndsTheTimerAndItsResolution) {
    ASSERT_TRUE(Start(20));
    EXPECT_EQ(m_clock.ActiveTimers(), 1);
    // A second start replaces the running timer rather than adding one.
    ASSERT_TRUE(app().StartTimer(50));
    EXPECT_EQ(m_clock.ActiveTimers(), 1);
    EXPECT_EQ(m_clock.OpenResolutions(), 1);
    EXPECT_EQ(app().Period(), 50u);

    EXPECT_TRUE(app().StartTimer(0));
    EXPECT_EQ(m_clock.ActiveTimers(), 0);
    EXPECT_EQ(m_clock.OpenResolutions(), 0);
    EXPECT_EQ(app().GetTimerId(), platform::kNoTimer);
    EXPECT_EQ(app().Period(), 0u);
    m_clock.Advance(1000);
    EXPECT_EQ(m_capture.BlockCount(), 0u);
    EXPECT_TRUE(app().StartTimer(0)); // stopping a stopped timer is harmless
}

TEST_F(EngineTimerTest, PeriodsOutsideTheTimerRangeAreRefused) {
    m_clock.SetCaps({10, 1000000});
    EXPECT_FALSE(Start(9));
    EXPECT_EQ(m_clock.ActiveTimers(), 0);
    EXPECT_EQ(m_clock.OpenResolutions(), 0);
    // A tick is never shorter than the minimum period: 10 ms, resolution 5.
    ASSERT_TRUE(Start(10));
    EXPECT_EQ(m_clock.Info(app().GetTimerId())->period, 10u);
    EXPECT_EQ(m_clock.Info(app().GetTimerId())->resolution, 5u);
    // A block longer than the mix buffers could not be processed.
    EXPECT_FALSE(app().StartTimer(CZorvilApp::kMaxTimerPeriod + 1));
    EXPECT_TRUE(app().StartTimer(CZorvilApp::kMaxTimerPeriod));
}

class EngineTimerAtTheWrapTest : public EngineTimerTest {
protected:
    EngineTimerAtTheWrapTest() : EngineTimerTest(0xFFFFFFFFu - 100) {}
};

TEST_F(EngineTimerAtTheWrapTest, BlocksKeepTheirPaceAndStampsAcrossTheWrap) {
    ASSERT_TRUE(Start(20));
    std::vector<uint32_t> times;
    for (int i = 0; i < 8; ++i)
        times.push_back(NextBlockTime());
    // The clock wraps between the fourth and the fifth block; nothing is lost there.
    EXPECT_EQ(times, (std::vector<uint32_t>{22, 42, 62, 82, 102, 122, 142, 162}));
    EXPECT_LT(m_clock.Now(), 100u);
    EXPECT_EQ(app().LastBlockTime(), 162u);
    EXPECT_EQ(app().Carry(), 2u);
}

TEST_F(EngineTimerTest, TheOutputStepMovesMarkerSeenToWriting) {
    app().SetOutputDevice(&m_capture);
    float left[4] = {0.5f, 0.25f, 0, 0};
    float right[4] = {-0.5f, 0, 0, 0};
    float* block[2] = {left, right};
    RenderStateWord& state = app().GetRenderState();
    for (const auto& [before, after] : {std::pair{RenderState::Idle, RenderState::Idle},
                                        std::pair{RenderState::Armed, RenderState::Armed},
                                        std::pair{RenderState::MarkerSent, RenderState::MarkerSent},
                                        std::pair{RenderState::MarkerSeen, RenderState::Writing},
                                        std::pair{RenderState::Writing, RenderState::Writing}}) {
        state = before;
        app().OutputBlock(block, 4);
        EXPECT_EQ(state.load(), after);
    }
    EXPECT_EQ(m_capture.BlockCount(), 5u);
    EXPECT_EQ(m_capture.Right()[0], -0.5f);
    // The host uses the application's render state word.
    EXPECT_EQ(&app().Host().GetRenderState(), &state);
}

} // namespace
} // namespace zorvil
