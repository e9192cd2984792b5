// Counts the heap allocations made on the calling thread while a CountAllocations object lives
// (the test binary replaces the global operator new to do so).
#pragma once

#include <cstddef>

namespace zorvil::test {

class CountAllocations {
public:
    CountAllocations();
    ~CountAllocations();
    CountAllocations(const CountAllocations&) = delete;
    CountAllocations& operator=(const CountAllocations&) = delete;

    std::size_t Count() const;
};

} // namespace zorvil::test
