#include "support/tone_analysis.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace zorvil::test {

ToneFit FitTone(std::span<const float> samples, double frequency, double sampleRate) {
    // Least squares over a sine and a cosine at the frequency.
    const double w = 2.0 * std::numbers::pi * frequency / sampleRate;
    double ss = 0, cc = 0, sc = 0, xs = 0, xc = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        const double s = std::sin(w * static_cast<double>(i));
        const double c = std::cos(w * static_cast<double>(i));
        ss += s * s;
        cc += c * c;
        sc += s * c;
        xs += samples[i] * s;
        xc += samples[i] * c;
    }
    const double det = ss * cc - sc * sc;
    double a = 0, b = 0;
    if (frequency > 0 && frequency < sampleRate / 2 && det > 1e-9) {
        a = (xs * cc - xc * sc) / det;
        b = (xc * ss - xs * sc) / det;
    }
    double error = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        const double t = w * static_cast<double>(i);
        const double d = samples[i] - (a * std::sin(t) + b * std::cos(t));
        error += d * d;
    }
    return {std::hypot(a, b),
            samples.empty() ? 0.0 : std::sqrt(error / static_cast<double>(samples.size()))};
}

namespace {

// |DTFT| of the (already windowed) samples at one frequency, by a rotating phasor.
double Magnitude(const std::vector<double>& windowed, double frequency, double sampleRate) {
    const double w = 2.0 * std::numbers::pi * frequency / sampleRate;
    const double stepRe = std::cos(w), stepIm = std::sin(w);
    double re = 0, im = 0, rotRe = 1, rotIm = 0;
    for (const double x : windowed) {
        re += x * rotRe;
        im += x * rotIm;
        const double nextRe = rotRe * stepRe - rotIm * stepIm;
        rotIm = rotRe * stepIm + rotIm * stepRe;
        rotRe = nextRe;
    }
    return std::hypot(re, im);
}

} // namespace

double StrongestFrequency(std::span<const float> samples, double sampleRate, double low,
                          double high) {
    std::vector<double> windowed(samples.size());
    const double n = static_cast<double>(samples.size());
    for (size_t i = 0; i < samples.size(); ++i)
        windowed[i] = samples[i] * (0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / n));
    // Coarse steps well inside the window's main lobe, then a golden-section search around the
    // best one down to 0.01 Hz.
    const double step = std::max(0.5, sampleRate / n);
    double best = low, bestMagnitude = -1;
    for (double f = low; f <= high; f += step)
        if (const double m = Magnitude(windowed, f, sampleRate); m > bestMagnitude) {
            bestMagnitude = m;
            best = f;
        }
    const double ratio = (std::sqrt(5.0) - 1.0) / 2.0;
    double a = best - step, b = best + step;
    while (b - a > 0.005) {
        const double c = b - ratio * (b - a), d = a + ratio * (b - a);
        if (Magnitude(windowed, c, sampleRate) > Magnitude(windowed, d, sampleRate))
            b = d;
        else
            a = c;
    }
    return 0.5 * (a + b);
}

} // namespace zorvil::test
