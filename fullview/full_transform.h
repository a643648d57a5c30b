// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's frame transform, for its analysis and its long-term average alike: FFTW's
// plan (single precision, planned once per size) and the arrays it was planned on, the
// window, and the scale that makes a bin's |X|^2 a power relative to a full-scale sine (both
// from full_analysis.h's BuildFullWindow). Each user keeps a record of its own. Main thread
// only; inside fullview/ only.
#pragma once

#include <fftw3.h>

constexpr int kFullTransformMaxSize = 32768;  // full_analysis.cpp checks kFullMaxFftSize fits

struct FullTransformRecord {
    alignas(64) float input[kFullTransformMaxSize];
    alignas(64) fftwf_complex output[kFullTransformMaxSize / 2 + 1];
    float window[kFullTransformMaxSize];  // BuildFullWindow's weights, filled by the user
    float powerScale;                     // BuildFullWindow's factor for the window
    fftwf_plan plan;                      // keeps the addresses of input and output
    int plannedSize;                      // 0: no plan
};

// Plans for `n` points unless planned for them already; false, with no plan, when FFTW
// refuses or n is above kFullTransformMaxSize.
bool PlanFullTransform(FullTransformRecord& t, int n);

// The power of bins 0 .. n/2 of the newest n samples of `ring` (`ringSize` a power of two,
// the next sample's slot at writeIndex, older than the first sample reading as they were
// left), windowed, n as set up.
void FullFramePower(FullTransformRecord& t, const float* ring, int ringSize, int writeIndex,
                    float* power);
