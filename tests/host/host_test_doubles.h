// Observers the host tests hand to the host; each records what reached it.
#pragma once

#include "engine/block_processor.h"
#include "host/effect_window.h"
#include "midi/midi_output_sink.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace zorvil::test {

class RecordingWindow : public IEffectWindow {
public:
    void OnSizeEditor(int width, int height) override { sizes.emplace_back(width, height); }
    void RefreshDisplay() override { ++refreshes; }
    void OnParameterChanged(int index) override { changedParameters.push_back(index); }

    std::vector<std::pair<int, int>> sizes;
    int refreshes = 0;
    std::vector<int> changedParameters;
};

class RecordingMidiSink : public IMidiOutputSink {
public:
    void SendMidiMessage(const CMidiMessage& message) noexcept override {
        messages.emplace_back(message.Data(), message.Data() + message.Length());
    }
    std::vector<std::vector<uint8_t>> messages;
};

// Keeps a copy of every block handed to the output step.
class CapturingOutput : public IBlockOutput {
public:
    void OutputBlock(float* const* buffers, int frames) noexcept override {
        ++calls;
        lastBuffers = buffers;
        left.assign(buffers[0], buffers[0] + frames);
        right.assign(buffers[1], buffers[1] + frames);
    }
    int calls = 0;
    float* const* lastBuffers = nullptr;
    std::vector<float> left, right;
};

} // namespace zorvil::test
