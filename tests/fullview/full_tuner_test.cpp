// SPDX-License-Identifier: GPL-3.0-or-later
// The tuner gauge's reading: the needle's angle, its rest without a pitch, the smoothing of
// jittery readings, and tones fed through the full view's pitch at its capture rates.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "analysis/accurate_pitch.h"
#include "fullview/full_pitch.h"
#include "fullview/full_tuner.h"
#include "views/readout.h"

namespace {

// `cents` away from A4 = 440 Hz.
float Detuned(float cents) {
    return float(440.0 * std::pow(2.0, double(cents) / 1200.0));
}

TEST(TunerGauge, TheNeedleTurnsWithTheCentsAndStopsAtTheScalesEnds) {
    EXPECT_FLOAT_EQ(TunerNeedleDegrees(-25.0f), -22.5f);
    EXPECT_FLOAT_EQ(TunerNeedleDegrees(0.0f), 0.0f);
    EXPECT_FLOAT_EQ(TunerNeedleDegrees(25.0f), 22.5f);
    EXPECT_FLOAT_EQ(TunerNeedleDegrees(50.0f), kTunerSweepDegrees);
    EXPECT_FLOAT_EQ(TunerNeedleDegrees(-80.0f), -kTunerSweepDegrees);
    EXPECT_FLOAT_EQ(TunerNeedleDegrees(kTunerInTuneCents), 4.5f);  // the zone's edges
    EXPECT_FLOAT_EQ(TunerNeedleDegrees(NAN), -kTunerSweepDegrees);
}

TEST(TunerGauge, WithoutAPitchTheNeedleRestsAndNothingIsInTune) {
    ResetFullTuner();
    EXPECT_FALSE(FullTuner.shown);
    EXPECT_FLOAT_EQ(TunerShownDegrees(FullTuner), -kTunerSweepDegrees);
    EXPECT_FALSE(TunerInTune(FullTuner));

    UpdateFullTuner(Detuned(-25.0f), kPitchLocked, 440.0f);
    EXPECT_FALSE(TunerInTune(FullTuner));
    EXPECT_STREQ(FullTuner.noteText, "A4");
    EXPECT_NEAR(TunerShownDegrees(FullTuner), -22.5f, 0.01f);
    ResetFullTuner();
    // A pitch the estimator lost, none at all, or no number: at rest again.
    for (float hz : {440.0f, 0.0f, NAN, -3.0f, INFINITY}) {
        UpdateFullTuner(Detuned(3.0f), kPitchLocked, 440.0f);
        EXPECT_TRUE(TunerInTune(FullTuner));
        UpdateFullTuner(hz, hz == 440.0f ? kPitchLost : kPitchNotLocked, 440.0f);
        EXPECT_FALSE(FullTuner.shown) << hz;
        EXPECT_FLOAT_EQ(TunerShownDegrees(FullTuner), -kTunerSweepDegrees) << hz;
    }
    // A reading not yet locked is shown as it is, but never as in tune.
    UpdateFullTuner(440.0f, kPitchNotLocked, 440.0f);
    EXPECT_TRUE(FullTuner.shown);
    EXPECT_FALSE(TunerInTune(FullTuner));
}

TEST(TunerGauge, LockedReadingsThatJitterMoveTheNeedleLittleAndANewNoteMovesItAtOnce) {
    ResetFullTuner();
    // Readings 3 cents either side of +10.
    for (int i = 0; i < 40; i++) {
        UpdateFullTuner(Detuned(i % 2 == 0 ? 13.0f : 7.0f), kPitchLocked, 440.0f);
        if (i >= 10) {
            EXPECT_NEAR(FullTuner.cents, 10.0f, 1.0f) << i;
        }
    }
    // One reading 30 cents off among steady ones is dropped.
    for (int i = 0; i < 10; i++) {
        UpdateFullTuner(Detuned(i == 3 ? 40.0f : 10.0f), kPitchLocked, 440.0f);
        EXPECT_NEAR(FullTuner.cents, 10.0f, 1.0f) << i;
    }
    // A semitone up, 20 cents flat: the needle starts from the new note's reading.
    UpdateFullTuner(Detuned(80.0f), kPitchLocked, 440.0f);
    EXPECT_STREQ(FullTuner.noteText, "A#4");
    EXPECT_NEAR(FullTuner.cents, -20.0f, 0.01f);
    // Unlocked readings are shown unsmoothed, and the next locked one starts afresh.
    UpdateFullTuner(Detuned(130.0f), kPitchNotLocked, 440.0f);
    EXPECT_NEAR(FullTuner.cents, 30.0f, 0.01f);
    UpdateFullTuner(Detuned(95.0f), kPitchLocked, 440.0f);
    EXPECT_NEAR(FullTuner.cents, -5.0f, 0.01f);
}

// Feeds `seconds` of a tone (a fundamental and its octave, with `noise` of white noise, in
// 16-bit units) at `rate` through the full view's pitch in 1024-sample blocks, as the program
// does; calls `check` after every block from `settle` seconds on.
template <typename Check>
void FeedTone(int rate, double hz, double noise, double seconds, double settle, float referenceHz,
              Check check) {
    ResetAccuratePitch();
    ConfigureFullPitch(rate);
    ResetFullTuner();
    std::srand(1);
    std::vector<int16_t> block(1024);
    long long t = 0;
    for (long long blocks = 0; blocks * 1024 < seconds * rate; blocks++) {
        for (int16_t& sample : block) {
            const double phase = 2.0 * M_PI * hz * double(t++) / rate;
            const double white = noise * (2.0 * std::rand() / RAND_MAX - 1.0);
            sample = int16_t(
                std::lround(9000.0 * std::sin(phase) + 3000.0 * std::sin(2.0 * phase) + white));
        }
        TrackFullPitch(block.data(), int(block.size()));
        UpdateFullTuner(AccuratePitchTracker.pitch, FullPitchLockState(), referenceHz);
        if (double(t) / rate >= settle) check();
    }
}

TEST(TunerGauge, OnACleanToneTheNeedleHoldsWithinACentAtTheFullViewsRates) {
    for (int rate : {48000, 96000, 44100}) {
        for (float cents : {-33.0f, 7.0f, 0.0f}) {
            for (double octave : {0.25, 1.0, 2.0}) {
                const double hz = double(Detuned(cents)) * octave;
                const std::string name = std::to_string(rate) + " Hz, " + std::to_string(hz);
                FeedTone(rate, hz, 0.0, 2.0, 0.3, 440.0f, [&] {
                    ASSERT_TRUE(FullTuner.locked) << name;
                    EXPECT_NEAR(FullTuner.cents, cents, 1.0f) << name;
                });
                EXPECT_STREQ(FullTuner.noteText, octave == 0.25  ? "A2"
                                                 : octave == 1.0 ? "A4"
                                                                 : "A5")
                    << name;
            }
        }
    }
}

// The tracker already averages a held note's readings; the needle adds its own smoothing for
// the moments before that and for readings that scatter more.
TEST(TunerGauge, OnANoisyToneTheNeedleIsNoLessSteadyThanTheReadingsAndStaysWithinTwoCents) {
    float lowest = 100.0f, highest = -100.0f, rawLowest = 100.0f, rawHighest = -100.0f;
    FeedTone(48000, 329.63, 9000.0, 3.0, 0.5, 440.0f, [&] {
        if (!FullTuner.locked) return;
        lowest = std::min(lowest, FullTuner.cents);
        highest = std::max(highest, FullTuner.cents);
        const float raw = float(1200.0 * std::log2(AccuratePitchTracker.pitch / 329.6276));
        rawLowest = std::min(rawLowest, raw);
        rawHighest = std::max(rawHighest, raw);
    });
    EXPECT_LE(highest - lowest, rawHighest - rawLowest);
    EXPECT_LE(highest - lowest, 2.0f);
}

TEST(TunerGauge, A445HzToneIsInTuneAgainstA445AndTwentyCentsSharpAgainst440) {
    for (float reference : {445.0f, 440.0f}) {
        FeedTone(48000, 445.0, 0.0, 1.0, 0.3, reference, [] {});
        EXPECT_STREQ(FullTuner.noteText, "A4");
        EXPECT_EQ(std::lround(FullTuner.cents), reference == 445.0f ? 0 : 20);
        EXPECT_EQ(TunerInTune(FullTuner), reference == 445.0f);
    }
}

}  // namespace
