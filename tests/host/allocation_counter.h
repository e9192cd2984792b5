// Counts heap allocations made on marked threads while a CountAllocations object lives. The test
// binary replaces the global allocation functions to do so (operator new always; malloc, calloc
// and realloc where no sanitizer owns them). test_engine links the same hooks.
//
//     test::MarkThisThread();          // e.g. from the engine worker's output step
//     test::CountAllocations count;
//     ... run blocks ...
//     EXPECT_EQ(count.Count(), 0u);
#pragma once

#include <cstddef>

namespace zorvil::test {

// From now on the calling thread's allocations are counted while counting is on.
void MarkThisThread() noexcept;

class CountAllocations {
public:
    CountAllocations();
    ~CountAllocations();
    CountAllocations(const CountAllocations&) = delete;
    CountAllocations& operator=(const CountAllocations&) = delete;

    std::size_t Count() const;
};

} // namespace zorvil::test
