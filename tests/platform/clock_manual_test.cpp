#include "platform/clock_manual.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zorvil::platform {
namespace {

TEST(ManualClock, TicksFallOnePeriodApartAcrossThe32BitWrapUntilCancelled) {
    ManualClock clock(0xFFFFFFF0u);
    std::vector<uint32_t> seen;
    const TimerId id = clock.StartPeriodic(10, 1, [&] { seen.push_back(clock.Now()); });
    ASSERT_NE(id, kNoTimer);
    clock.Advance(9);
    EXPECT_TRUE(seen.empty());
    clock.Advance(1);
    clock.Advance(25);
    EXPECT_EQ(seen, (std::vector<uint32_t>{0xFFFFFFFAu, 4u, 14u}));
    EXPECT_EQ(clock.Now(), 19u);
    EXPECT_TRUE(clock.Cancel(id));
    clock.Advance(100);
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_FALSE(clock.Cancel(id));
}

TEST(ManualClock, DueTicksOfSeveralTimersRunInDeadlineOrderThenStartOrder) {
    ManualClock clock;
    std::string order;
    clock.StartPeriodic(30, 1, [&] { order += 'a'; });
    clock.StartPeriodic(20, 1, [&] { order += 'b'; });
    clock.StartPeriodic(60, 1, [&] { order += 'c'; });
    clock.Advance(120);
    // 20 b, 30 a, 40 b, 60 a b c (start order), 80 b, 90 a, 100 b, 120 a b c
    EXPECT_EQ(order, "bababcbababc");
}

} // namespace
} // namespace zorvil::platform
