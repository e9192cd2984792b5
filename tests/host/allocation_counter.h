// Counts heap allocations made on marked threads while a CountAllocations object lives, through
// replaced global allocation functions (test_engine and test_files link the same hooks):
//     test::MarkThisThread();  test::CountAllocations count;  ...;  EXPECT_EQ(count.Count(), 0u);
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
    std::size_t Bytes() const; // asked of operator new
};

} // namespace zorvil::test
