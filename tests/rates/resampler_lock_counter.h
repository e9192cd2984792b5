// Mutexes locked by the converter's library (zita-resampler) on threads marked with
// MarkThisThread while a CountAllocations object lives; counted where the test runs without
// sanitizers, whose own lock hooks stand in the way (there it stays 0):
//     const size_t before = test::ResamplerLocks();  ...;  EXPECT_EQ(test::ResamplerLocks(),
//     before);
#pragma once

#include <cstddef>

namespace zorvil::test {

std::size_t ResamplerLocks() noexcept;

} // namespace zorvil::test
