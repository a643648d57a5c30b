// SPDX-License-Identifier: GPL-3.0-or-later
// The long-term average spectrum of a run (--spectrum-out): the mean power of every bin over
// every frame, then dB relative to a full-scale sine, at the full view's FFT size, window and
// overlap, at the rate of the blocks it is fed, whichever picture takes them. It has a ring and
// transform of its own, as the full view's analysis runs only while the full view is shown;
// its memory is static and a frame costs one FFT and no logarithm. Main thread only.
//
//   ConfigureAverageSpectrum(config);        // config.sampleRate: the blocks' rate
//   FeedAverageSpectrum(samples, count);     // every block of the run
//   AverageSpectrumLevels(levelDb);          // at the end
#pragma once

#include <cstdint>

#include "fullview/full_analysis.h"

struct AverageSpectrumRecord {
    FullAnalysisConfig config;      // as last configured; sampleRate is the blocks' rate
    int binCount;                   // fftSize / 2 + 1; 0 before a configuration
    double binHz;                   // sampleRate / fftSize
    int hop;                        // samples between frame starts, as the full view's
    long long frames;               // frames summed since the configuration
    double powerSum[kFullMaxBins];  // power per bin summed over those frames
};
extern AverageSpectrumRecord AverageSpectrum;

// Takes the configuration and forgets every sample and frame; false, changing nothing, when
// the full view's analysis would refuse it.
bool ConfigureAverageSpectrum(const FullAnalysisConfig& config);

// Appends samples (16-bit units); the first frame is the first fftSize samples (no frame
// reaches back before the run), then one every hop.
void FeedAverageSpectrum(const int16_t* samples, int count);

// The mean level in dB of every bin (binCount values, kFullFloorDb where there was no power);
// false, writing nothing, while no frame has been summed.
bool AverageSpectrumLevels(float* levelDb);
