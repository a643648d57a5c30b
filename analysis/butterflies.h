// SPDX-License-Identifier: GPL-3.0-or-later
// The radix-2 butterflies of one transform group, shared by this folder's two transforms
// (the spectra's and the lag products'): a = z[j], b = z[j + half], j = 0 .. half-1, with
// twiddles w. Separate real and imaginary rows, so that the loop vectorises.
#pragma once

inline void RunButterflyGroup(float* __restrict aRe, float* __restrict aIm, float* __restrict bRe,
                              float* __restrict bIm, const float* __restrict wRe,
                              const float* __restrict wIm, int half) {
    for (int j = 0; j < half; ++j) {
        const float tRe = bRe[j] * wRe[j] - bIm[j] * wIm[j];
        const float tIm = bIm[j] * wRe[j] + bRe[j] * wIm[j];
        bRe[j] = aRe[j] - tRe;
        bIm[j] = aIm[j] - tIm;
        aRe[j] = tRe + aRe[j];
        aIm[j] = aIm[j] + tIm;
    }
}
