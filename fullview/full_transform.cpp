// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's frame transform: windowed frame, FFT, power.
#include "fullview/full_transform.h"

bool PlanFullTransform(FullTransformRecord& t, int n) {
    if (t.plannedSize == n) return true;
    if (t.plan) fftwf_destroy_plan(t.plan);
    t.plan = n <= kFullTransformMaxSize ? fftwf_plan_dft_r2c_1d(n, t.input, t.output, FFTW_ESTIMATE)
                                        : nullptr;
    t.plannedSize = t.plan ? n : 0;
    return t.plan != nullptr;
}

void FullFramePower(FullTransformRecord& t, const float* ring, int ringSize, int writeIndex,
                    float* power) {
    const int n = t.plannedSize;
    int index = (writeIndex - n) & (ringSize - 1);
    for (int i = 0; i < n; i++) {
        t.input[i] = ring[index] * t.window[i];
        index = (index + 1) & (ringSize - 1);
    }
    fftwf_execute(t.plan);
    for (int k = 0; k <= n / 2; k++) {
        const float re = t.output[k][0];
        const float im = t.output[k][1];
        power[k] = (re * re + im * im) * t.powerScale;
    }
}
