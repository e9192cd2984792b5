// The engine worker allocates nothing once running: the allocation hooks count on the worker,
// which marks itself in the output step.
#include "../host/allocation_counter.h"
#include "app/zorvil_app.h"
#include "block_capture.h"
#include "midi/midi_message.h"
#include "platform/clock_manual.h"
#include "support/scripted_user_interface.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <thread>

namespace zorvil {
namespace {

// Marks the engine worker as a thread to count on, then hands the block to the capture.
class WorkerMarkingOutput final : public IBlockOutput {
public:
    explicit WorkerMarkingOutput(IBlockOutput& next) : m_next(next) {}
    void OutputBlock(float* const* buffers, int frames) noexcept override {
        test::MarkThisThread();
        m_next.OutputBlock(buffers, frames);
    }

private:
    IBlockOutput& m_next;
};

TEST(WorkerAllocation, SteadyProcessingWithEventsAllocatesNothingOnTheWorker) {
    { // The hooks are in place: an allocation on a marked thread is counted.
        test::CountAllocations count;
        std::thread([] {
            test::MarkThisThread();
            auto value = std::make_unique<int>(1);
            std::string text(100, 'x'); // a heap buffer of the standard library
            EXPECT_EQ(*value + static_cast<int>(text.size()), 101);
        }).join();
        ASSERT_GE(count.Count(), 1u);
    }
    platform::ManualClock clock;
    test::ScriptedUserInterface ui;
    CZorvilApp app(clock, ui);
    ASSERT_GE(app.Host().LoadPlugin(test::PluginPath("zorvil-synth")), 0);
    ASSERT_GE(app.Host().LoadPlugin(test::PluginPath("zorvil-synth")), 0);
    test::BlockCapture capture(882 * 64, 256);
    WorkerMarkingOutput marking(capture);
    app.SetOutputDevice(&marking);
    app.SetStartTime(clock.Now());
    ASSERT_TRUE(app.StartTimer(20));
    test::EngineStepper stepper(clock, app);

    stepper.RunBlocks(capture, 4); // warm up: the worker is marked from here on
    std::size_t allocations = 0;
    {
        test::CountAllocations count;
        for (int block = 0; block < 40; ++block) {
            // Several events per block, on several channels, notes starting and ending.
            const auto key = static_cast<uint8_t>(48 + block % 24);
            app.Host().QueueMidiEvent(CMidiMessage(0x90, key, 100));
            app.Host().QueueMidiEvent(CMidiMessage(0x91, static_cast<uint8_t>(key + 7), 80));
            app.Host().QueueMidiEvent(CMidiMessage(0x80, static_cast<uint8_t>(key - 1), 0));
            app.Host().QueueMidiEvent(CMidiMessage(0xB0, 7, 100));
            stepper.RunBlocks(capture, 1);
        }
        allocations = count.Count();
    }
    app.StartTimer(0);

    EXPECT_EQ(allocations, 0u);
    EXPECT_EQ(capture.BlockCount(), 44u);
    // The notes were heard: the engine did real work while nothing was allocated.
    float peak = 0.0f;
    for (float sample : capture.Left())
        peak = std::max(peak, std::abs(sample));
    EXPECT_GT(peak, 0.01f);
}

} // namespace
} // namespace zorvil
