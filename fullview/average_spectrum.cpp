// SPDX-License-Identifier: GPL-3.0-or-later
// The long-term average spectrum: frames as the full view cuts them, power summed per bin.
#include "fullview/average_spectrum.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>

AverageSpectrumRecord AverageSpectrum = {};

namespace {

// The newest kFullMaxFftSize samples (-1 .. 1); writeIndex is the slot of the next one.
struct AverageRingState {
    float samples[kFullMaxFftSize];
    int writeIndex;
    long long fed;   // samples since the configuration, up to the first frame
    int sinceFrame;  // samples since the last frame started
};
AverageRingState AverageRing;

struct AverageTransformState {
    alignas(64) float input[kFullMaxFftSize];
    alignas(64) fftwf_complex output[kFullMaxBins];
    float window[kFullMaxFftSize];
    float powerScale;
    fftwf_plan plan;
    int plannedSize;
};
AverageTransformState AverageTransform;

void SumFrame() {
    AverageSpectrumRecord& a = AverageSpectrum;
    const int n = a.config.fftSize;
    int index = (AverageRing.writeIndex - n) & (kFullMaxFftSize - 1);
    for (int i = 0; i < n; i++) {
        AverageTransform.input[i] = AverageRing.samples[index] * AverageTransform.window[i];
        index = (index + 1) & (kFullMaxFftSize - 1);
    }
    fftwf_execute(AverageTransform.plan);
    for (int k = 0; k < a.binCount; k++) {
        const float re = AverageTransform.output[k][0];
        const float im = AverageTransform.output[k][1];
        a.powerSum[k] += double((re * re + im * im) * AverageTransform.powerScale);
    }
    a.frames++;
}

}  // namespace

bool ConfigureAverageSpectrum(const FullAnalysisConfig& config) {
    if (!ValidFullAnalysisConfig(config)) return false;
    AverageTransformState& t = AverageTransform;
    if (t.plannedSize != config.fftSize) {
        if (t.plan) fftwf_destroy_plan(t.plan);
        t.plan = fftwf_plan_dft_r2c_1d(config.fftSize, t.input, t.output, FFTW_ESTIMATE);
        t.plannedSize = t.plan ? config.fftSize : 0;
        if (!t.plan) {
            AverageSpectrum.binCount = 0;
            return false;
        }
    }
    t.powerScale = BuildFullWindow(config.fftSize, config.window, t.window);
    AverageSpectrumRecord& a = AverageSpectrum;
    a.config = config;
    a.binCount = config.fftSize / 2 + 1;
    a.binHz = double(config.sampleRate) / double(config.fftSize);
    a.hop = FullHop(config);
    a.frames = 0;
    std::fill_n(a.powerSum, kFullMaxBins, 0.0);
    AverageRing.writeIndex = 0;
    AverageRing.fed = 0;
    AverageRing.sinceFrame = 0;
    return true;
}

void FeedAverageSpectrum(const int16_t* samples, int count) {
    AverageSpectrumRecord& a = AverageSpectrum;
    if (a.binCount == 0) return;
    AverageRingState& r = AverageRing;
    for (int i = 0; i < count; i++) {
        r.samples[r.writeIndex] = float(samples[i]) * (1.0f / 32768.0f);
        r.writeIndex = (r.writeIndex + 1) & (kFullMaxFftSize - 1);
        if (r.fed < a.config.fftSize) {
            if (++r.fed < a.config.fftSize) continue;
        } else if (++r.sinceFrame < a.hop) {
            continue;
        }
        r.sinceFrame = 0;
        SumFrame();
    }
}

bool AverageSpectrumLevels(float* levelDb) {
    const AverageSpectrumRecord& a = AverageSpectrum;
    if (a.binCount == 0 || a.frames == 0) return false;
    const double floorPower = std::pow(10.0, double(kFullFloorDb) / 10.0);
    for (int k = 0; k < a.binCount; k++) {
        const double mean = a.powerSum[k] / double(a.frames);
        levelDb[k] = mean > floorPower ? float(10.0 * std::log10(mean)) : kFullFloorDb;
    }
    return true;
}
