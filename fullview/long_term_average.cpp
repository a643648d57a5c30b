// SPDX-License-Identifier: GPL-3.0-or-later
// The long-term average spectrum: frames as the full view cuts them, power summed per bin.
#include "fullview/long_term_average.h"

#include <algorithm>
#include <cmath>

#include "fullview/full_transform.h"

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

FullTransformRecord AverageTransform;
float FramePower[kFullMaxBins];

void SumFrame() {
    AverageSpectrumRecord& a = AverageSpectrum;
    FullFramePower(AverageTransform, AverageRing.samples, kFullMaxFftSize, AverageRing.writeIndex,
                   FramePower);
    for (int k = 0; k < a.binCount; k++)
        a.powerSum[k] += double(FramePower[k]);
    a.frames++;
}

}  // namespace

bool ConfigureAverageSpectrum(const FullAnalysisConfig& config) {
    if (!ValidFullAnalysisConfig(config)) return false;
    if (!PlanFullTransform(AverageTransform, config.fftSize)) {
        AverageSpectrum.binCount = 0;
        return false;
    }
    AverageTransform.powerScale =
        BuildFullWindow(config.fftSize, config.window, AverageTransform.window);
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
