// Measuring tones in recorded audio: the level of a sine of known frequency, what is left once
// it is taken out, and the frequency of the strongest partial in a range.
//
//     const ToneFit fit = FitTone(samples, 1000.0, 48000.0);   // fit.amplitude, fit.residualRms
//     const double f = StrongestFrequency(samples, 48000.0, 300.0, 700.0);
#pragma once

#include <span>

namespace zorvil::test {

struct ToneFit {
    double amplitude = 0.0;   // of the sine at the given frequency (least squares)
    double residualRms = 0.0; // RMS of everything else
};

ToneFit FitTone(std::span<const float> samples, double frequency, double sampleRate);

// The frequency in [low, high] Hz where the Hann-windowed spectrum peaks, to 0.01 Hz.
double StrongestFrequency(std::span<const float> samples, double sampleRate, double low,
                          double high);

// A full-scale sine's RMS: the reference for levels in dB below full scale.
inline constexpr double kFullScaleSineRms = 0.70710678118654752;

} // namespace zorvil::test
