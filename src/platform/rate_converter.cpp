#include "platform/rate_converter.h"

#include <zita-resampler/resampler.h>
#include <zita-resampler/vresampler.h>

#include <algorithm>
#include <numeric>
#include <variant>

namespace zorvil::platform {

namespace {

constexpr uint32_t kLowestRate = 8000;
constexpr uint32_t kHighestRate = 384000;

} // namespace

// The library's filter: exact phases where the ratio in lowest terms has at most 1000 of them
// (44100 against 48000, 96000, 192000, 32000, 88200 Hz ...), an interpolating filter for any
// other ratio. Both take interleaved stereo, read their input only as far as the next output
// needs, allocate only when set up and lock only when set up or destroyed (their shared tables).
struct RateConverter::Filter {
    std::variant<Resampler, VResampler> engine;

    bool Setup(uint32_t fromRate, uint32_t toRate) {
        if (engine.emplace<Resampler>().setup(fromRate, toRate, 2, kHalfLength, kCutoff) == 0)
            return true;
        const double ratio = static_cast<double>(toRate) / static_cast<double>(fromRate);
        return engine.emplace<VResampler>().setup(ratio, 2, kHalfLength, kCutoff) == 0;
    }

    // Starts the filter over with as many zeros in it as put the centre of its first output
    // on the first input frame: the output is then the input's time, delayed by nothing but
    // the frames the filter must see ahead. Returns the input frames the first output needs.
    unsigned Prime() noexcept {
        return std::visit(
            [](auto& r) {
                r.reset();
                const auto size = static_cast<unsigned>(r.inpsize());
                r.inp_count = size / 2 - 1;
                r.inp_data = nullptr; // zeros
                r.out_count = 1;
                r.out_data = nullptr;
                r.process();
                return size - (size / 2 - 1);
            },
            engine);
    }

    // Converts from `in` (`inFrames`) into `out` (room for `outFrames`); returns the frames
    // used and made.
    std::pair<size_t, size_t> Process(float* in, size_t inFrames, float* out,
                                      size_t outFrames) noexcept {
        return std::visit(
            [&](auto& r) {
                r.inp_count = static_cast<unsigned>(inFrames);
                r.inp_data = in;
                r.out_count = static_cast<unsigned>(outFrames);
                r.out_data = out;
                if (r.process() != 0) return std::pair<size_t, size_t>{0, 0};
                return std::pair<size_t, size_t>{inFrames - r.inp_count, outFrames - r.out_count};
            },
            engine);
    }
};

std::unique_ptr<RateConverter> RateConverter::Create(uint32_t fromRate, uint32_t toRate) {
    if (fromRate < kLowestRate || fromRate > kHighestRate || toRate < kLowestRate ||
        toRate > kHighestRate)
        return nullptr;
    auto filter = std::make_unique<Filter>();
    if (!filter->Setup(fromRate, toRate)) return nullptr;
    std::unique_ptr<RateConverter> converter(
        new RateConverter(fromRate, toRate, std::move(filter)));
    converter->Reset();
    return converter;
}

RateConverter::RateConverter(uint32_t fromRate, uint32_t toRate,
                             std::unique_ptr<Filter> filter) noexcept
    : m_fromRate(fromRate), m_toRate(toRate), m_inStep(fromRate / std::gcd(fromRate, toRate)),
      m_outStep(toRate / std::gcd(fromRate, toRate)), m_filter(std::move(filter)) {}

RateConverter::~RateConverter() = default;

void RateConverter::Reset() noexcept {
    m_firstInput = m_filter->Prime();
    m_inputs = 0;
    m_outputs = 0;
    m_stuck = false;
    m_inOffset = 0;
    m_inFrames = 0;
}

size_t RateConverter::InputFor(size_t outputs) const noexcept {
    // Each output moves the filter on by from / to input frames; the last of them needs input
    // up to that position plus what the first output needed. Split so that the product cannot
    // overflow however long the device runs.
    const uint64_t last = m_outputs + (outputs > 0 ? outputs - 1 : 0);
    const uint64_t needed =
        m_firstInput + last / m_outStep * m_inStep + last % m_outStep * m_inStep / m_outStep;
    // The interpolating filter may need a frame more than the exact count says: it asks again.
    return std::clamp<uint64_t>(needed > m_inputs ? needed - m_inputs : 1, 1, kInputChunk);
}

void RateConverter::TakeInput(const float* left, const float* right, size_t frames) noexcept {
    for (size_t f = 0; f < frames; ++f) {
        m_in[2 * f] = left[f];
        m_in[2 * f + 1] = right[f];
    }
    m_inOffset = 0;
    m_inFrames = frames;
}

size_t RateConverter::Step(size_t capacity) noexcept {
    capacity = std::min(capacity, kOutputChunk);
    const auto [used, made] =
        m_filter->Process(m_in.data() + 2 * m_inOffset, m_inFrames, m_out.data(), capacity);
    if (used == 0 && made == 0) {
        // Cannot happen with a filter that was set up; should it, drop the input rather than
        // spin, and let the callers fill with silence.
        m_stuck = true;
        m_inFrames = 0;
        return 0;
    }
    m_inOffset += used;
    m_inFrames -= used;
    m_inputs += used;
    m_outputs += made;
    for (size_t f = 0; f < made; ++f) {
        m_outLeft[f] = m_out[2 * f];
        m_outRight[f] = m_out[2 * f + 1];
    }
    return made;
}

} // namespace zorvil::platform
