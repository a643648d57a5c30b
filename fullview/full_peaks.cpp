// SPDX-License-Identifier: GPL-3.0-or-later
// Levels between bins and peaks, through one parabola over warped magnitudes.
#include "fullview/full_peaks.h"

#include <algorithm>
#include <cmath>

namespace {

bool LocalMaximum(const float* binDb, int binCount, int k) {
    return k > 0 && k + 1 < binCount && binDb[k] >= binDb[k - 1] && binDb[k] > binDb[k + 1];
}

// The parabola through bins k - 1, k, k + 1 of a local maximum k, over the magnitudes raised
// to the exponent (10^(exponent * dB / 20)); positive between the neighbours.
struct Parabola {
    double c;  // value at the centre bin
    double slope;
    double curve;  // negative at a local maximum
    double exponent;
};

Parabola Through(const float* binDb, int k, float peakExponent) {
    const double p = peakExponent / 20.0;
    const double l = std::pow(10.0, p * binDb[k - 1]);
    const double c = std::pow(10.0, p * binDb[k]);
    const double r = std::pow(10.0, p * binDb[k + 1]);
    return {c, 0.5 * (r - l), 0.5 * (l - 2.0 * c + r), p};
}

float LevelOn(const Parabola& parabola, double x) {
    const double y = parabola.c + parabola.slope * x + parabola.curve * x * x;
    return float(std::log10(y) / parabola.exponent);
}

}  // namespace

float FullLevelAtBin(const float* binDb, int binCount, float bin, float peakExponent) {
    if (binCount < 1) return 0.0f;
    bin = std::clamp(bin, 0.0f, float(binCount - 1));  // NaN stays NaN: caught below
    if (!(bin >= 0.0f)) return binDb[0];
    const int k = int(bin);
    const float t = bin - float(k);
    if (t == 0.0f || k + 1 >= binCount) return binDb[k];
    if (LocalMaximum(binDb, binCount, k + 1))
        return LevelOn(Through(binDb, k + 1, peakExponent), t - 1.0f);
    if (LocalMaximum(binDb, binCount, k)) return LevelOn(Through(binDb, k, peakExponent), t);
    return binDb[k] + t * (binDb[k + 1] - binDb[k]);
}

bool FindFullPeak(const float* binDb, int binCount, float lowBin, float highBin, float peakExponent,
                  float floorDb, FullPeak* peak) {
    if (!(lowBin <= highBin) || binCount < 3) return false;  // also NaN
    // Limited before they become ints: a range may reach to infinity.
    const int first = int(std::clamp(std::ceil(lowBin), 1.0f, float(binCount)));
    const int last = int(std::clamp(std::floor(highBin), 0.0f, float(binCount - 2)));
    int best = -1;
    for (int k = first; k <= last; k++) {
        if (LocalMaximum(binDb, binCount, k) && (best < 0 || binDb[k] > binDb[best])) best = k;
    }
    if (best < 0 || !(binDb[best] > floorDb)) return false;
    const Parabola parabola = Through(binDb, best, peakExponent);
    // The top: where the slope vanishes, within half a bin of the centre at a local maximum.
    const double x = parabola.curve < 0.0
                         ? std::clamp(-parabola.slope / (2.0 * parabola.curve), -0.5, 0.5)
                         : 0.0;
    peak->bin = float(best) + float(x);
    peak->levelDb = LevelOn(parabola, x);
    return true;
}
