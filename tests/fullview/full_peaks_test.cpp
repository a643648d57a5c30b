// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrum between bins: tones between bins read where they are, at several FFT sizes and
// both windows; which peak a search finds; levels between bins.
#include "fullview/full_peaks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "fullview/full_analysis.h"
#include "tests/fullview/full_view_test_support.h"

namespace {

void UseWindow(FullWindowKind window, int fftSize) {
    FullAnalysisConfig config = DefaultFullAnalysisConfig();
    config.window = window;
    config.fftSize = fftSize;
    ASSERT_TRUE(ConfigureFullAnalysis(config));
}

void FeedTone(double hz, double amplitude, int samples) {
    std::vector<int16_t> tone(size_t(samples), 0);
    for (size_t i = 0; i < tone.size(); i++)
        tone[i] =
            int16_t(std::lround(amplitude * 32767.0 * std::sin(2.0 * M_PI * hz * i / 48000.0)));
    FeedFullAnalysis(tone.data(), samples);
}

bool PeakOfAll(FullPeak* peak) {
    return FindFullPeak(FullSpectrum.levelDb, FullSpectrum.binCount, 0.0f,
                        float(FullSpectrum.binCount), FullPeakExponent(), kFullFloorDb, peak);
}

TEST(FullPeaks, AToneBetweenBinsReadsWithinTwoThousandthsOfABinWithEitherWindow) {
    for (FullWindowKind window : {FullWindowKind::Hann, FullWindowKind::BlackmanHarris}) {
        for (int size : {1024, 8192, 32768}) {
            double worst = 0.0;
            for (double offset = 0.0; offset < 1.0; offset += 0.1) {
                UseWindow(window, size);
                const double bin = 37.0 * size / 1024.0 + offset;  // about 1.7 kHz
                FeedTone(bin * 48000.0 / size, 0.5, size + 2048);
                FullPeak peak{};
                ASSERT_TRUE(PeakOfAll(&peak));
                worst = std::max(worst, std::fabs(peak.bin - bin));
                EXPECT_NEAR(peak.levelDb, -6.02f, 0.02f) << size << " " << offset;
            }
            // Within 0.05 bin is the aim; the estimator does far better (0.0006 at worst), and
            // a slip in it shows here.
            EXPECT_LT(worst, 0.002) << int(window) << " at " << size;
        }
    }
}

TEST(FullPeaks, TheSearchFindsTheHighestPeakInItsBinsOrNone) {
    UseWindow(FullWindowKind::Hann, 8192);
    const float binHz = 48000.0f / 8192.0f;
    std::vector<int16_t> tones(12000);
    for (size_t i = 0; i < tones.size(); i++)
        tones[i] =
            int16_t(std::lround(32767.0 * (0.1 * std::sin(2.0 * M_PI * 500.0 * i / 48000.0) +
                                           0.5 * std::sin(2.0 * M_PI * 3000.0 * i / 48000.0))));
    FeedFullAnalysis(tones.data(), int(tones.size()));
    const float* db = FullSpectrum.levelDb;
    const int bins = FullSpectrum.binCount;
    const float e = FullPeakExponent();
    FullPeak peak{};
    ASSERT_TRUE(FindFullPeak(db, bins, 0.0f, float(bins), e, kFullFloorDb, &peak));
    EXPECT_NEAR(peak.bin * binHz, 3000.0f, 0.05f * binHz);
    // Bins around 500 Hz only: the weaker tone, at its own level.
    ASSERT_TRUE(FindFullPeak(db, bins, 400.0f / binHz, 600.0f / binHz, e, kFullFloorDb, &peak));
    EXPECT_NEAR(peak.bin * binHz, 500.0f, 0.05f * binHz);
    EXPECT_NEAR(peak.levelDb, -20.0f, 0.1f);
    // Not above the floor asked for, an empty or upside-down range: no peak.
    EXPECT_FALSE(FindFullPeak(db, bins, 400.0f / binHz, 600.0f / binHz, e, -15.0f, &peak));
    EXPECT_FALSE(FindFullPeak(db, bins, 600.0f / binHz, 400.0f / binHz, e, kFullFloorDb, &peak));
    EXPECT_FALSE(FindFullPeak(db, bins, NAN, 10.0f, e, kFullFloorDb, &peak));
    EXPECT_FALSE(FindFullPeak(db, bins, INFINITY, INFINITY, e, kFullFloorDb, &peak));
    ASSERT_TRUE(FindFullPeak(db, bins, -INFINITY, INFINITY, e, kFullFloorDb, &peak));
    EXPECT_NEAR(peak.bin * binHz, 3000.0f, 0.05f * binHz);
    // Silence has no local maximum; the end bins are never one.
    UseWindow(FullWindowKind::Hann, 1024);
    FeedTone(0.0, 0.0, 4096);
    EXPECT_FALSE(PeakOfAll(&peak));
    const float edges[] = {-3, -10, -20, -10, -2};
    EXPECT_FALSE(FindFullPeak(edges, 5, 0.0f, 5.0f, 0.23f, kFullFloorDb, &peak));
}

TEST(FullPeaks, BetweenBinsThePeakIsDrawnWhereTheToneIs) {
    // The drawn curve's top lies where the search puts the peak, at its level.
    for (FullWindowKind window : {FullWindowKind::Hann, FullWindowKind::BlackmanHarris}) {
        for (double offset = 0.0; offset < 1.0; offset += 0.125) {
            UseWindow(window, 1024);
            FeedTone((100.0 + offset) * 48000.0 / 1024.0, 0.5, 4096);
            float best = -1e9f, bestBin = 0.0f;
            for (float bin = 98.0f; bin < 103.0f; bin += 0.001f) {
                const float level = FullLevelAtBin(FullSpectrum.levelDb, FullSpectrum.binCount, bin,
                                                   FullPeakExponent());
                if (level > best) best = level, bestBin = bin;
            }
            FullPeak peak{};
            ASSERT_TRUE(PeakOfAll(&peak));
            EXPECT_NEAR(bestBin, 100.0 + offset, 0.01) << int(window) << " " << offset;
            EXPECT_NEAR(bestBin, peak.bin, 0.001) << int(window) << " " << offset;
            EXPECT_NEAR(best, peak.levelDb, 1e-4f) << int(window) << " " << offset;
        }
    }
    // Away from a maximum the level runs straight between bins; outside the bins, the ends.
    const float bins[] = {-40, -10, -4, -20, -30};
    EXPECT_FLOAT_EQ(FullLevelAtBin(bins, 5, 2.0f, 0.23f), -4.0f);
    EXPECT_FLOAT_EQ(FullLevelAtBin(bins, 5, 3.5f, 0.23f), -25.0f);
    EXPECT_FLOAT_EQ(FullLevelAtBin(bins, 5, 99.0f, 0.23f), -30.0f);
    EXPECT_FLOAT_EQ(FullLevelAtBin(bins, 5, NAN, 0.23f), -40.0f);
}

}  // namespace
