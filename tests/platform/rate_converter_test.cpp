// The sample-rate converter between the program's 44100 Hz and a device's rate: its quality
// (flat pass band to 20 kHz, images and aliases of a full-scale tone at least 90 dB down) and the
// output bridge that carries the queue across a rate change.
#include "platform/rate_bridge.h"
#include "platform/rate_converter.h"
#include "support/tone_analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>
#include <vector>

namespace zorvil::test {
namespace {

using platform::RateConverter;

struct Direction {
    uint32_t from, to;
};
// The usual rates, and an odd one that shares no factor with 44100 Hz (the interpolating filter).
const Direction kDirections[] = {{44100, 48000}, {48000, 44100}, {44100, 96000},
                                 {96000, 44100}, {44100, 47999}, {47999, 44100}};

// A sine of `amplitude` at `frequency`, converted: 0.1 s to settle, then 0.15 s kept. The
// program's own rate is the input side of a pull (an output device asks for frames) and the
// output side of a push (an input device hands them over), so each direction is fed as the
// device boundary feeds it.
std::vector<float> ConvertTone(const Direction& d, double frequency, double amplitude) {
    auto converter = RateConverter::Create(d.from, d.to);
    EXPECT_NE(converter, nullptr);
    if (!converter) return {};
    size_t phase = 0;
    const auto sine = [&](float* left, float* right, size_t n) {
        for (size_t i = 0; i < n; ++i, ++phase) {
            left[i] = static_cast<float>(
                amplitude * std::sin(2 * std::numbers::pi * frequency * phase / d.from));
            right[i] = -left[i];
        }
    };
    const size_t settle = d.to / 10, keep = d.to * 15 / 100;
    std::vector<float> left, right;
    if (d.from == 44100) {
        left.resize(settle + keep);
        right.resize(settle + keep);
        for (size_t done = 0; done < left.size(); done += 256) {
            const size_t n = std::min<size_t>(256, left.size() - done);
            converter->Pull(left.data() + done, right.data() + done, n, sine);
        }
    } else {
        std::vector<float> inLeft(512), inRight(512);
        while (left.size() < settle + keep) {
            sine(inLeft.data(), inRight.data(), inLeft.size());
            converter->Push(inLeft.data(), inRight.data(), inLeft.size(),
                            [&](const float* l, const float* r, size_t n) {
                                left.insert(left.end(), l, l + n);
                                right.insert(right.end(), r, r + n);
                            });
        }
        left.resize(settle + keep);
    }
    return {left.begin() + static_cast<std::ptrdiff_t>(settle), left.end()};
}

double Decibels(double ratio) {
    return 20 * std::log10(std::max(ratio, 1e-12));
}

TEST(RateConverterTest, PassBandIsFlatTo20kHzAndAFullScaleToneLeavesNothing90dBUp) {
    for (const Direction& d : kDirections) {
        SCOPED_TRACE(std::to_string(d.from) + " -> " + std::to_string(d.to));
        for (double f : {20.0, 1000.0, 10000.0, 15000.0, 19000.0, 20000.0}) {
            const auto out = ConvertTone(d, f, 0.5);
            EXPECT_NEAR(Decibels(FitTone(out, f, d.to).amplitude / 0.5), 0.0, 0.1) << f << " Hz";
        }
        // Full-scale tones across the input band, up to its Nyquist frequency: whatever is not
        // the tone (images above 22050 Hz, aliases of tones the output cannot carry) stays
        // 90 dB below full scale. The filter's worst case is a tone just either side of
        // 22050 Hz, whose image or alias lands just on the other side.
        std::vector<double> tones;
        for (double f = 997; f < 0.5 * d.from; f += f < 19000 ? 3001 : f < 24000 ? 613 : 5003)
            tones.push_back(f);
        for (double f : {22040.0, 22060.0})
            if (f < 0.5 * d.from) tones.push_back(f);
        for (double f : tones) {
            const auto out = ConvertTone(d, f, 1.0);
            const ToneFit fit = FitTone(out, f, d.to);
            EXPECT_LT(Decibels(fit.residualRms / kFullScaleSineRms), -90.0) << f << " Hz";
        }
    }
}

// A queue of 16-bit buffers holding a 1 kHz sine at 44100 Hz, as the engine writes it.
class QueuedSine {
public:
    explicit QueuedSine(platform::WaveOutQueue& queue, size_t buffers, size_t frames)
        : m_data(buffers * frames * 2), m_headers(buffers) {
        for (size_t i = 0; i < m_data.size() / 2; ++i)
            m_data[2 * i] = m_data[2 * i + 1] = static_cast<int16_t>(
                std::lround(16000 * std::sin(2 * std::numbers::pi * 1000.0 * i / 44100)));
        for (size_t b = 0; b < buffers; ++b) {
            m_headers[b].lpData = reinterpret_cast<char*>(m_data.data() + b * frames * 2);
            m_headers[b].dwBufferLength = static_cast<uint32_t>(frames * 4);
            EXPECT_TRUE(queue.Push(m_headers[b]));
        }
    }

private:
    std::vector<int16_t> m_data;
    std::vector<platform::WAVEHDR> m_headers;
};

TEST(RateBridgeTest, TheOutputFollowsTheDeviceRateAcrossAChangeAndEqualRatesPassUntouched) {
    platform::DeviceEvent event;
    platform::WaveOutQueue queue(event);
    platform::OutputRateBridge bridge(queue);
    QueuedSine sine(queue, 40, 4410); // four seconds

    // At the program's own rate the queue's samples come through as they are.
    ASSERT_TRUE(bridge.SetDeviceRate(44100));
    EXPECT_FALSE(bridge.Converting());
    std::vector<float> left(4410), right(4410);
    bridge.Pull(left.data(), right.data(), left.size());
    EXPECT_FLOAT_EQ(
        left[10], std::lround(16000 * std::sin(2 * std::numbers::pi * 10000 / 44100.0)) / 32768.0f);

    for (const uint32_t rate : {48000u, 96000u, 44100u}) {
        SCOPED_TRACE(rate);
        ASSERT_TRUE(bridge.SetDeviceRate(rate)); // while the device runs: between two periods
        EXPECT_EQ(bridge.DeviceRate(), rate);
        left.assign(rate / 2, 0.0f);
        right.assign(rate / 2, 0.0f);
        for (size_t done = 0; done < left.size(); done += 250)
            bridge.Pull(left.data() + done, right.data() + done, 250);
        // The pitch stays 1 kHz at every rate.
        const std::span<const float> settled(left.data() + rate / 10, left.size() - rate / 10);
        EXPECT_NEAR(StrongestFrequency(settled, rate, 900, 1100), 1000.0, 0.5);
    }
    EXPECT_FALSE(bridge.SetDeviceRate(1000)); // no converter for it: the rate stays
    EXPECT_EQ(bridge.DeviceRate(), 44100u);
}

} // namespace
} // namespace zorvil::test
