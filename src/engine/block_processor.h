// The two hand-over points of the audio path.
//
// IBlockProcessor is what the engine worker runs once per block: the host runs every loaded
// effect over the block, mixes them, and hands the stereo result to an IBlockOutput, the
// application's output step (wave output device, render file, or a test's capture).
//
//     worker:  processor.ProcessBlock(buffers, frames, 2, time);
//     host:    ... output.OutputBlock(mix, frames);
//
// Both run on the engine worker thread: they must not block, log or allocate.
#pragma once

#include <cstdint>

namespace zorvil {

class IBlockOutput {
public:
    virtual ~IBlockOutput() = default;
    // buffers[0] and buffers[1] hold `frames` float samples each (left, right).
    virtual void OutputBlock(float* const* buffers, int frames) noexcept = 0;
};

class IBlockProcessor {
public:
    virtual ~IBlockProcessor() = default;
    // `channels` buffers of `frames` samples; `time` in ms since the engine started.
    virtual void ProcessBlock(float* const* buffers, int frames, int channels,
                              uint32_t time) noexcept = 0;
};

} // namespace zorvil
