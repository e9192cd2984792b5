// The engine worker allocates nothing once running. This test binary replaces the global
// allocation functions with counting ones that count only on the engine worker while a test
// asks for it: the worker marks itself in the output step, which runs on it.
//
// operator new is replaced in every build; malloc, calloc and realloc only where no sanitizer
// provides its own (under ASan and TSan their runtime owns them).
#include "app/zorvil_app.h"
#include "block_capture.h"
#include "midi/midi_message.h"
#include "platform/clock_manual.h"
#include "support/scripted_user_interface.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <thread>

namespace {

thread_local bool t_onWorker = false;
std::atomic<bool> g_counting{false};
std::atomic<long> g_workerAllocations{0};

void Note() noexcept {
    if (t_onWorker && g_counting.load(std::memory_order_relaxed))
        g_workerAllocations.fetch_add(1, std::memory_order_relaxed);
}

void* Allocate(std::size_t size) {
    Note();
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}

void* AllocateAligned(std::size_t size, std::align_val_t align) {
    Note();
    const auto alignment = static_cast<std::size_t>(align);
    const std::size_t rounded = (size + alignment - 1) / alignment * alignment;
    if (void* p = std::aligned_alloc(alignment, rounded == 0 ? alignment : rounded)) return p;
    throw std::bad_alloc();
}

} // namespace

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new(std::size_t size, std::align_val_t align) {
    return AllocateAligned(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align) {
    return AllocateAligned(size, align);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);

void* malloc(std::size_t size) {
    Note();
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    Note();
    return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) {
    Note();
    return __libc_realloc(p, size);
}
}
#endif

namespace zorvil {
namespace {

// Marks the engine worker as the thread to count on, then hands the block to the capture.
class WorkerMarkingOutput final : public IBlockOutput {
public:
    explicit WorkerMarkingOutput(IBlockOutput& next) : m_next(next) {}
    void OutputBlock(float* const* buffers, int frames) noexcept override {
        t_onWorker = true;
        m_next.OutputBlock(buffers, frames);
    }

private:
    IBlockOutput& m_next;
};

// The hooks are in place: an allocation on a marked thread is counted, one elsewhere is not.
TEST(WorkerAllocation, TheCounterSeesAllocationsOnTheMarkedThreadOnly) {
    g_workerAllocations = 0;
    g_counting = true;
    std::thread marked([] {
        t_onWorker = true;
        auto value = std::make_unique<int>(1);
        std::string text(100, 'x'); // a heap buffer of the standard library
        EXPECT_EQ(*value + static_cast<int>(text.size()), 101);
        t_onWorker = false;
    });
    marked.join();
    const long counted = g_workerAllocations.load();
    auto unmarked = std::make_unique<int>(2);
    EXPECT_EQ(*unmarked, 2);
    g_counting = false;
    EXPECT_GE(counted, 2);
    EXPECT_EQ(g_workerAllocations.load(), counted);
    g_workerAllocations = 0;
}

TEST(WorkerAllocation, SteadyProcessingWithEventsAllocatesNothingOnTheWorker) {
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
    g_workerAllocations = 0;
    g_counting = true;
    for (int block = 0; block < 40; ++block) {
        // Several events per block, on several channels, notes starting and ending.
        const auto key = static_cast<uint8_t>(48 + block % 24);
        app.Host().QueueMidiEvent(CMidiMessage(0x90, key, 100));
        app.Host().QueueMidiEvent(CMidiMessage(0x91, static_cast<uint8_t>(key + 7), 80));
        app.Host().QueueMidiEvent(CMidiMessage(0x80, static_cast<uint8_t>(key - 1), 0));
        app.Host().QueueMidiEvent(CMidiMessage(0xB0, 7, 100));
        stepper.RunBlocks(capture, 1);
    }
    g_counting = false;
    app.StartTimer(0);

    EXPECT_EQ(g_workerAllocations.load(), 0);
    EXPECT_EQ(capture.BlockCount(), 44u);
    // The notes were heard: the engine did real work while nothing was allocated.
    float peak = 0.0f;
    for (float sample : capture.Left())
        peak = std::max(peak, std::abs(sample));
    EXPECT_GT(peak, 0.01f);
}

} // namespace
} // namespace zorvil
