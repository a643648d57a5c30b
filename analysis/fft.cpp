// SPDX-License-Identifier: GPL-3.0-or-later
// Radix-2 complex FFT and the two-frame power spectra.
//
// The twiddle factors come from a per-stage rotation recurrence: the drawn spectra depend on
// its rounding, so the recurrence and the butterfly's order of operations stay exactly as
// they are. The recurrence depends on the stage alone, so it is run once per stage, on first
// use, and its float values are kept; the 1-based bit reversal is likewise run once per size
// on an index array, and the transform then reads its input through that permutation.
#include <cmath>
#include <cstring>
#include <utility>

#include "analysis/analysis.h"
#include "analysis/butterflies.h"
#include "raster/vector_loops.h"

float FftRe[kFftMaxSize];
float FftIm[kFftMaxSize];
float PowerSpectrumEarly[kSpectrumSize];
float PowerSpectrumLate[kSpectrumSize];

void ClearPowerSpectra() {
    std::memset(PowerSpectrumEarly, 0, sizeof PowerSpectrumEarly);
    std::memset(PowerSpectrumLate, 0, sizeof PowerSpectrumLate);
}

namespace {

// Working data of one transform, 32 KB, kept as separate real and imaginary rows so that
// the butterflies of a group vectorise.
float scratchRe[kFftMaxSize];
float scratchIm[kFftMaxSize];

// Stage s, with half = 2^(s-1), uses the twiddles w_0 .. w_(half-1) at [half - 1, 2 half - 1).
float twiddleRe[kFftMaxSize];
float twiddleIm[kFftMaxSize];
int twiddleStages = 0;  // stages 1 .. twiddleStages are in the table

// reversedIndex[p]: the input index that bit reversal moves to position p, for size 2^reversedLog2.
int reversedIndex[kFftMaxSize];
int reversedLog2 = 0;

bool IsValidFftLog2(int log2Size) {
    return log2Size >= kFftMinLog2 && log2Size <= kFftMaxLog2;
}

void ExtendTwiddles(int log2Size) {
    for (int stage = twiddleStages + 1; stage <= log2Size; ++stage) {
        const int span = static_cast<int>(std::pow(2.0, stage));
        const int half = span / 2;
        const double theta = 3.141592653589793 / half;
        const float c = static_cast<float>(std::cos(theta));
        const float d = static_cast<float>(std::sin(theta) * -1.0);
        float wRe = 1.0f;
        float wIm = 0.0f;
        for (int j = 0; j < half; ++j) {
            twiddleRe[half - 1 + j] = wRe;
            twiddleIm[half - 1 + j] = wIm;
            const float nextRe = c * wRe - d * wIm;
            wIm = c * wIm + d * wRe;
            wRe = nextRe;
        }
        twiddleStages = stage;
    }
}

// Runs the classic swap loop, with its 1-based counter j, on the indices themselves.
void BuildBitReversal(int log2Size) {
    if (reversedLog2 == log2Size) return;
    const int size = 1 << log2Size;
    for (int i = 0; i < size; ++i)
        reversedIndex[i] = i;
    int j = 1;
    for (int i = 1; i < size; ++i) {
        if (i < j) std::swap(reversedIndex[i - 1], reversedIndex[j - 1]);
        int m = size / 2;
        while (m < j) {
            j -= m;
            m /= 2;
        }
        j += m;
    }
    reversedLog2 = log2Size;
}

// One butterfly on scratch entries a and b with twiddle w.
inline void Butterfly(int a, int b, float wRe, float wIm) {
    const float tRe = scratchRe[b] * wRe - scratchIm[b] * wIm;
    const float tIm = scratchIm[b] * wRe + scratchRe[b] * wIm;
    scratchRe[b] = scratchRe[a] - tRe;
    scratchIm[b] = scratchIm[a] - tIm;
    scratchRe[a] = tRe + scratchRe[a];
    scratchIm[a] = scratchIm[a] + tIm;
}

QUILLO_VECTOR_LOOP void RunButterflies(int size, int log2Size) {
    // The first two stages have groups of one and two butterflies: run straight through.
    for (int start = 0; start < size; start += 2)
        Butterfly(start, start + 1, twiddleRe[0], twiddleIm[0]);
    for (int start = 0; start < size; start += 4) {
        Butterfly(start, start + 2, twiddleRe[1], twiddleIm[1]);
        Butterfly(start + 1, start + 3, twiddleRe[2], twiddleIm[2]);
    }
    for (int stage = 3; stage <= log2Size; ++stage) {
        const int half = 1 << (stage - 1);
        const int span = 2 * half;
        const float* wRe = twiddleRe + half - 1;
        const float* wIm = twiddleIm + half - 1;
        // Within a stage every butterfly reads and writes its own pair alone, so running them
        // group by group instead of twiddle by twiddle gives the same values.
        for (int start = 0; start < size; start += span) {
            RunButterflyGroup(scratchRe + start, scratchIm + start, scratchRe + start + half,
                              scratchIm + start + half, wRe, wIm, half);
        }
    }
}

}  // namespace

void ComplexFft(int log2Size, const float* inRe, const float* inIm, float* outRe, float* outIm) {
    if (!IsValidFftLog2(log2Size)) return;
    const int size = 1 << log2Size;
    ExtendTwiddles(log2Size);
    BuildBitReversal(log2Size);
    for (int i = 0; i < size; ++i) {
        scratchRe[i] = inRe[reversedIndex[i]];
        scratchIm[i] = inIm[reversedIndex[i]];
    }
    RunButterflies(size, log2Size);
    std::memcpy(outRe, scratchRe, sizeof(float) * static_cast<size_t>(size));
    std::memcpy(outIm, scratchIm, sizeof(float) * static_cast<size_t>(size));
}

// A real frame's transform is conjugate-symmetric, so with Z = DFT(re + i*im),
// DFT(re)[k] = (Z[k] + conj(Z[N-k])) / 2 and DFT(im)[k] = (Z[k] - conj(Z[N-k])) / 2i.
QUILLO_VECTOR_LOOP void TransformFramePair(int log2Size, const float* reInput, const float* imInput,
                                           float* rePower, float* imPower) {
    if (!IsValidFftLog2(log2Size)) return;
    ComplexFft(log2Size, reInput, imInput, FftRe, FftIm);
    const int size = 1 << log2Size;
    // n is a power of two, so multiplying by its exact reciprocal rounds as dividing by n.
    const float perN = 1.0f / static_cast<float>(size);
    // Bin 0 pairs with itself (m = 0); every other bin k with N - k.
    {
        const float eRe = (FftRe[0] + FftRe[0]) * 0.5f;
        const float eIm = (FftIm[0] - FftIm[0]) * 0.5f;
        rePower[0] = (eIm * eIm + eRe * eRe) * perN * perN;
        const float lRe = (FftIm[0] + FftIm[0]) * 0.5f;
        const float lIm = (FftRe[0] - FftRe[0]) * 0.5f;
        imPower[0] = (lIm * lIm + lRe * lRe) * perN * perN;
    }
    for (int k = 1; k < size; ++k) {
        const int m = size - k;
        const float eRe = (FftRe[m] + FftRe[k]) * 0.5f;
        const float eIm = (FftIm[k] - FftIm[m]) * 0.5f;
        rePower[k] = (eIm * eIm + eRe * eRe) * perN * perN;
        const float lRe = (FftIm[m] + FftIm[k]) * 0.5f;
        const float lIm = (FftRe[m] - FftRe[k]) * 0.5f;
        imPower[k] = (lIm * lIm + lRe * lRe) * perN * perN;
    }
}
