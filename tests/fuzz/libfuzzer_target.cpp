// The libFuzzer entry point of one fuzz target. scripts/fuzz compiles this file once per target
// with clang, -fsanitize=fuzzer and ZORVIL_FUZZ_TARGET naming the entry function; the ordinary
// build compiles it to nothing.
#ifdef ZORVIL_FUZZ_TARGET
#include "fuzz_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return zorvil::fuzz::ZORVIL_FUZZ_TARGET(data, size);
}
#endif
