// The fuzz targets' entry functions: each feeds one input to a file reader and checks what the
// reader promises about it. libFuzzer calls them through libfuzzer_target.cpp (clang build,
// scripts/fuzz); the ordinary test build replays the committed corpora through them
// (corpus_replay_test.cpp). A broken promise aborts, which both report as a failure.
//
//     zorvil::fuzz::FuzzBankReader(data, size);
#pragma once

#include <cstddef>
#include <cstdint>

namespace zorvil::fuzz {

// CFxBank::LoadFromFile on the memory image; a loaded bank is walked, applied to a stand-in
// plug-in that traps on any index it does not have, saved and loaded again unchanged.
int FuzzBankReader(const uint8_t* data, size_t size);
// ParseProject; a read image holds only valid notes and at most four effects, and writing it
// and reading it again gives the same image.
int FuzzProjectReader(const uint8_t* data, size_t size);
// LocateWaveChunks on the bytes; what it finds lies within them.
int FuzzWaveReader(const uint8_t* data, size_t size);

} // namespace zorvil::fuzz
