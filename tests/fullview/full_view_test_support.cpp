// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/fullview/full_view_test_support.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

void FeedTones(int sampleRate, int fftSize, std::initializer_list<float> frequencies,
               float amplitude, double seconds) {
    FullAnalysisConfig config = DefaultFullAnalysisConfig();
    config.sampleRate = sampleRate;
    config.fftSize = fftSize;
    ConfigureFullAnalysis(config);
    std::vector<int16_t> samples(size_t(seconds * sampleRate));
    for (size_t i = 0; i < samples.size(); i++) {
        double sum = 0.0;
        for (float f : frequencies)
            sum += amplitude * std::sin(2.0 * M_PI * f * double(i) / sampleRate);
        samples[i] = int16_t(std::lround(sum * 32767.0));
    }
    // In blocks as the capture delivers them.
    for (size_t at = 0; at < samples.size(); at += 1024) {
        const int count = int(std::min<size_t>(1024, samples.size() - at));
        FeedFullAnalysis(samples.data() + at, count);
    }
}

int HighestPosition(const float* levels, int count) {
    int best = 0;
    for (int i = 1; i < count; i++)
        if (levels[i] > levels[best]) best = i;
    return best;
}
