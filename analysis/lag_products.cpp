// SPDX-License-Identifier: GPL-3.0-or-later
// Lag products by the correlation theorem, over blocks of B = maxLag samples: with the
// window two blocks long and the segment three, x0, x1, x2,
//   r(t) = sum_j x0[j] y0[j + t] + sum_j x1[j] y1[j + t],  y0 = x0 then x1,  y1 = x1 then x2,
// each a correlation of a block with the two-block run that starts with it. Zero-padded to
// N = 2B points the circular correlations never wrap for t <= B, and with C_b the transform
// of block b alone, the transform of y_b is C_b + (-1)^k C_(b+1) (the second block sits B
// points on). So r is the inverse transform of
//   R = |C0|^2 + |C1|^2 + (-1)^k (conj C0 C1 + conj C1 C2).
// C0 and C1 come from one complex transform of x0 + i x1, C2 from one of half the size
// (even samples as real parts, odd as imaginary), and the real inverse likewise from one
// of half the size: N + N/2 + N/2 points in all, where one transform of the whole segment
// would take 2N and its inverse N.
//
// The complex transform is a radix-2 decimation in time over separate real and imaginary
// rows, so that a group's butterflies vectorise; its twiddles are each rounded once from
// double, not carried by a recurrence whose error grows along a stage.
#include "analysis/lag_products.h"

#include <cmath>

#include "analysis/butterflies.h"
#include "raster/vector_loops.h"

namespace {

constexpr int kMaxPoints = 2 * kLagProductsMaxLag;  // N
constexpr int kMaxLog2 = 10;
static_assert(1 << kMaxLog2 == kMaxPoints);

// The N-point rows of x0 + i x1, and the N/2-point rows of the third block, then of the
// inverse.
float rowRe[kMaxPoints];
float rowIm[kMaxPoints];
float halfRe[kLagProductsMaxLag];
float halfIm[kLagProductsMaxLag];
// 4R, entries 0 .. N/2, and the half-size inverse's input.
float productRe[kLagProductsMaxLag + 1];
float productIm[kLagProductsMaxLag + 1];
float inverseRe[kLagProductsMaxLag];
float inverseIm[kLagProductsMaxLag];

// Stage s, with half = 2^(s-1), uses exp(-i pi j / half), j = 0 .. half-1, at
// [half - 1, 2 half - 1); the entries of half = N/2 are also the rotations exp(-2 pi i k / N)
// that join the halves of a real transform.
float twiddleRe[kMaxPoints];
float twiddleIm[kMaxPoints];
// reversed[i]: i with its kMaxLog2 bits reversed; a smaller size of 2^b points reverses
// with reversed[i] >> (kMaxLog2 - b).
int reversed[kMaxPoints];
bool tablesReady = false;

void BuildTables() {
    for (int half = 1; half < kMaxPoints; half *= 2) {
        for (int j = 0; j < half; ++j) {
            const double angle = -3.141592653589793 * double(j) / double(half);
            twiddleRe[half - 1 + j] = float(std::cos(angle));
            twiddleIm[half - 1 + j] = float(std::sin(angle));
        }
    }
    for (int i = 0; i < kMaxPoints; ++i) {
        int r = 0;
        for (int b = 0; b < kMaxLog2; ++b)
            r |= ((i >> b) & 1) << (kMaxLog2 - 1 - b);
        reversed[i] = r;
    }
    tablesReady = true;
}

// Two stages at once on a group of 4 half points, quarters p0 .. p3 (p[k] = z[k half + j]):
// the stage of `half` pairs p0 with p1 and p2 with p3 (twiddles w), the next pairs the
// results 0 with 2 (twiddles v[j]) and 1 with 3 (v[j + half]). The same arithmetic as the
// two stages one after the other, with each point loaded and stored once.
QUILLO_VECTOR_LOOP void RunGroupPair(float* __restrict re0, float* __restrict im0,
                                     float* __restrict re1, float* __restrict im1,
                                     float* __restrict re2, float* __restrict im2,
                                     float* __restrict re3, float* __restrict im3,
                                     const float* __restrict wRe, const float* __restrict wIm,
                                     const float* __restrict vRe, const float* __restrict vIm,
                                     int half) {
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

// The forward transform of 2^log2Size points in place, their input in bit-reversed order.
QUILLO_VECTOR_LOOP void Transform(float* re, float* im, int log2Size) {
    const int size = 1 << log2Size;
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
        RunButterflyGroup(re, im, re + half, im + half, twiddleRe + half - 1, twiddleIm + half - 1,
                          half);
    }
}

// Entry k of 4R, from Z[k], Z[N-k] (z, zPartner), U[k mod N/2], U[(N/2-k) mod N/2]
// (u, uPartner) and w^k. With Z = DFT(x0 + i x1): 2 C0[k] = Z[k] + conj Z[N-k] and
// 2 C1[k] = -i (Z[k] - conj Z[N-k]); with U = DFT(the third block's pairs):
// 2 C2[k] = E + w^k O, w = exp(-2 pi i / N), E = U[k] + conj U[N/2-k] and
// O = -i (U[k] - conj U[N/2-k]).
inline void ProductEntry(int k, float zRe, float zIm, float zPartnerRe, float zPartnerIm, float uRe,
                         float uIm, float uPartnerRe, float uPartnerIm, float wRe, float wIm) {
    const float c0Re = zRe + zPartnerRe, c0Im = zIm - zPartnerIm;
    const float c1Re = zIm + zPartnerIm, c1Im = zPartnerRe - zRe;
    const float eRe = uRe + uPartnerRe, eIm = uIm - uPartnerIm;
    const float oRe = uIm + uPartnerIm, oIm = uPartnerRe - uRe;
    const float c2Re = eRe + (oRe * wRe - oIm * wIm);
    const float c2Im = eIm + (oRe * wIm + oIm * wRe);
    // conj C0 C1 + conj C1 C2, the cross terms whose sign alternates with k.
    const float sign = k % 2 == 0 ? 1.0f : -1.0f;
    const float crossRe = (c0Re * c1Re + c0Im * c1Im) + (c1Re * c2Re + c1Im * c2Im);
    const float crossIm = (c0Re * c1Im - c0Im * c1Re) + (c1Re * c2Im - c1Im * c2Re);
    const float own = (c0Re * c0Re + c0Im * c0Im) + (c1Re * c1Re + c1Im * c1Im);
    productRe[k] = own + sign * crossRe;
    productIm[k] = sign * crossIm;
}

}  // namespace

QUILLO_VECTOR_LOOP bool ComputeLagProducts(const float* x, int maxLag, float* products) {
    if (maxLag < 4 || maxLag > kLagProductsMaxLag || (maxLag & (maxLag - 1)) != 0) return false;
    if (!tablesReady) BuildTables();
    const int block = maxLag;
    const int size = 2 * block;  // N
    const int half = block;      // N/2
    int log2Size = 0;
    while ((1 << log2Size) < size)
        ++log2Size;

    // x0 + i x1, zero-padded, and the third block's pairs, in bit-reversed order.
    const int shift = kMaxLog2 - log2Size;
    for (int i = 0; i < block; ++i) {
        const int to = reversed[i] >> shift;
        rowRe[to] = x[i];
        rowIm[to] = x[block + i];
        const int padding = reversed[block + i] >> shift;
        rowRe[padding] = 0.0f;
        rowIm[padding] = 0.0f;
    }
    const float* third = x + 2 * block;
    const int halfShift = shift + 1;
    for (int m = 0; m < half / 2; ++m) {
        const int to = reversed[m] >> halfShift;
        halfRe[to] = third[2 * m];
        halfIm[to] = third[2 * m + 1];
        const int padding = reversed[half / 2 + m] >> halfShift;
        halfRe[padding] = 0.0f;
        halfIm[padding] = 0.0f;
    }
    Transform(rowRe, rowIm, log2Size);
    Transform(halfRe, halfIm, log2Size - 1);

    const float* rotationRe = twiddleRe + half - 1;
    const float* rotationIm = twiddleIm + half - 1;
    // Entries 0 and N/2 pair with themselves; w^(N/2) is -1.
    ProductEntry(0, rowRe[0], rowIm[0], rowRe[0], rowIm[0], halfRe[0], halfIm[0], halfRe[0],
                 halfIm[0], 1.0f, 0.0f);
    ProductEntry(half, rowRe[half], rowIm[half], rowRe[half], rowIm[half], halfRe[0], halfIm[0],
                 halfRe[0], halfIm[0], -1.0f, 0.0f);
    const float* endRe = rowRe + size;
    const float* endIm = rowIm + size;
    const float* halfEndRe = halfRe + half;
    const float* halfEndIm = halfIm + half;
    for (int k = 1; k < half; ++k) {
        ProductEntry(k, rowRe[k], rowIm[k], endRe[-k], endIm[-k], halfRe[k], halfIm[k],
                     halfEndRe[-k], halfEndIm[-k], rotationRe[k], rotationIm[k]);
    }

    // The real inverse through half the points: with P the product, E[k] = P[k] + P[k+N/2]
    // and O[k] = (P[k] - P[k+N/2]) exp(2 pi i k / N) are twice the spectra of the even and
    // odd samples, and P[k+N/2] = conj P[N/2-k]. The inverse of E + i O is found as the
    // conjugate of the forward transform of its conjugate, so the rows take -(E + i O) imag.
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
    for (int k = 0; k < half; ++k) {
        const int to = reversed[k] >> halfShift;
        halfRe[to] = inverseRe[k];
        halfIm[to] = inverseIm[k];
    }
    Transform(halfRe, halfIm, log2Size - 1);

    // Sample 2m is the real part and 2m + 1 the negated imaginary part of entry m, scaled by
    // 4 (the product) x 2 (E and O) x N/2 (the unnormalised inverse): 4N, a power of two.
    const float scale = 1.0f / float(4 * size);
    for (int m = 0; 2 * m <= maxLag; ++m) {
        products[2 * m] = halfRe[m] * scale;
        if (2 * m + 1 <= maxLag) products[2 * m + 1] = -halfIm[m] * scale;
    }
    return true;
}
