// The fuzz targets' entry functions: each feeds one input to a file reader and checks what the
// reader promises; a broken promise aborts. libFuzzer calls them through libfuzzer_target.cpp
// (scripts/fuzz); the test build replays the committed corpora through them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zorvil::fuzz {

// A loaded bank is walked, applied to a stand-in plug-in that traps on any index it does not
// have, and saved again to the same bytes.
int FuzzBankReader(const uint8_t* data, size_t size);
// A read project holds only valid notes and at most four effects, and reads back the same.
int FuzzProjectReader(const uint8_t* data, size_t size);
// The data chunk LocateWaveChunks finds lies within the bytes.
int FuzzWaveReader(const uint8_t* data, size_t size);

} // namespace zorvil::fuzz
