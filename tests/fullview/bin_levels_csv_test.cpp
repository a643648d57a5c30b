// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrum as CSV: the full view's levels read back exactly, with the tone where it is;
// odd levels in plain numbers; and the long-term average: its frames, and power (not dB)
// averaged.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "fullview/bin_levels_csv.h"
#include "fullview/full_analysis.h"
#include "fullview/long_term_average.h"
#include "tests/fullview/full_view_test_support.h"
#include "tests/support/level_rows.h"

namespace {

TEST(SpectrumCsv, TheFullViewsLevelsReadBackExactlyAndAToneTopsAtItsFrequency) {
    FeedTones(48000, 8192, {1000.0f}, 0.5f, 0.5);
    const FullSpectrumRecord& s = FullSpectrum;
    const double binHz = 48000.0 / 8192.0;
    std::vector<SpectrumRow> rows;
    std::string why;
    ASSERT_TRUE(ReadSpectrumRows(SpectrumCsv(s.levelDb, s.binCount, binHz), &rows, &why)) << why;
    ASSERT_EQ(int(rows.size()), s.binCount);
    for (int k = 0; k < s.binCount; k++) {
        ASSERT_EQ(rows[k].hz, k * binHz) << k;
        ASSERT_EQ(float(rows[k].db), s.levelDb[k]) << k;
    }
    const SpectrumRow loudest = LoudestRow(rows);
    EXPECT_NEAR(loudest.hz, 1000.0, binHz);
    EXPECT_NEAR(loudest.db, -6.02, 1.5);  // half of full scale, less the Hann scalloping
}

TEST(SpectrumCsv, OddLevelsArePlainNumbersAndOnesThatAreNoNumberTheFloor) {
    const float levels[] = {1e-7f, -1e-30f, NAN, -INFINITY, 3.5f, -200.0f};
    const std::string text = SpectrumCsv(levels, 6, 0.5);
    EXPECT_EQ(text.find('e', text.find('\n')), std::string::npos) << text;  // no exponent
    std::vector<SpectrumRow> rows;
    std::string why;
    ASSERT_TRUE(ReadSpectrumRows(text, &rows, &why)) << why << "\n" << text;
    const float expected[] = {1e-7f, -1e-30f, kFullFloorDb, kFullFloorDb, 3.5f, -200.0f};
    for (int k = 0; k < 6; k++) {
        EXPECT_EQ(float(rows[k].db), expected[k]) << k;
        EXPECT_EQ(rows[k].hz, 0.5 * k);
    }
}

// `seconds` of a sine of `amplitude` at `hz`, fed in capture-sized blocks.
void FeedAverageTone(int rate, double hz, double amplitude, double seconds) {
    std::vector<int16_t> samples(size_t(seconds * rate));
    for (size_t i = 0; i < samples.size(); i++)
        samples[i] =
            int16_t(std::lround(amplitude * 32767.0 * std::sin(2.0 * M_PI * hz * i / rate)));
    for (size_t at = 0; at < samples.size(); at += 1024)
        FeedAverageSpectrum(samples.data() + at, int(std::min<size_t>(1024, samples.size() - at)));
}

FullAnalysisConfig AverageConfig(int rate) {
    FullAnalysisConfig config = DefaultFullAnalysisConfig();
    config.sampleRate = rate;
    return config;
}

TEST(AverageSpectrum, TheFirstFrameIsTheFirstFullFrameAndTheRestFollowEveryHop) {
    ASSERT_TRUE(ConfigureAverageSpectrum(AverageConfig(22050)));
    const int n = AverageSpectrum.config.fftSize;
    const int hop = AverageSpectrum.hop;
    float levels[kFullMaxBins];
    std::vector<int16_t> samples(size_t(n + 2 * hop), 1000);
    FeedAverageSpectrum(samples.data(), n - 1);
    EXPECT_FALSE(AverageSpectrumLevels(levels));  // a run shorter than a frame has none
    FeedAverageSpectrum(samples.data(), 1);
    EXPECT_EQ(AverageSpectrum.frames, 1);
    FeedAverageSpectrum(samples.data(), 2 * hop - 1);
    EXPECT_EQ(AverageSpectrum.frames, 2);
    FeedAverageSpectrum(samples.data(), 1);
    EXPECT_EQ(AverageSpectrum.frames, 3);
    EXPECT_TRUE(AverageSpectrumLevels(levels));
    EXPECT_EQ(AverageSpectrum.binCount, n / 2 + 1);
    EXPECT_EQ(AverageSpectrum.binHz, 22050.0 / n);
    // A constant is all in bin 0, 6 dB above a sine of its size: the window's whole sum
    // against the half that a sine's centre bin gets.
    EXPECT_NEAR(levels[0], 20.0 * std::log10(1000.0 / 32768.0) + 6.02, 0.1);
    EXPECT_EQ(levels[100], kFullFloorDb);
}

TEST(AverageSpectrum, PowerIsAveragedNotDecibels) {
    const int rate = 48000;
    const double hz = 64 * double(rate) / 8192;  // a bin's centre
    const int bin = 64;
    float loud[kFullMaxBins], quiet[kFullMaxBins], both[kFullMaxBins];
    ASSERT_TRUE(ConfigureAverageSpectrum(AverageConfig(rate)));
    FeedAverageTone(rate, hz, 0.5, 2.0);
    ASSERT_TRUE(AverageSpectrumLevels(loud));
    ASSERT_TRUE(ConfigureAverageSpectrum(AverageConfig(rate)));
    FeedAverageTone(rate, hz, 0.05, 2.0);
    ASSERT_TRUE(AverageSpectrumLevels(quiet));
    ASSERT_TRUE(ConfigureAverageSpectrum(AverageConfig(rate)));
    FeedAverageTone(rate, hz, 0.5, 2.0);
    FeedAverageTone(rate, hz, 0.05, 2.0);
    ASSERT_TRUE(AverageSpectrumLevels(both));
    EXPECT_NEAR(loud[bin], -6.02, 0.05);
    EXPECT_NEAR(quiet[bin], -26.02, 0.05);
    // Equal times at -6 and -26 dB: the mean power is 3 dB under the loud one's (a mean of
    // the dB figures would be -16).
    EXPECT_NEAR(both[bin], -6.02 + 10.0 * std::log10((1.0 + 0.01) / 2.0), 0.2);
}

}  // namespace
