#include "platform/rate_converter.h"

#include <samplerate.h>

#include <algorithm>
#include <cmath>

namespace zorvil::platform {

namespace {

constexpr uint32_t kLowestRate = 8000;
constexpr uint32_t kHighestRate = 384000;

} // namespace

std::unique_ptr<RateConverter> RateConverter::Create(uint32_t fromRate, uint32_t toRate) {
    if (fromRate < kLowestRate || fromRate > kHighestRate || toRate < kLowestRate ||
        toRate > kHighestRate)
        return nullptr;
    int error = 0;
    SRC_STATE* state = src_new(SRC_SINC_BEST_QUALITY, 2, &error);
    if (state == nullptr) return nullptr;
    return std::unique_ptr<RateConverter>(new RateConverter(fromRate, toRate, state));
}

RateConverter::RateConverter(uint32_t fromRate, uint32_t toRate, SRC_STATE_tag* state) noexcept
    : m_fromRate(fromRate), m_toRate(toRate),
      m_ratio(static_cast<double>(toRate) / static_cast<double>(fromRate)), m_state(state) {}

RateConverter::~RateConverter() {
    src_delete(m_state);
}

void RateConverter::Reset() noexcept {
    src_reset(m_state);
    m_failed = false;
    m_inOffset = 0;
    m_inFrames = 0;
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
    if (!m_failed) {
        SRC_DATA data{};
        data.data_in = m_in.data() + 2 * m_inOffset;
        data.input_frames = static_cast<long>(m_inFrames);
        data.data_out = m_out.data();
        data.output_frames = static_cast<long>(capacity);
        data.src_ratio = m_ratio;
        data.end_of_input = 0;
        if (src_process(m_state, &data) == 0 &&
            (data.input_frames_used > 0 || data.output_frames_gen > 0)) {
            const auto used = static_cast<size_t>(data.input_frames_used);
            const auto made = static_cast<size_t>(data.output_frames_gen);
            m_inOffset += used;
            m_inFrames -= used;
            for (size_t f = 0; f < made; ++f) {
                m_outLeft[f] = m_out[2 * f];
                m_outRight[f] = m_out[2 * f + 1];
            }
            return made;
        }
        m_failed = true; // no progress: from now on silence, at the right pace
    }
    const auto pace = static_cast<size_t>(std::ceil(static_cast<double>(m_inFrames) * m_ratio));
    const size_t made = std::clamp<size_t>(pace, 1, capacity);
    std::fill_n(m_outLeft.begin(), made, 0.0f);
    std::fill_n(m_outRight.begin(), made, 0.0f);
    m_inFrames = 0;
    return made;
}

} // namespace zorvil::platform
