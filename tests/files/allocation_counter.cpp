// The allocation hooks of test_host, linked into this binary too.
#include "../host/allocation_counter.cpp"
