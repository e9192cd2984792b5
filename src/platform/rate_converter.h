// RateConverter: carries stereo audio from one sample rate to another, for the device boundary.
//
// The engine, the files and every rule of the program run at 44100 Hz. A sound device that runs
// at another rate (a JACK or PipeWire server at 48000 Hz, an ALSA card that only takes 48000 Hz)
// gets the engine's output through one converter and hands its input back through another.
//
// The work is done by zita-resampler, a resampler written for real-time audio: a windowed-sinc
// polyphase filter of kHalfLength taps each side at the lower of the two rates, computed once
// when the converter is made (exact phases for every usual rate; an interpolating filter for odd
// ratios). Cut off at kCutoff of the lower rate's Nyquist frequency it is flat to 20 kHz within
// 0.05 dB and keeps images and aliases more than 90 dB down, for a few tenths of a percent of one
// core, and it delays the sound by kHalfLength frames (1.8 ms at 44100 Hz). bench/ measures the
// cost and the latency.
//
// Everything is made when the converter is created (on the thread that opens the device); the
// two ways of feeding it then run on the device's thread without allocating or locking:
//
//     auto up = RateConverter::Create(44100, 48000);            // null: rates not supported
//     // a device that asks for output: exactly `frames` frames, input pulled as needed
//     up->Pull(left, right, frames, [&](float* l, float* r, size_t n) { queue.PullFloat(l, r, n);
//     });
//     auto down = RateConverter::Create(48000, 44100);
//     // a device that hands over input: everything converted, output passed on in runs
//     down->Push(left, right, frames, [&](const float* l, const float* r, size_t n) { ... });
//
// Samples are planar float stereo (left and right arrays). Long-run, Pull consumes and Push
// produces exactly frames * from / to frames; the converter keeps the fraction between calls.
// Pull takes from its source only the frames the filter needs for the frames asked of it, so
// the program's queue is read no further ahead than the filter's half length.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace zorvil::platform {

class RateConverter {
public:
    // The filter: taps on each side of the centre, counted at the lower rate, and the cutoff as a
    // fraction of the lower rate's Nyquist frequency (20.6 kHz at 44100 Hz: the pass band's edge
    // at 20 kHz and the stop band's at 22.05 kHz sit either side of it).
    static constexpr unsigned kHalfLength = 80;
    static constexpr double kCutoff = 0.936;
    // Input frames staged at a time (one period's worth at the usual rates).
    static constexpr size_t kInputChunk = 256;
    // Output frames produced per call into the library.
    static constexpr size_t kOutputChunk = 256;

    // A converter from `fromRate` to `toRate` (each 8000 ... 384000 Hz); null when the rates are
    // out of range or the library cannot make one.
    static std::unique_ptr<RateConverter> Create(uint32_t fromRate, uint32_t toRate);
    ~RateConverter();
    RateConverter(const RateConverter&) = delete;
    RateConverter& operator=(const RateConverter&) = delete;

    uint32_t FromRate() const noexcept { return m_fromRate; }
    uint32_t ToRate() const noexcept { return m_toRate; }

    // Fills exactly `frames` frames at the output rate. `source(left, right, n)` must fill n
    // (at most kInputChunk) frames at the input rate; it is called as often as needed.
    template <typename Source>
    void Pull(float* left, float* right, size_t frames, Source&& source) noexcept;

    // Converts `frames` frames at the input rate; `sink(left, right, n)` receives what comes
    // out, in order, in runs of at most kOutputChunk frames.
    template <typename Sink>
    void Push(const float* left, const float* right, size_t frames, Sink&& sink) noexcept;

    // Forgets the signal so far (a fresh start after a pause).
    void Reset() noexcept;

private:
    struct Filter;
    RateConverter(uint32_t fromRate, uint32_t toRate, std::unique_ptr<Filter> filter) noexcept;
    // One call into the library with the pending input; produces at most `capacity` frames
    // into m_outLeft/m_outRight and returns how many.
    size_t Step(size_t capacity) noexcept;
    void TakeInput(const float* left, const float* right, size_t frames) noexcept;
    // Input frames the filter still needs before it can make `outputs` more frames (at least 1).
    size_t InputFor(size_t outputs) const noexcept;

    const uint32_t m_fromRate;
    const uint32_t m_toRate;
    // The ratio in lowest terms: m_inStep input frames make m_outStep output frames.
    const uint64_t m_inStep;
    const uint64_t m_outStep;
    std::unique_ptr<Filter> m_filter;
    // Input frames the filter takes before its first output, and the counts since the start.
    uint64_t m_firstInput = 0;
    uint64_t m_inputs = 0;
    uint64_t m_outputs = 0;
    bool m_stuck = false; // the library made no progress: silence from then on
    // Input not yet consumed by the library (interleaved), and its planar staging.
    std::array<float, 2 * kInputChunk> m_in{};
    size_t m_inOffset = 0;
    size_t m_inFrames = 0;
    std::array<float, kInputChunk> m_stageLeft{};
    std::array<float, kInputChunk> m_stageRight{};
    // Output of the last step: interleaved from the library, then planar.
    std::array<float, 2 * kOutputChunk> m_out{};
    std::array<float, kOutputChunk> m_outLeft{};
    std::array<float, kOutputChunk> m_outRight{};
};

template <typename Source>
void RateConverter::Pull(float* left, float* right, size_t frames, Source&& source) noexcept {
    size_t done = 0;
    while (done < frames) {
        if (m_inFrames == 0) {
            const size_t n = InputFor(frames - done);
            source(m_stageLeft.data(), m_stageRight.data(), n);
            TakeInput(m_stageLeft.data(), m_stageRight.data(), n);
        }
        const size_t wanted = frames - done < kOutputChunk ? frames - done : kOutputChunk;
        const size_t made = Step(wanted);
        for (size_t f = 0; f < made; ++f) {
            left[done + f] = m_outLeft[f];
            right[done + f] = m_outRight[f];
        }
        done += made;
        if (m_stuck) {
            for (; done < frames; ++done)
                left[done] = right[done] = 0.0f;
        }
    }
}

template <typename Sink>
void RateConverter::Push(const float* left, const float* right, size_t frames,
                         Sink&& sink) noexcept {
    for (size_t taken = 0; taken < frames;) {
        const size_t n = frames - taken < kInputChunk ? frames - taken : kInputChunk;
        TakeInput(left + taken, right + taken, n);
        taken += n;
        while (m_inFrames > 0 && !m_stuck)
            if (const size_t made = Step(kOutputChunk); made > 0)
                sink(m_outLeft.data(), m_outRight.data(), made);
    }
}

} // namespace zorvil::platform
