// Radix-2 complex FFT and the two-frame power spectra.
//
// The twiddle factors come from a per-stage rotation recurrence rather than a table: the
// drawn spectra depend on its rounding, so the recurrence and the butterfly's order of
// operations stay exactly as they are.
#include <cmath>
#include <utility>

#include "analysis/analysis.h"

namespace {
struct Complex {
    float re;
    float im;
};
}  // namespace

float FftRe[kFftMaxSize];
float FftIm[kFftMaxSize];
float PowerSpectrumEarly[kSpectrumSize];
float PowerSpectrumLate[kSpectrumSize];

static Complex FftScratch[kFftMaxSize];  // working data of one transform, 32 KB

static bool IsValidFftLog2(int log2Size) {
    return log2Size >= kFftMinLog2 && log2Size <= kFftMaxLog2;
}

// Moves every element to the bit-reversed position of its index. The counter j is
// 1-based, as the classic formulation of this loop is.
static void BitReverse(Complex* z, int size) {
    int j = 1;
    for (int i = 1; i < size; ++i) {
        if (i < j) std::swap(z[i - 1], z[j - 1]);
        int m = size / 2;
        while (m < j) {
            j -= m;
            m /= 2;
        }
        j += m;
    }
}

static void RunButterflies(Complex* z, int size, int log2Size) {
    for (int stage = 1; stage <= log2Size; ++stage) {
        const int span = static_cast<int>(std::pow(2.0, stage));
        const int half = span / 2;
        const double theta = 3.141592653589793 / half;
        const float c = static_cast<float>(std::cos(theta));
        const float d = static_cast<float>(std::sin(theta) * -1.0);
        float wRe = 1.0f;
        float wIm = 0.0f;
        for (int j = 0; j < half; ++j) {
            for (int i = j; i < size; i += span) {
                Complex& a = z[i];
                Complex& b = z[i + half];
                const float tRe = b.re * wRe - b.im * wIm;
                const float tIm = b.im * wRe + b.re * wIm;
                b.re = a.re - tRe;
                b.im = a.im - tIm;
                a.re = tRe + a.re;
                a.im = a.im + tIm;
            }
            const float nextRe = c * wRe - d * wIm;
            wIm = c * wIm + d * wRe;
            wRe = nextRe;
        }
    }
}

void ComplexFft(int log2Size, const float* inRe, const float* inIm, float* outRe, float* outIm) {
    if (!IsValidFftLog2(log2Size)) return;
    const int size = 1 << log2Size;
    for (int i = 0; i < size; ++i)
        FftScratch[i] = {inRe[i], inIm[i]};
    BitReverse(FftScratch, size);
    RunButterflies(FftScratch, size, log2Size);
    for (int i = 0; i < size; ++i) {
        outRe[i] = FftScratch[i].re;
        outIm[i] = FftScratch[i].im;
    }
}

// A real frame's transform is conjugate-symmetric, so with Z = DFT(re + i*im),
// DFT(re)[k] = (Z[k] + conj(Z[N-k])) / 2 and DFT(im)[k] = (Z[k] - conj(Z[N-k])) / 2i.
void TransformFramePair(int log2Size, const float* reInput, const float* imInput, float* rePower,
                        float* imPower) {
    if (!IsValidFftLog2(log2Size)) return;
    ComplexFft(log2Size, reInput, imInput, FftRe, FftIm);
    const int size = 1 << log2Size;
    const float n = static_cast<float>(size);
    for (int k = 0; k < size; ++k) {
        const int m = (size - k) % size;
        const float eRe = (FftRe[m] + FftRe[k]) * 0.5f;
        const float eIm = (FftIm[k] - FftIm[m]) * 0.5f;
        rePower[k] = (eIm * eIm + eRe * eRe) / n / n;
        const float lRe = (FftIm[m] + FftIm[k]) * 0.5f;
        const float lIm = (FftRe[m] - FftRe[k]) * 0.5f;
        imPower[k] = (lIm * lIm + lRe * lRe) / n / n;
    }
}
