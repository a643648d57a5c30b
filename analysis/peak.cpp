// SPDX-License-Identifier: GPL-3.0-or-later
// Harmonic peak picking: one fundamental estimate per power spectrum.
#include <cmath>

#include "analysis/analysis.h"

HarmonicCandidateTable HarmonicCandidate;

static float SpectrumMean(int count, const float* spectrum) {
    float sum = 0.0f;  // bins 3 .. count; none when count < 3
    for (int i = 3; i <= count; ++i) {
        sum += spectrum[i];
    }
    return sum / static_cast<float>(count);
}

static bool WithinFivePercent(float ratio) {
    return static_cast<double>(ratio) > 0.95 && static_cast<double>(ratio) < 1.05;
}

// Offers a peak at position pos (bins) with 5-bin energy to the series in table order; the
// first series that takes it as its next (or next-but-one) harmonic wins. A series still
// at its first peak may instead re-read that peak as the second harmonic of a fundamental
// half as high, when the new peak sits at 1.5 times it and the spectrum near that lower
// fundamental rises above the mean.
static bool JoinSeries(float pos, float energy, const float* spectrum, float mean, float binHz) {
    for (int k = 0; k < HarmonicCandidate.count; ++k) {
        HarmonicCandidateRow& row = HarmonicCandidate.rows[k];
        const int h = row.nextHarmonic;
        int u = 0;  // harmonic number the peak is taken as; 0 = not taken
        if (h == 2 && pos * binHz > 150.0f) {
            const float r = static_cast<float>(static_cast<double>(row.fundamental) * 1.5 /
                                               static_cast<double>(pos));
            const int lowBin = -static_cast<int>(pos * -0.33333334f);
            if (WithinFivePercent(r) && spectrum[lowBin] > mean) {
                row.harmonicSum = 2.0f;
                u = 3;
                row.fundamental = row.fundamental * 0.5f;
            }
        }
        const float inversePos = 1.0f / pos;
        if (WithinFivePercent(static_cast<float>(h) * inversePos * row.fundamental)) u = h;
        if (WithinFivePercent(static_cast<float>(h + 1) * inversePos * row.fundamental)) {
            u = h + 1;
        }
        if (u == 0) continue;
        row.harmonicSum = static_cast<float>(u) + row.harmonicSum;
        row.positionSum = pos + row.positionSum;
        row.fundamental = row.positionSum / row.harmonicSum;
        row.nextHarmonic = u + 1;
        row.weight = row.weight + energy;
        return true;
    }
    return false;
}

static void StartSeries(float pos, float energy) {
    if (HarmonicCandidate.count >= kHarmonicCandidateLimit) return;
    HarmonicCandidate.rows[HarmonicCandidate.count++] = {pos, 2, 1.0f, pos, energy};
}

// Tests bins firstBin .. count-1 for local maxima (strictly above both neighbours on each
// side, above three times the mean and above 1e-6) and files each into the series table.
static void ScanPeaks(int firstBin, int count, const float* p, float mean, float binHz) {
    const float threshold = mean * 3.0f;
    for (int i = firstBin; i < count; ++i) {
        if (!(p[i] > threshold && static_cast<double>(p[i]) > 1.0e-6 && p[i] > p[i - 2] &&
              p[i] > p[i + 2] && p[i] > p[i - 1] && p[i] > p[i + 1])) {
            continue;
        }
        const float energy = p[i + 1] + p[i - 1] + p[i + 2] + p[i - 2] + p[i];
        const float pos = (2.0f * p[i + 2] - (2.0f * p[i - 2] + p[i - 1]) + p[i + 1]) / energy +
                          static_cast<float>(i);
        // After noise subtraction the bins may be negative: then the energy can vanish or
        // change sign and the centre of gravity can land anywhere. Such a position would
        // index outside the spectrum below, so it is not a peak.
        if (!(energy > 0.0f) || !std::isfinite(pos) || pos < static_cast<float>(firstBin) ||
            pos >= static_cast<float>(count)) {
            continue;
        }
        if (!JoinSeries(pos, energy, p, mean, binHz) && pos * binHz > 50.0f) {
            StartSeries(pos, energy);
        }
    }
}

PeakEstimate FindSpectralPeak(int count, float* spectrum, float binHz) {
    spectrum[0] = 0.0f;
    HarmonicCandidate.count = 0;
    const float mean = SpectrumMean(count, spectrum);
    // The scan starts at 50 Hz. A first bin below 2 (binHz above 25) would read before the
    // array; a zero, negative or NaN bin width gives no bin at all.
    const float firstBin = 50.0f / binHz;
    if (firstBin >= 2.0f && firstBin < static_cast<float>(count)) {
        ScanPeaks(static_cast<int>(firstBin), count, spectrum, mean, binHz);
    }
    PeakEstimate best = {0.0f, 0.0f};
    for (int k = 0; k < HarmonicCandidate.count; ++k) {
        const HarmonicCandidateRow& row = HarmonicCandidate.rows[k];
        if (row.weight > best.weight) best = {row.fundamental * binHz, row.weight};
    }
    return best;
}
