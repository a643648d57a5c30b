// SPDX-License-Identifier: GPL-3.0-or-later
// The accurate pitch estimator on generated material whose pitch is known at every instant,
// run as the pipeline runs it: one estimate per 1024-sample block from the newest window +
// lag samples. Readings are judged against the true pitch at the segment's centre.
#include "analysis/accurate_pitch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tests/support/pitch_material.h"

namespace {

constexpr int kBlock = 1024;

struct Reading {
    double seconds;  // end of the block
    double truth;    // Hz at the segment's centre; 0 where no tone sounds
    double level;    // dBFS of the tone there
    float pitch;
    bool locked;
};

std::vector<Reading> Follow(const ToneRecipe& recipe, int rate = 22050) {
    const int window = rate == 22050 ? 1024 : 512;
    const int lag = window / 2;
    const int span = window + lag;
    const std::vector<int16_t> pcm = ToPcm16(Synthesize(recipe, rate));
    ResetAccuratePitch();
    std::vector<Reading> readings;
    static float segment[kAccuratePitchMaxSegment];
    for (size_t end = kBlock; end <= pcm.size(); end += kBlock) {
        for (int i = 0; i < span; ++i) {
            const long at = long(end) - span + i;
            segment[i] = at >= 0 ? float(pcm[size_t(at)]) : 0.0f;
        }
        TrackAccuratePitch(EstimateAccuratePitch(segment, window, lag, float(rate)),
                           float(kBlock) / float(rate));
        const double centre = (double(end) - span / 2.0) / rate;
        readings.push_back({double(end) / rate, TrueFrequency(recipe, centre),
                            ToneLevelDbfs(recipe, centre), AccuratePitchTracker.pitch,
                            AccuratePitchTracker.locked});
    }
    return readings;
}

double Error(const Reading& r) {
    return r.pitch > 0.0f ? std::fabs(CentsOff(r.pitch, r.truth)) : 1e9;
}

// Of the readings where a tone has sounded for `settle` seconds: the share locked within
// `cents` of the truth.
struct Tally {
    int frames = 0;
    int within50 = 0;
    int within10 = 0;
    std::vector<double> errors;

    void Add(const std::vector<Reading>& readings, double onset, double settle = 0.5) {
        for (const Reading& r : readings) {
            if (r.truth <= 0.0 || r.seconds < onset + settle) continue;
            frames += 1;
            const double e = r.locked ? Error(r) : 1e9;
            within50 += e <= 50.0;
            within10 += e <= 10.0;
            errors.push_back(Error(r));
        }
    }
    double Share50() const { return double(within50) / frames; }
    double Share10() const { return double(within10) / frames; }
    double Median() {
        std::sort(errors.begin(), errors.end());
        return errors[errors.size() / 2];
    }
};

const Timbre kHarmonicTimbres[] = {
    Timbre::kSine,
    Timbre::kSquare,
    Timbre::kTriangle,
    Timbre::kSawtooth,
    Timbre::kWeakFundamental,
    Timbre::kOddOnly,
    Timbre::kMissingFundamental,
    Timbre::kPiano,
    Timbre::kBrass,
};

double Note(int semitonesAboveA2) {
    return 110.0 * std::pow(2.0, semitonesAboveA2 / 12.0);
}

// Every timbre on notes A2 .. A5 (every third semitone) at `rate` with `snrDb` of noise.
Tally SustainedNotes(Timbre timbre, int rate, double snrDb) {
    Tally tally;
    for (int semitone = 0; semitone <= 36; semitone += 3) {
        ToneRecipe recipe;
        recipe.timbre = timbre;
        recipe.startHz = recipe.endHz = Note(semitone);
        recipe.seconds = 1.2;
        recipe.snrDb = snrDb;
        tally.Add(Follow(recipe, rate), 0.0);
    }
    return tally;
}

// ---- Sustained notes ----

TEST(AccuratePitchNotes, EveryTimbreFromA2ToA5IsLockedOnItsNote) {
    for (Timbre timbre : kHarmonicTimbres) {
        Tally tally = SustainedNotes(timbre, 22050, 1e9);
        EXPECT_GE(tally.Share50(), 0.99) << int(timbre);
        EXPECT_GE(tally.Share10(), 0.90) << int(timbre);
    }
}

TEST(AccuratePitchNotes, TheSmallDeviceProfileReadsTheSameNotes) {
    for (Timbre timbre : kHarmonicTimbres) {
        Tally tally = SustainedNotes(timbre, 11025, 1e9);
        EXPECT_GE(tally.Share50(), 0.99) << int(timbre);
        EXPECT_GE(tally.Share10(), 0.90) << int(timbre);
    }
}

TEST(AccuratePitchNotes, PlainWaveformsFrom110To880HzAreWithinTwoCents) {
    for (Timbre timbre : {Timbre::kSine, Timbre::kSquare, Timbre::kTriangle, Timbre::kSawtooth}) {
        for (double hz : {110.0, 165.0, 220.0, 330.0, 440.0, 660.0, 880.0}) {
            ToneRecipe recipe;
            recipe.timbre = timbre;
            recipe.startHz = recipe.endHz = hz;
            recipe.seconds = 1.5;
            Tally tally;
            tally.Add(Follow(recipe), 0.0);
            EXPECT_LE(tally.Median(), 2.0) << int(timbre) << " at " << hz;
        }
    }
}

TEST(AccuratePitchNotes, TheRangeEdgesAreRead) {
    for (int rate : {22050, 11025}) {
        for (double hz : {50.0, 2000.0}) {
            for (Timbre timbre : {Timbre::kSine, Timbre::kSawtooth, Timbre::kBrass}) {
                ToneRecipe recipe;
                recipe.timbre = timbre;
                recipe.startHz = recipe.endHz = hz;
                recipe.seconds = 1.5;
                Tally tally;
                tally.Add(Follow(recipe, rate), 0.0);
                EXPECT_GE(tally.Share50(), 0.99) << rate << " Hz rate, " << hz << " Hz";
            }
        }
    }
}

// ---- Noise and silence ----

TEST(AccuratePitchNoise, TonesInNoiseAtTenAndZeroDbStayOnTheirNote) {
    for (Timbre timbre : {Timbre::kSine, Timbre::kSawtooth, Timbre::kOddOnly, Timbre::kPiano}) {
        EXPECT_GE(SustainedNotes(timbre, 22050, 10.0).Share50(), 0.99) << int(timbre);
        EXPECT_GE(SustainedNotes(timbre, 22050, 0.0).Share50(), 0.90) << int(timbre);
    }
}

// White noise, and noise low-passed once and three times (deep, rumbling noise correlates
// over many lags and is the harder case).
TEST(AccuratePitchNoise, NoiseAloneNeverLocks) {
    for (int rate : {22050, 11025}) {
        for (int passes : {0, 1, 3}) {
            ToneRecipe recipe;
            recipe.timbre = Timbre::kNone;
            recipe.noiseDbfs = -20.0;
            recipe.noisePasses = passes;
            recipe.seconds = 30.0;
            const std::vector<float> noise = Synthesize(recipe, rate);
            const int window = rate == 22050 ? 1024 : 512;
            ResetAccuratePitch();
            int locked = 0;
            for (size_t end = size_t(window * 3 / 2); end <= noise.size(); end += kBlock) {
                const float* segment = noise.data() + end - size_t(window * 3 / 2);
                TrackAccuratePitch(EstimateAccuratePitch(segment, window, window / 2, float(rate)),
                                   float(kBlock) / float(rate));
                locked += AccuratePitchTracker.locked;
            }
            EXPECT_EQ(locked, 0) << rate << " Hz, " << passes << " low-pass passes";
        }
    }
}

TEST(AccuratePitchNoise, SilenceHasNoPitchAtAll) {
    ToneRecipe recipe;
    recipe.timbre = Timbre::kNone;
    for (const Reading& r : Follow(recipe)) {
        EXPECT_EQ(r.pitch, 0.0f);
        EXPECT_FALSE(r.locked);
    }
    // A quiet hum below -70 dBFS counts as silence too.
    recipe.timbre = Timbre::kSine;
    recipe.peakDbfs = -75.0;
    for (const Reading& r : Follow(recipe))
        EXPECT_FALSE(r.locked);
}

// ---- Changing notes ----

TEST(AccuratePitchChanges, ADecayingNoteIsReadDownToFiftyDbBelowFullScale) {
    for (Timbre timbre : {Timbre::kPiano, Timbre::kSawtooth, Timbre::kSine}) {
        ToneRecipe recipe;
        recipe.timbre = timbre;
        recipe.startHz = recipe.endHz = 196.0;
        recipe.seconds = 4.0;
        recipe.peakDbfs = -3.0;
        recipe.decayDbPerSecond = 15.0;
        double quietest = 0.0;  // dBFS of the last locked, right reading
        for (const Reading& r : Follow(recipe)) {
            if (r.truth > 0.0 && r.locked && Error(r) <= 50.0) quietest = r.level;
            // Louder than -50 dBFS every reading is live and right.
            if (r.truth > 0.0 && r.level > -50.0 && r.seconds > 0.2) {
                EXPECT_TRUE(r.locked && Error(r) <= 50.0) << r.seconds;
            }
        }
        EXPECT_LE(quietest, -50.0) << int(timbre);
    }
}

ToneRecipe VibratoNote(Timbre timbre, double hz, double cents, double rate) {
    ToneRecipe recipe;
    recipe.timbre = timbre;
    recipe.startHz = recipe.endHz = hz;
    recipe.vibratoCents = cents;
    recipe.vibratoHz = rate;
    recipe.seconds = 3.0;
    return recipe;
}

TEST(AccuratePitchChanges, VibratoIsFollowedWithinFifteenCents) {
    for (Timbre timbre : {Timbre::kSine, Timbre::kSawtooth, Timbre::kBrass}) {
        for (double hz : {110.0, 330.0, 880.0}) {
            Tally tally;
            tally.Add(Follow(VibratoNote(timbre, hz, 30.0, 6.0)), 0.0);
            EXPECT_LE(tally.Median(), 15.0) << int(timbre) << " at " << hz;
            EXPECT_GE(tally.Share50(), 0.99) << int(timbre) << " at " << hz;
        }
    }
}

// A bowed or blown note's vibrato is shallower: the reading holds the note itself.
TEST(AccuratePitchChanges, AShallowVibratoReadsAsItsNote) {
    for (Timbre timbre : {Timbre::kSine, Timbre::kSawtooth, Timbre::kBrass}) {
        for (double hz : {110.0, 330.0, 880.0}) {
            for (double rate : {5.0, 7.0}) {
                int frames = 0, within = 0;
                for (const Reading& r : Follow(VibratoNote(timbre, hz, 15.0, rate))) {
                    if (r.truth <= 0.0 || r.seconds < 0.5) continue;
                    frames += 1;
                    within += r.locked && std::fabs(CentsOff(r.pitch, hz)) <= 5.0;
                }
                EXPECT_GE(within, frames * 95 / 100)
                    << int(timbre) << " at " << hz << ", " << rate << " Hz vibrato";
            }
        }
    }
}

TEST(AccuratePitchChanges, AGlideOverThreeOctavesStaysLockedOnIt) {
    ToneRecipe recipe;
    recipe.timbre = Timbre::kSawtooth;
    recipe.startHz = 110.0;
    recipe.endHz = 880.0;
    recipe.seconds = 3.0;
    Tally tally;
    tally.Add(Follow(recipe), 0.0, 0.2);
    EXPECT_GE(tally.Share50(), 0.95);
}

TEST(AccuratePitchChanges, ANoteLocksWithinAFifthOfASecondOfItsOnset) {
    for (Timbre timbre : kHarmonicTimbres) {
        for (double hz : {82.0, 247.0, 740.0}) {
            for (double snr : {1e9, 10.0}) {
                ToneRecipe recipe;
                recipe.timbre = timbre;
                recipe.startHz = recipe.endHz = hz;
                recipe.onsetSeconds = 0.37;
                recipe.seconds = 1.0;
                recipe.snrDb = snr;
                double first = 1e9;
                for (const Reading& r : Follow(recipe)) {
                    if (r.locked && r.truth > 0.0 && Error(r) <= 50.0) {
                        first = r.seconds - recipe.onsetSeconds;
                        break;
                    }
                }
                EXPECT_LE(first, 0.19) << int(timbre) << " at " << hz << ", SNR " << snr;
            }
        }
    }
}

TEST(AccuratePitchChanges, ANewNoteUnlocksTheOldOneAndLocksAfresh) {
    ToneRecipe low;
    low.timbre = Timbre::kSawtooth;
    low.startHz = low.endHz = 220.0;
    low.seconds = 1.0;
    ToneRecipe high = low;
    high.startHz = high.endHz = 311.0;
    std::vector<float> both = Synthesize(low, 22050);
    const std::vector<float> second = Synthesize(high, 22050);
    both.insert(both.end(), second.begin(), second.end());
    ResetAccuratePitch();
    static float segment[kAccuratePitchMaxSegment];
    std::vector<Reading> readings;
    for (size_t end = 1536; end <= both.size(); end += kBlock) {
        std::copy(both.begin() + long(end) - 1536, both.begin() + long(end), segment);
        TrackAccuratePitch(EstimateAccuratePitch(segment, 1024, 512, 22050.0f),
                           float(kBlock) / 22050.0f);
        readings.push_back(
            {double(end) / 22050, 0, 0, AccuratePitchTracker.pitch, AccuratePitchTracker.locked});
    }
    // Before the change the old note is locked, two blocks after it the new one.
    const Reading& before = readings[size_t(0.9 * 22050 / kBlock)];
    const Reading& after = readings[size_t(1.15 * 22050 / kBlock)];
    EXPECT_TRUE(before.locked);
    EXPECT_NEAR(CentsOff(before.pitch, 220.0), 0.0, 5.0);
    EXPECT_TRUE(after.locked);
    EXPECT_NEAR(CentsOff(after.pitch, 311.0), 0.0, 5.0);
}

// ---- The function against its direct form ----

// The estimator's function formed directly, in double, sample by sample and lag by lag: the
// mean removed, the fourth-order low-pass at 0.28 of the rate run from rest, the mean of
// its output removed, then every lag's sums.
std::vector<double> DirectNsdf(const float* segment, int window, int maxLag) {
    const int length = window + maxLag;
    double mean = 0.0;
    for (int i = 0; i < length; ++i)
        mean += segment[i];
    mean /= length;
    std::vector<double> y(static_cast<size_t>(length));
    for (int i = 0; i < length; ++i)
        y[size_t(i)] = segment[i] - mean;
    const double w = 2.0 * 3.141592653589793 * 0.28;
    for (double q : {0.5411961, 1.3065630}) {
        const double alpha = std::sin(w) / (2.0 * q), a0 = 1.0 + alpha, c = std::cos(w);
        const double b0 = (1.0 - c) / 2.0 / a0, b1 = (1.0 - c) / a0, a1 = -2.0 * c / a0,
                     a2 = (1.0 - alpha) / a0;
        double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
        for (double& v : y) {
            const double out = b0 * v + b1 * x1 + b0 * x2 - a1 * y1 - a2 * y2;
            x2 = x1;
            x1 = v;
            y2 = y1;
            y1 = out;
            v = out;
        }
    }
    double filteredMean = 0.0;
    for (double v : y)
        filteredMean += v;
    filteredMean /= length;
    for (double& v : y)
        v -= filteredMean;
    std::vector<double> nsdf(static_cast<size_t>(maxLag) + 1);
    for (int t = 0; t <= maxLag; ++t) {
        double r = 0.0, m = 0.0;
        for (int j = 0; j < window; ++j) {
            r += y[size_t(j)] * y[size_t(j + t)];
            m += y[size_t(j)] * y[size_t(j)] + y[size_t(j + t)] * y[size_t(j + t)];
        }
        nsdf[size_t(t)] = 2.0 * r / m;
    }
    return nsdf;
}

TEST(AccuratePitchFunction, EqualsItsDirectFormOnEveryKindOfFrameAtBothRates) {
    const struct {
        const char* name;
        Timbre timbre;
        double hz, snrDb, peakDbfs;
    } frames[] = {{"sine 55 Hz", Timbre::kSine, 55.0, 1e9, -6.0},
                  {"sawtooth 220 Hz", Timbre::kSawtooth, 220.0, 1e9, -6.0},
                  {"piano 1760 Hz", Timbre::kPiano, 1760.0, 1e9, -1.0},
                  {"brass 110 Hz at -40 dBFS", Timbre::kBrass, 110.0, 1e9, -40.0},
                  {"missing fundamental 330 Hz", Timbre::kMissingFundamental, 330.0, 1e9, -6.0},
                  {"sine 440 Hz at 0 dB SNR", Timbre::kSine, 440.0, 0.0, -6.0},
                  {"noise alone", Timbre::kNone, 0.0, 1e9, -20.0}};
    for (int rate : {22050, 11025}) {
        const int window = rate == 22050 ? 1024 : 512;
        const int maxLag = window / 2;
        for (const auto& f : frames) {
            SCOPED_TRACE(std::string(f.name) + " at " + std::to_string(rate) + " Hz");
            ToneRecipe recipe;
            recipe.timbre = f.timbre;
            recipe.startHz = recipe.endHz = f.hz;
            recipe.seconds = 0.5;
            recipe.snrDb = f.snrDb;
            recipe.peakDbfs = f.peakDbfs;
            if (f.timbre == Timbre::kNone) recipe.noiseDbfs = f.peakDbfs;
            const std::vector<float> samples = Synthesize(recipe, rate);
            const float* segment = samples.data() + rate / 10;
            EstimateAccuratePitch(segment, window, maxLag, float(rate));
            const std::vector<double> direct = DirectNsdf(segment, window, maxLag);
            double worst = 0.0;
            for (int t = 0; t <= maxLag; ++t)
                worst = std::fmax(worst, std::fabs(AccuratePitchNsdf[t] - direct[size_t(t)]));
            EXPECT_LT(worst, 2e-6);
        }
    }
}

// ---- Interface ----

TEST(AccuratePitchInterface, AWindowNotTwiceAPowerOfTwoLagRangeOrBeyondTheStorageGivesNothing) {
    static float segment[2 * kAccuratePitchMaxSegment];
    for (int i = 0; i < 2 * kAccuratePitchMaxSegment; ++i)
        segment[i] = float(8000.0 * std::sin(2.0 * 3.141592653589793 * 440.0 * i / 22050.0));
    const PitchCandidate fine = EstimateAccuratePitch(segment, 1024, 512, 22050.0f);
    EXPECT_NEAR(fine.frequency, 440.0f, 0.5f);
    EXPECT_GT(fine.clarity, 0.99f);
    for (const PitchCandidate c : {EstimateAccuratePitch(segment, 2048, 512, 22050.0f),
                                   EstimateAccuratePitch(segment, 1024, 1024, 22050.0f),
                                   EstimateAccuratePitch(segment, 256, 512, 22050.0f),
                                   EstimateAccuratePitch(segment, 1024, 256, 22050.0f),
                                   EstimateAccuratePitch(segment, 600, 300, 22050.0f),
                                   EstimateAccuratePitch(segment, 1024, 512, 0.0f)}) {
        EXPECT_EQ(c.frequency, 0.0f);
        EXPECT_EQ(c.clarity, 0.0f);
    }
}

TEST(AccuratePitchInterface, AnUnclearEstimateUnlocksButKeepsThePitchShown) {
    ResetAccuratePitch();
    TrackAccuratePitch({440.0f, 0.99f}, 0.05f);
    EXPECT_TRUE(AccuratePitchTracker.locked);
    TrackAccuratePitch({0.0f, 0.0f}, 0.05f);
    EXPECT_FALSE(AccuratePitchTracker.locked);
    EXPECT_EQ(AccuratePitchTracker.pitch, 440.0f);
    EXPECT_EQ(AccuratePitchTracker.missCount, 1);
    // A middling clarity needs three agreeing estimates, a high one two.
    TrackAccuratePitch({441.0f, 0.6f}, 0.05f);
    TrackAccuratePitch({442.0f, 0.6f}, 0.05f);
    EXPECT_FALSE(AccuratePitchTracker.locked);
    TrackAccuratePitch({441.0f, 0.6f}, 0.05f);
    EXPECT_TRUE(AccuratePitchTracker.locked);
    TrackAccuratePitch({600.0f, 0.85f}, 0.05f);
    EXPECT_FALSE(AccuratePitchTracker.locked);
    TrackAccuratePitch({602.0f, 0.85f}, 0.05f);
    EXPECT_TRUE(AccuratePitchTracker.locked);
}

TEST(AccuratePitchInterface, AHeldNoteReadsAsItsCentreUntilItMovesOrEnds) {
    const auto track = [](float cents, float seconds) {
        TrackAccuratePitch({float(440.0 * std::exp2(cents / 1200.0)), 0.99f}, seconds);
        return CentsOff(AccuratePitchTracker.pitch, 440.0);
    };
    // Estimates 10 cents either side of the note: each as it comes for the first 0.25 s, at
    // the spacing given, then the note's centre.
    for (float spacing : {0.05f, 0.02f}) {
        ResetAccuratePitch();
        float cents = 10.0f;
        for (int i = 0; float(i) * spacing < kHeldNoteSeconds; ++i, cents = -cents)
            EXPECT_NEAR(track(cents, spacing), cents, 0.01) << spacing << " s apart";
        EXPECT_NEAR(track(cents, spacing), 0.0, 4.0) << spacing << " s apart";
    }
    // One stray estimate, an octave off or unclear, reads as it is and leaves the note held.
    EXPECT_NEAR(track(1200.0f, 0.05f), 1200.0, 0.01);
    EXPECT_NEAR(track(-10.0f, 0.05f), 0.0, 4.0);
    TrackAccuratePitch({0.0f, 0.0f}, 0.05f);
    EXPECT_NEAR(track(10.0f, 0.05f), 0.0, 4.0);
    // Two in a row end it: what follows reads as it comes.
    track(1200.0f, 0.05f);
    track(1200.0f, 0.05f);
    EXPECT_NEAR(track(10.0f, 0.05f), 10.0, 0.01);
    // Estimates that swing widely are a pitch that moves, followed as they come.
    ResetAccuratePitch();
    for (int i = 0; i < 12; ++i)
        EXPECT_NEAR(track(i % 2 ? 25.0f : -25.0f, 0.05f), i % 2 ? 25.0 : -25.0, 0.01) << i;
}

}  // namespace
