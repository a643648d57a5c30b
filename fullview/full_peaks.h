// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrum between its bins: the level at a fractional bin, and peaks (local maxima)
// found and placed between bins. Both go through the same parabola, over the magnitudes
// raised to the window's peak exponent (FullPeakExponent), so a peak's reading lies at the
// top of the curve the full view draws: within a thousandth of a bin of a lone tone and a
// hundredth of a dB of its level, with Hann and Blackman-Harris windows alike, where a
// parabola over dB misses by up to 0.016 bins (Hann) and 0.003 bins (Blackman-Harris).
#pragma once

// The level at a fractional bin: straight between two bins in dB, but next to a local maximum
// along the parabola through it and its neighbours, so that a tone's peak is drawn where the
// tone is, not at a bin's centre. Outside the bins, the end bins' levels.
float FullLevelAtBin(const float* binDb, int binCount, float bin, float peakExponent);

struct FullPeak {
    float bin;      // fractional bin of the parabola's top
    float levelDb;  // the level there
};

// The highest local maximum (a bin above its upper neighbour and not below its lower one)
// whose bin lies in lowBin .. highBin, placed between bins; false when there is none, or
// its level is not above floorDb.
bool FindFullPeak(const float* binDb, int binCount, float lowBin, float highBin, float peakExponent,
                  float floorDb, FullPeak* peak);
