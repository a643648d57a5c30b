// SPDX-License-Identifier: GPL-3.0-or-later
// Harmonic peak picking on synthetic power spectra.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

#include "analysis/analysis.h"

namespace {

constexpr int kCount = 512;                   // bins scanned for a 1024-point transform
constexpr float kBinHz = 22050.0f / 1024.0f;  // 21.53 Hz
constexpr float kNarrowBinHz = 11025.0f / 1024.0f;

class PeakPicking : public ::testing::Test {
  protected:
    std::array<float, 4096> p{};  // the spectrum under scan

    // A symmetric five-bin peak centred exactly on `bin` with energy 2.25 * scale.
    void AddPeak(int bin, float scale = 1.0f) {
        p[bin - 2] = 0.125f * scale;
        p[bin - 1] = 0.5f * scale;
        p[bin] = scale;
        p[bin + 1] = 0.5f * scale;
        p[bin + 2] = 0.125f * scale;
    }

    PeakEstimate Find(float binHz = kBinHz, int count = kCount) {
        return FindSpectralPeak(count, p.data(), binHz);
    }
};

TEST_F(PeakPicking, HarmonicSeriesFormsOneRowWithItsEnergiesSummed) {
    AddPeak(10, 1.0f);   // 215 Hz
    AddPeak(20, 0.5f);   // 431 Hz, taken as harmonic 2
    AddPeak(30, 0.25f);  // 646 Hz, taken as harmonic 3
    p[0] = 5.0f;
    const PeakEstimate e = Find();
    EXPECT_FLOAT_EQ(e.frequency, 10.0f * kBinHz);
    EXPECT_FLOAT_EQ(e.weight, 2.25f * 1.75f);
    ASSERT_EQ(HarmonicCandidate.count, 1);
    EXPECT_EQ(HarmonicCandidate.rows[0].nextHarmonic, 4);
    EXPECT_EQ(HarmonicCandidate.rows[0].harmonicSum, 6.0f);
    EXPECT_EQ(p[0], 0.0f);  // the caller's DC bin is cleared
}

TEST_F(PeakPicking, SkippedHarmonicIsTakenAsTheNextButOne) {
    AddPeak(10);
    AddPeak(20);
    AddPeak(40);  // expected harmonic 3 is missing: taken as 4
    const PeakEstimate e = Find();
    ASSERT_EQ(HarmonicCandidate.count, 1);
    EXPECT_EQ(HarmonicCandidate.rows[0].nextHarmonic, 5);
    EXPECT_FLOAT_EQ(e.frequency, 10.0f * kBinHz);
    EXPECT_FLOAT_EQ(e.weight, 3 * 2.25f);
}

TEST_F(PeakPicking, PeakFittingTwoHarmonicNumbersTakesTheHigher) {
    for (int bin = 10; bin <= 90; bin += 10)
        AddPeak(bin);  // harmonics 1 to 9
    AddPeak(105);      // within 5 % of both 10 and 11 times the fundamental
    Find();
    ASSERT_EQ(HarmonicCandidate.count, 1);
    EXPECT_EQ(HarmonicCandidate.rows[0].nextHarmonic, 12);
    EXPECT_EQ(HarmonicCandidate.rows[0].harmonicSum, 56.0f);
}

TEST_F(PeakPicking, HarmonicRatioIsFormedInItsOrderAndComparedInDouble) {
    AddPeak(9);
    // Centre of gravity 17 + 0.1875 / 1.3125 = 17.142857: (2 * (1 / pos)) * 9 rounds to the
    // float 1.05f, just inside 1.05 as a double (outside as a float), while 2 * 9 / pos
    // would round above it. Either slip would start a second series.
    p[16] = 0.0625f;
    p[17] = 1.0f;
    p[18] = 0.25f;
    Find();
    ASSERT_EQ(HarmonicCandidate.count, 1);
    EXPECT_EQ(HarmonicCandidate.rows[0].nextHarmonic, 3);
    EXPECT_EQ(HarmonicCandidate.rows[0].harmonicSum, 3.0f);
}

TEST_F(PeakPicking, PeakAtOneAndAHalfTimesASeriesStartHalvesItsFundamental) {
    AddPeak(20);
    AddPeak(30);
    p[9] = p[10] = p[11] = 0.05f;  // support near the lower fundamental, above the mean
    const PeakEstimate e = Find();
    ASSERT_EQ(HarmonicCandidate.count, 1);
    EXPECT_EQ(HarmonicCandidate.rows[0].harmonicSum, 5.0f);  // re-read as harmonics 2 and 3
    EXPECT_FLOAT_EQ(e.frequency, 10.0f * kBinHz);
    EXPECT_FLOAT_EQ(e.weight, 2 * 2.25f);
}

TEST_F(PeakPicking, LowerFundamentalSupportIsReadAtAThirdRoundedInFloat) {
    AddPeak(20);
    // Centre of gravity one float below 30: a third of it is just under 10, but times the
    // float 0.33333334 it rounds to 10.0, so bin 10 (above the mean, below the threshold)
    // is the support read, not bin 9.
    p[29] = 0.5f + 1.0f / 262144.0f;
    p[30] = 1.0f;
    p[31] = 0.5f;
    p[10] = 0.01f;
    const PeakEstimate e = Find();
    ASSERT_EQ(HarmonicCandidate.count, 1);
    EXPECT_EQ(HarmonicCandidate.rows[0].harmonicSum, 5.0f);
    EXPECT_NEAR(e.frequency, 10.0f * kBinHz, 0.001f);
}

TEST_F(PeakPicking, WithoutSupportTheStrongerOrElseTheFirstSeriesWins) {
    AddPeak(20);
    AddPeak(30);  // equal energies: two rows, the first created wins
    PeakEstimate e = Find();
    EXPECT_EQ(HarmonicCandidate.count, 2);
    EXPECT_FLOAT_EQ(e.frequency, 20.0f * kBinHz);

    AddPeak(30, 1.5f);
    e = Find();
    EXPECT_EQ(HarmonicCandidate.count, 2);
    EXPECT_FLOAT_EQ(e.frequency, 30.0f * kBinHz);
    EXPECT_FLOAT_EQ(e.weight, 1.5f * 2.25f);

    // Below 150 Hz the halving is never tried, support or not.
    p = {};
    AddPeak(8);
    AddPeak(12);  // 129 Hz at the narrow bin width
    p[3] = p[4] = p[5] = 0.05f;
    Find(kNarrowBinHz);
    EXPECT_EQ(HarmonicCandidate.count, 2);
}

TEST_F(PeakPicking, ScanStartsAtFiftyHertzForBothBinWidths) {
    // A peak whose maximum sits on the first scanned bin, its centre of gravity above
    // 50 Hz: found only if that bin is tested.
    struct Case {
        float binHz;
        int firstBin;
    };
    for (const Case& c : {Case{kBinHz, 2}, Case{kNarrowBinHz, 4}}) {
        SCOPED_TRACE(c.firstBin);
        p = {};
        p[c.firstBin] = 1.0f;
        p[c.firstBin + 1] = 0.875f;
        p[c.firstBin + 2] = 0.75f;
        const PeakEstimate e = Find(c.binHz);
        const float pos = 2.375f / 2.625f + static_cast<float>(c.firstBin);
        EXPECT_FLOAT_EQ(e.frequency, pos * c.binHz);
        EXPECT_FLOAT_EQ(e.weight, 2.625f);
    }
}

TEST_F(PeakPicking, NothingFoundGivesZeroEstimate) {
    const auto expectNothing = [this](float binHz) {
        p[0] = 3.0f;
        const PeakEstimate e = Find(binHz);
        EXPECT_EQ(e.frequency, 0.0f);
        EXPECT_EQ(e.weight, 0.0f);
        EXPECT_EQ(HarmonicCandidate.count, 0);
        EXPECT_EQ(p[0], 0.0f);
    };
    AddPeak(10);
    Find();
    ASSERT_EQ(HarmonicCandidate.count, 1);
    p = {};
    expectNothing(kBinHz);  // silence; nothing left over from the previous call

    AddPeak(50, 1.0e-7f);  // a clear local maximum, but too weak
    expectNothing(kBinHz);

    p.fill(1.0f);
    p[50] = 2.9f;  // below three times the mean
    expectNothing(kBinHz);

    // Bin widths that would start the scan before bin 2, or at no bin at all.
    p = {};
    AddPeak(10);
    for (float binHz : {30.0f, 0.0f, -10.0f, 1.0e-30f, std::numeric_limits<float>::quiet_NaN()}) {
        SCOPED_TRACE(binHz);
        expectNothing(binHz);
    }
}

TEST_F(PeakPicking, NegativeOrVanishingEnergyIsNotAPeak) {
    // Spectra after noise subtraction can go negative around a maximum.
    AddPeak(10);  // the one genuine peak

    // Energy exactly zero: the centre of gravity is 0/0.
    p[98] = 0.0f, p[99] = -0.5f, p[100] = 1.0f, p[101] = -0.5f, p[102] = 0.0f;

    // Energy 2^-20: the centre of gravity lands about a million bins up...
    const float tiny = 1.0f / 1048576.0f;
    p[198] = -0.25f, p[199] = -0.5f, p[200] = 1.0f, p[201] = -0.5f, p[202] = 0.25f + tiny;
    // ...and here one and a half times as far, which would consult the spectrum at a
    // third of that position if the first had started a series.
    p[298] = -0.25f, p[299] = -0.5f, p[300] = 1.0f, p[301] = -1.0f, p[302] = 0.75f + tiny;

    // Negative energy with the centre of gravity right on the bin.
    p[398] = -0.5f, p[399] = -0.75f, p[400] = 1.0f, p[401] = -0.75f, p[402] = -0.5f;

    const PeakEstimate e = Find();
    EXPECT_EQ(HarmonicCandidate.count, 1);
    EXPECT_FLOAT_EQ(e.frequency, 10.0f * kBinHz);
    EXPECT_FLOAT_EQ(e.weight, 2.25f);
}

TEST_F(PeakPicking, AtMostNinetyNineSeriesAreKept) {
    // 100 peaks within one octave, none a harmonic of another; the last, strongest one
    // finds the table full and is dropped.
    for (int j = 0; j < 100; ++j)
        p[400 + 3 * j] = 1.0f;
    p[697] = 2.0f;
    const PeakEstimate e = Find(1.0f, 1000);
    EXPECT_EQ(HarmonicCandidate.count, kHarmonicCandidateLimit);
    EXPECT_FLOAT_EQ(e.frequency, 400.0f);
    EXPECT_FLOAT_EQ(e.weight, 1.0f);
}

}  // namespace
