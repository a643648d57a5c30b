// SPDX-License-Identifier: GPL-3.0-or-later
// Gaussian analysis window and frame scaling.
#include <cmath>

#include "analysis/analysis.h"

float AnalysisWindow[kAnalysisWindowSize];

void BuildAnalysisWindow(int frameLength, float windowAlpha) {
    if (frameLength <= 0 || frameLength > kAnalysisWindowSize) return;
    const int centre = frameLength / 2;
    for (int i = 0; i < frameLength; ++i) {
        const float x =
            static_cast<float>(i - centre) / static_cast<float>(frameLength) * windowAlpha * 2.0f;
        // A general power, not x * x: the table's last bits follow pow's rounding.
        const double t = std::pow(static_cast<double>(x), 2.0) * -1.0;
        AnalysisWindow[i] = static_cast<float>(std::exp(t));
    }
}

void ApplyAnalysisWindow(int frameLength, float* frame, float divisor) {
    if (frameLength <= 0 || frameLength > kAnalysisWindowSize) return;
    const float scale = 1.0f / divisor;
    for (int i = 0; i < frameLength; ++i)
        frame[i] = AnalysisWindow[i] * frame[i] * scale;
}
