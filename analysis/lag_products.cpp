// Lag products by the correlation theorem. With a the first windowLength samples and x the
// whole segment, both zero-padded to N >= windowLength + maxLag points, the circular
// correlation sum_j a[j] x[(j + t) mod N] never wraps for t <= maxLag, so it is the wanted
// sum, and it is the inverse transform of conj(A) X.
//
// Both real transforms come from one complex transform of a + i x, and the real inverse
// from one complex transform of half the size (even samples as real parts, odd as
// imaginary). The complex transform is a radix-2 decimation in time over separate real
// and imaginary rows, so that a group's butterflies vectorise; its twiddles are each
// rounded once from double, not carried by a recurrence whose error grows along a stage.
#include "analysis/lag_products.h"

#include <cmath>

namespace {

constexpr int kMinLog2 = 3;  // the half-size inverse runs the fused first two stages
constexpr int kHalfPoints = kLagProductsMaxPoints / 2;

// The transform's rows: the full-size forward one, then the half-size inverse in place.
float rowRe[kLagProductsMaxPoints];
float rowIm[kLagProductsMaxPoints];
// The spectrum product conj(A) X, entries 0 .. N/2, and the half-size inverse's input.
float productRe[kHalfPoints + 1];
float productIm[kHalfPoints + 1];
float inverseRe[kHalfPoints];
float inverseIm[kHalfPoints];

// Stage s, with half = 2^(s-1), uses exp(-i pi j / half), j = 0 .. half-1, at
// [half - 1, 2 half - 1); the last stage's entries are also the rotations exp(-2 pi i k / N)
// that split the real inverse.
float twiddleRe[kLagProductsMaxPoints];
float twiddleIm[kLagProductsMaxPoints];
// reversed[i]: i with its kLagProductsMaxLog2 bits reversed; a smaller size of 2^b points
// reverses with reversed[i] >> (kLagProductsMaxLog2 - b).
int reversed[kLagProductsMaxPoints];
bool tablesReady = false;

void BuildTables() {
    for (int half = 1; half < kLagProductsMaxPoints; half *= 2) {
        for (int j = 0; j < half; ++j) {
            const double angle = -3.141592653589793 * double(j) / double(half);
            twiddleRe[half - 1 + j] = float(std::cos(angle));
            twiddleIm[half - 1 + j] = float(std::sin(angle));
        }
    }
    for (int i = 0; i < kLagProductsMaxPoints; ++i) {
        int r = 0;
        for (int b = 0; b < kLagProductsMaxLog2; ++b)
            r |= ((i >> b) & 1) << (kLagProductsMaxLog2 - 1 - b);
        reversed[i] = r;
    }
    tablesReady = true;
}

// The butterflies of one group: a = z[j], b = z[j + half], j = 0 .. half-1.
void RunGroup(float* __restrict aRe, float* __restrict aIm, float* __restrict bRe,
              float* __restrict bIm, const float* __restrict wRe, const float* __restrict wIm,
              int half) {
    for (int j = 0; j < half; ++j) {
        const float tRe = bRe[j] * wRe[j] - bIm[j] * wIm[j];
        const float tIm = bIm[j] * wRe[j] + bRe[j] * wIm[j];
        bRe[j] = aRe[j] - tRe;
        bIm[j] = aIm[j] - tIm;
        aRe[j] = aRe[j] + tRe;
        aIm[j] = aIm[j] + tIm;
    }
}

// Two stages at once on a group of 4 half points, quarters p0 .. p3 (p[k] = z[k half + j]):
// the stage of `half` pairs p0 with p1 and p2 with p3 (twiddles w), the next pairs the
// results 0 with 2 (twiddles v[j]) and 1 with 3 (v[j + half]). The same arithmetic as the
// two stages one after the other, with each point loaded and stored once.
void RunGroupPair(float* __restrict re0, float* __restrict im0, float* __restrict re1,
                  float* __restrict im1, float* __restrict re2, float* __restrict im2,
                  float* __restrict re3, float* __restrict im3, const float* __restrict wRe,
                  const float* __restrict wIm, const float* __restrict vRe,
                  const float* __restrict vIm, int half) {
    const float* __restrict uRe = vRe + half;  // the twiddles of the pair 1 and 3
    const float* __restrict uIm = vIm + half;
    for (int j = 0; j < half; ++j) {
        const float tRe = re1[j] * wRe[j] - im1[j] * wIm[j];
        const float tIm = im1[j] * wRe[j] + re1[j] * wIm[j];
        const float q0Re = re0[j] + tRe, q0Im = im0[j] + tIm;
        const float q1Re = re0[j] - tRe, q1Im = im0[j] - tIm;
        const float sRe = re3[j] * wRe[j] - im3[j] * wIm[j];
        const float sIm = im3[j] * wRe[j] + re3[j] * wIm[j];
        const float q2Re = re2[j] + sRe, q2Im = im2[j] + sIm;
        const float q3Re = re2[j] - sRe, q3Im = im2[j] - sIm;
        const float xRe = q2Re * vRe[j] - q2Im * vIm[j];
        const float xIm = q2Im * vRe[j] + q2Re * vIm[j];
        const float yRe = q3Re * uRe[j] - q3Im * uIm[j];
        const float yIm = q3Im * uRe[j] + q3Re * uIm[j];
        re0[j] = q0Re + xRe;
        im0[j] = q0Im + xIm;
        re2[j] = q0Re - xRe;
        im2[j] = q0Im - xIm;
        re1[j] = q1Re + yRe;
        im1[j] = q1Im + yIm;
        re3[j] = q1Re - yRe;
        im3[j] = q1Im - yIm;
    }
}

// The forward transform of the 2^log2Size rows in place, their input in bit-reversed order.
void Transform(int log2Size) {
    const int size = 1 << log2Size;
    float* re = rowRe;
    float* im = rowIm;
    // The first two stages, whose twiddles are 1 and -i, fused: groups of four points.
    for (int s = 0; s < size; s += 4) {
        const float aRe = re[s] + re[s + 1], aIm = im[s] + im[s + 1];
        const float bRe = re[s] - re[s + 1], bIm = im[s] - im[s + 1];
        const float cRe = re[s + 2] + re[s + 3], cIm = im[s + 2] + im[s + 3];
        const float dRe = re[s + 2] - re[s + 3], dIm = im[s + 2] - im[s + 3];
        re[s] = aRe + cRe;
        im[s] = aIm + cIm;
        re[s + 2] = aRe - cRe;
        im[s + 2] = aIm - cIm;
        // d times -i is (dIm, -dRe).
        re[s + 1] = bRe + dIm;
        im[s + 1] = bIm - dRe;
        re[s + 3] = bRe - dIm;
        im[s + 3] = bIm + dRe;
    }
    int half = 4;
    for (; 4 * half <= size; half *= 4) {
        for (int start = 0; start < size; start += 4 * half) {
            float* r = re + start;
            float* i = im + start;
            RunGroupPair(r, i, r + half, i + half, r + 2 * half, i + 2 * half, r + 3 * half,
                         i + 3 * half, twiddleRe + half - 1, twiddleIm + half - 1,
                         twiddleRe + 2 * half - 1, twiddleIm + 2 * half - 1, half);
        }
    }
    if (half < size) {
        RunGroup(re, im, re + half, im + half, twiddleRe + half - 1, twiddleIm + half - 1, half);
    }
}

}  // namespace

bool ComputeLagProducts(const float* x, int windowLength, int maxLag, float* products) {
    const int length = windowLength + maxLag;
    if (windowLength < 1 || maxLag < 0 || length > kLagProductsMaxPoints) return false;
    if (!tablesReady) BuildTables();
    int log2Size = kMinLog2;
    while ((1 << log2Size) < length)
        ++log2Size;
    const int size = 1 << log2Size;
    const int half = size / 2;

    // z = a + i x, in bit-reversed order.
    const int shift = kLagProductsMaxLog2 - log2Size;
    int i = 0;
    for (; i < windowLength; ++i) {
        const int to = reversed[i] >> shift;
        rowRe[to] = x[i];
        rowIm[to] = x[i];
    }
    for (; i < length; ++i) {
        const int to = reversed[i] >> shift;
        rowRe[to] = 0.0f;
        rowIm[to] = x[i];
    }
    for (; i < size; ++i) {
        const int to = reversed[i] >> shift;
        rowRe[to] = 0.0f;
        rowIm[to] = 0.0f;
    }
    Transform(log2Size);

    // With Z = DFT(a + i x): 2A[k] = Z[k] + conj Z[N-k] and 2X[k] = -i (Z[k] - conj Z[N-k]).
    // The product holds 4 conj(A) X. Entry 0 pairs with itself; for k = 1 .. N/2, entry N-k
    // is read backwards from the rows' end.
    productRe[0] = (rowRe[0] + rowRe[0]) * (rowIm[0] + rowIm[0]);
    productIm[0] = 0.0f;
    const float* endRe = rowRe + size;
    const float* endIm = rowIm + size;
    for (int k = 1; k <= half; ++k) {
        const float aRe = rowRe[k] + endRe[-k];
        const float aIm = rowIm[k] - endIm[-k];
        const float xRe = rowIm[k] + endIm[-k];
        const float xIm = endRe[-k] - rowRe[k];
        productRe[k] = aRe * xRe + aIm * xIm;
        productIm[k] = aRe * xIm - aIm * xRe;
    }

    // The real inverse through half the points: with P the product, E[k] = P[k] + P[k+N/2]
    // and O[k] = (P[k] - P[k+N/2]) exp(2 pi i k / N) are twice the spectra of the even and
    // odd samples, and P[k+N/2] = conj P[N/2-k]. The inverse of E + i O is found as the
    // conjugate of the forward transform of its conjugate, so the rows take -(E + i O) imag.
    const float* rotationRe = twiddleRe + half - 1;
    const float* rotationIm = twiddleIm + half - 1;
    const float* mirrorRe = productRe + half;
    const float* mirrorIm = productIm + half;
    for (int k = 0; k < half; ++k) {
        const float pRe = productRe[k], pIm = productIm[k];
        const float qRe = mirrorRe[-k], qIm = -mirrorIm[-k];
        const float eRe = pRe + qRe, eIm = pIm + qIm;
        const float dRe = pRe - qRe, dIm = pIm - qIm;
        // exp(2 pi i k / N) is the conjugate of the table's exp(-2 pi i k / N).
        const float cRe = rotationRe[k], cIm = -rotationIm[k];
        const float oRe = dRe * cRe - dIm * cIm;
        const float oIm = dRe * cIm + dIm * cRe;
        inverseRe[k] = eRe - oIm;
        inverseIm[k] = -(eIm + oRe);
    }
    const int halfShift = shift + 1;
    for (int k = 0; k < half; ++k) {
        const int to = reversed[k] >> halfShift;
        rowRe[to] = inverseRe[k];
        rowIm[to] = inverseIm[k];
    }
    Transform(log2Size - 1);

    // Sample 2m is the real part and 2m + 1 the negated imaginary part of entry m, scaled by
    // 4 (the product) x 2 (E and O) x N/2 (the unnormalised inverse): 4N, a power of two.
    const float scale = 1.0f / float(4 * size);
    for (int m = 0; 2 * m <= maxLag; ++m) {
        products[2 * m] = rowRe[m] * scale;
        if (2 * m + 1 <= maxLag) products[2 * m + 1] = -rowIm[m] * scale;
    }
    return true;
}
