// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's frames: rates, levels, resolution, averaging, peak hold, noise, history.
#include "fullview/full_analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "fullview/full_axis.h"
#include "fullview/full_columns.h"
#include "tests/fullview/full_view_test_support.h"

namespace {

float Bin(float hz) {
    return hz / FullSpectrum.binHz;
}

// Level of the highest bin within two bins of hz.
float LevelNear(float hz) {
    const int centre = int(std::lround(Bin(hz)));
    float level = kFullFloorDb;
    for (int k = centre - 2; k <= centre + 2; k++)
        level = std::max(level, FullSpectrum.levelDb[k]);
    return level;
}

TEST(FullAnalysis, RefusesWhatItCannotAnalyse) {
    FullAnalysisConfig good = DefaultFullAnalysisConfig();
    ASSERT_TRUE(ConfigureFullAnalysis(good));
    for (int size : {512, 3000, 65536, 0, -8192}) {
        FullAnalysisConfig bad = good;
        bad.fftSize = size;
        EXPECT_FALSE(ConfigureFullAnalysis(bad)) << size;
    }
    for (int seconds : {4, 61}) {
        FullAnalysisConfig bad = good;
        bad.historySeconds = seconds;
        EXPECT_FALSE(ConfigureFullAnalysis(bad)) << seconds;
    }
    FullAnalysisConfig bad = good;
    bad.sampleRate = 192000;
    EXPECT_FALSE(ConfigureFullAnalysis(bad));
    bad = good;
    bad.overlapPercent = 100;
    EXPECT_FALSE(ConfigureFullAnalysis(bad));
    bad = good;
    bad.window = FullWindowKind(7);
    EXPECT_FALSE(ConfigureFullAnalysis(bad));
    EXPECT_EQ(FullSpectrum.config.fftSize, good.fftSize);  // the refused ones changed nothing
}

// View Options accepted with the same analysis keeps the history: every field tells.
TEST(FullAnalysis, TwoConfigurationsAreTheSameAnalysisOnlyWhenEveryFieldIs) {
    const FullAnalysisConfig a = DefaultFullAnalysisConfig();
    EXPECT_TRUE(SameFullAnalysisConfig(a, a));
    const auto differs = [&](void (*change)(FullAnalysisConfig&)) {
        FullAnalysisConfig b = a;
        change(b);
        return !SameFullAnalysisConfig(a, b) && !SameFullAnalysisConfig(b, a);
    };
    EXPECT_TRUE(differs([](FullAnalysisConfig& c) { c.sampleRate = 96000; }));
    EXPECT_TRUE(differs([](FullAnalysisConfig& c) { c.fftSize = 4096; }));
    EXPECT_TRUE(differs([](FullAnalysisConfig& c) { c.window = FullWindowKind::BlackmanHarris; }));
    EXPECT_TRUE(differs([](FullAnalysisConfig& c) { c.overlapPercent = 50; }));
    EXPECT_TRUE(differs([](FullAnalysisConfig& c) { c.averaging = FullAveraging::Long; }));
    EXPECT_TRUE(differs([](FullAnalysisConfig& c) { c.peakHold = true; }));
    EXPECT_TRUE(differs([](FullAnalysisConfig& c) { c.historySeconds = 30; }));
}

TEST(FullAnalysis, AdvancesAtLeastSixtyFramesASecondAtEveryRateAndSize) {
    for (int rate : {22050, 44100, 48000, 96000}) {
        for (int size = kFullMinFftSize; size <= kFullMaxFftSize; size *= 2) {
            FullAnalysisConfig config = DefaultFullAnalysisConfig();
            config.sampleRate = rate;
            config.fftSize = size;
            config.overlapPercent = 0;
            ASSERT_TRUE(ConfigureFullAnalysis(config));
            std::vector<int16_t> second(size_t(rate), 0);
            FeedFullAnalysis(second.data(), rate);  // the first window is filled
            FeedFullAnalysis(second.data(), rate);
            const int frames = FeedFullAnalysis(second.data(), rate);
            EXPECT_GE(frames, kFullMinFramesPerSecond) << rate << " " << size;
            EXPECT_LE(FullSpectrum.hop, size) << "frames overlap or touch";
        }
    }
}

TEST(FullAnalysis, AFullScaleSineReadsZeroDbAtItsBin) {
    // 1500 Hz is bin 256 at 48000 / 8192: on a bin centre, no scalloping.
    for (FullWindowKind window : {FullWindowKind::Hann, FullWindowKind::BlackmanHarris}) {
        FullAnalysisConfig config = DefaultFullAnalysisConfig();
        config.window = window;
        ASSERT_TRUE(ConfigureFullAnalysis(config));
        std::vector<int16_t> samples(48000);
        for (size_t i = 0; i < samples.size(); i++)
            samples[i] =
                int16_t(std::lround(16384.0 * std::sin(2.0 * M_PI * 1500.0 * i / 48000.0)));
        FeedFullAnalysis(samples.data(), int(samples.size()));
        EXPECT_NEAR(FullSpectrum.levelDb[256], -6.02f, 0.05f);  // half of full scale
        EXPECT_LT(FullSpectrum.levelDb[300], -90.0f);
    }
}

// How far the level between the highest point below 1005 Hz and the highest above it lies
// under the lower of the two, on a band of 950 .. 1060 Hz over 1100 pixels.
float DipBetweenTenHertzTones(int fftSize) {
    FeedTones(48000, fftSize, {1000.0f, 1010.0f}, 0.25f, 1.0);
    const FullAxis whole = WholeFullAxis(1100, false, 24000.0f);
    const FullAxis axis = ZoomFullAxis(whole, FullAxisPosition(whole, 1005.0f), 200.0f);
    BuildFullPositionMap(axis, FullSpectrum.binHz, FullSpectrum.binCount, FullPeakExponent());
    std::vector<float> levels(size_t(axis.positions));
    FullPositionLevels(FullSpectrum.levelDb, levels.data());
    const auto middle = levels.begin() + int(FullAxisPosition(axis, 1005.0f));
    const auto low = std::max_element(levels.begin(), middle);
    const auto high = std::max_element(middle, levels.end());
    return std::min(*low, *high) - *std::min_element(low, high);
}

TEST(FullAnalysis, TwoTonesTenHertzApartAreTwoPeaksAtSize16384) {
    EXPECT_GT(DipBetweenTenHertzTones(16384), 6.0f);
    // At 8192 the window's main lobe (four bins of 5.9 Hz) takes both in: one peak.
    EXPECT_LT(DipBetweenTenHertzTones(8192), 0.5f);
}

TEST(FullAnalysis, TonesUpToNearNyquistAppear) {
    FeedTones(48000, 8192, {15000.0f}, 0.5f, 0.5);
    EXPECT_GT(LevelNear(15000.0f), -8.0f);
    FeedTones(96000, 8192, {40000.0f}, 0.5f, 0.5);
    EXPECT_GT(LevelNear(40000.0f), -8.0f);
    EXPECT_LT(LevelNear(20000.0f), -80.0f);
}

TEST(FullAnalysis, AveragingFollowsAStepMoreSlowlyTheLongerItIs) {
    std::vector<int16_t> silence(4800, 0), tone(4800);
    for (size_t i = 0; i < tone.size(); i++)
        tone[i] = int16_t(std::lround(16384.0 * std::sin(2.0 * M_PI * 1500.0 * i / 48000.0)));
    float afterStep[3];
    for (FullAveraging averaging :
         {FullAveraging::Off, FullAveraging::Short, FullAveraging::Long}) {
        FullAnalysisConfig config = DefaultFullAnalysisConfig();
        config.averaging = averaging;
        ASSERT_TRUE(ConfigureFullAnalysis(config));
        for (int i = 0; i < 10; i++)
            FeedFullAnalysis(silence.data(), int(silence.size()));
        for (int i = 0; i < 6; i++)  // 0.6 s of tone: 0.17 s to fill the window, then 0.43 s
            FeedFullAnalysis(tone.data(), int(tone.size()));
        afterStep[int(averaging)] = FullSpectrum.levelDb[256];
    }
    EXPECT_NEAR(afterStep[0], -6.02f, 0.05f);
    EXPECT_LT(afterStep[1], afterStep[0]);
    EXPECT_GT(afterStep[1], -6.5f);  // over four short time constants
    EXPECT_LT(afterStep[2], afterStep[1] - 1.0f);
}

TEST(FullAnalysis, PeakHoldFallsAtItsRateAfterTheToneStops) {
    FullAnalysisConfig config = DefaultFullAnalysisConfig();
    config.peakHold = true;
    ASSERT_TRUE(ConfigureFullAnalysis(config));
    std::vector<int16_t> tone(48000), silence(48000, 0);
    for (size_t i = 0; i < tone.size(); i++)
        tone[i] = int16_t(std::lround(16384.0 * std::sin(2.0 * M_PI * 1500.0 * i / 48000.0)));
    FeedFullAnalysis(tone.data(), 48000);
    FeedFullAnalysis(silence.data(), 24000);
    // The level falls faster than the held peak from the second frame of silence on.
    EXPECT_NEAR(FullSpectrum.peakDb[256], -6.02 - kFullPeakDecayDbPerSecond * 0.5, 0.5);
    EXPECT_EQ(FullSpectrum.levelDb[256], kFullFloorDb);
}

TEST(FullAnalysis, TheNoiseReferenceRemovesWhatWasThereWhenItWasTaken) {
    ASSERT_TRUE(ConfigureFullAnalysis(DefaultFullAnalysisConfig()));
    std::vector<int16_t> hum(48000), both(48000);
    for (size_t i = 0; i < hum.size(); i++) {
        hum[i] = int16_t(std::lround(3000.0 * std::sin(2.0 * M_PI * 375.0 * i / 48000.0)));
        both[i] =
            int16_t(hum[i] + std::lround(3000.0 * std::sin(2.0 * M_PI * 3000.0 * i / 48000.0)));
    }
    FeedFullAnalysis(hum.data(), 48000);
    SetFullNoiseReference(true);
    EXPECT_FALSE(FullNoiseReferenceReady());
    FeedFullAnalysis(hum.data(), 48000);
    ASSERT_TRUE(FullNoiseReferenceReady());
    FeedFullAnalysis(both.data(), 48000);
    EXPECT_LT(FullSpectrum.levelDb[64], -60.0f);   // 375 Hz: the hum is gone
    EXPECT_GT(FullSpectrum.levelDb[512], -30.0f);  // 3000 Hz: the new tone stays
    SetFullNoiseReference(false);
    FeedFullAnalysis(both.data(), 48000);
    EXPECT_GT(FullSpectrum.levelDb[64], -30.0f);
}

TEST(FullAnalysis, HistoryHoldsItsSecondsAndForgetsOlderFrames) {
    FullAnalysisConfig config = DefaultFullAnalysisConfig();
    config.historySeconds = 5;
    ASSERT_TRUE(ConfigureFullAnalysis(config));
    std::vector<int16_t> second(48000, 0);
    for (int s = 0; s < 7; s++)
        FeedFullAnalysis(second.data(), 48000);
    const long long newest = FullSpectrum.frames - 1;
    const long long fiveSeconds = (long long)std::ceil(5.0 / FullFrameSeconds());
    EXPECT_NE(FullHistoryFrame(newest), nullptr);
    EXPECT_NE(FullHistoryFrame(newest - fiveSeconds), nullptr);
    EXPECT_EQ(FullHistoryFrame(newest - FullHistory.capacity), nullptr);
    EXPECT_EQ(FullHistoryFrame(newest + 1), nullptr);
    EXPECT_EQ(FullHistoryFrame(-1), nullptr);
}

TEST(FullAnalysis, RecentSamplesAreTheNewestInOrder) {
    ASSERT_TRUE(ConfigureFullAnalysis(DefaultFullAnalysisConfig()));
    const int16_t samples[] = {100, -200, 300, 16384};
    FeedFullAnalysis(samples, 4);
    float out[6];
    FullRecentSamples(out, 6);
    const float expected[] = {0.0f, 0.0f, 100 / 32768.0f, -200 / 32768.0f, 300 / 32768.0f, 0.5f};
    for (int i = 0; i < 6; i++)
        EXPECT_FLOAT_EQ(out[i], expected[i]) << i;
}

TEST(FullAnalysis, WaveformColumnsHoldEachShareOfSamplesLowestAndHighest) {
    ASSERT_TRUE(ConfigureFullAnalysis(DefaultFullAnalysisConfig()));
    const int16_t samples[] = {0, 16384, -8192, 8192, -16384, 0};
    FeedFullAnalysis(samples, 6);
    float low[4], high[4];
    FullWaveformColumns(6, 3, low, high);  // two samples a column, and the next one's first
    EXPECT_FLOAT_EQ(low[0], -0.25f);
    EXPECT_FLOAT_EQ(high[0], 0.5f);
    EXPECT_FLOAT_EQ(low[1], -0.5f);
    EXPECT_FLOAT_EQ(high[1], 0.25f);
    EXPECT_FLOAT_EQ(low[2], -0.5f);
    EXPECT_FLOAT_EQ(high[2], 0.0f);
    FullWaveformColumns(2, 4, low, high);  // -0.5, 0 over more columns than samples
    EXPECT_FLOAT_EQ(low[0], -0.5f);
    EXPECT_FLOAT_EQ(high[0], 0.0f);
    EXPECT_FLOAT_EQ(low[3], 0.0f);
    EXPECT_FLOAT_EQ(high[3], 0.0f);
}

// ---- Changing the analysis ---------------------------------------------------------------

std::vector<int16_t> Tone(float hz, int rate, double seconds) {
    std::vector<int16_t> samples(size_t(seconds * rate));
    for (size_t i = 0; i < samples.size(); i++)
        samples[i] = int16_t(std::lround(16384.0 * std::sin(2.0 * M_PI * hz * double(i) / rate)));
    return samples;
}

void Feed(const std::vector<int16_t>& samples) {
    for (size_t at = 0; at < samples.size(); at += 1024)
        FeedFullAnalysis(samples.data() + at, int(std::min<size_t>(1024, samples.size() - at)));
}

// The frequency of the loudest bin of the history frame `age` seconds old.
float HistoryPeakHz(double age) {
    const long long frame = FullSpectrum.frames - 1 - std::llround(age / FullFrameSeconds());
    const uint8_t* levels = FullHistoryFrame(frame);
    if (levels == nullptr) return -1.0f;
    const uint8_t* loudest = std::max_element(levels, levels + FullHistory.binCount);
    return float(loudest - levels) * FullSpectrum.binHz;
}

TEST(FullAnalysis, ANewSizeRateOrLengthKeepsTheHistoryInItsNewBinsAndFrames) {
    ASSERT_TRUE(ConfigureFullAnalysis(DefaultFullAnalysisConfig()));
    Feed(Tone(1000.0f, 48000, 3.0));
    Feed(Tone(3000.0f, 48000, 2.0));
    struct Step {
        int rate, size, overlap, seconds;
    };
    float coarsest = FullSpectrum.binHz;
    const double analysed = double(FullSpectrum.frames) * FullFrameSeconds();  // 5 s less a window
    // Finer bins, coarser bins and more frames a second, another rate, a shorter history.
    for (const Step step : {Step{48000, 16384, 75, 10}, Step{48000, 2048, 75, 10},
                            Step{44100, 8192, 75, 10}, Step{44100, 8192, 75, 5}}) {
        FullAnalysisConfig config = DefaultFullAnalysisConfig();
        config.sampleRate = step.rate;
        config.fftSize = step.size;
        config.overlapPercent = step.overlap;
        config.historySeconds = step.seconds;
        ASSERT_TRUE(ChangeFullAnalysis(config));
        // Within the coarsest bins the history has been through.
        coarsest = std::max(coarsest, FullSpectrum.binHz);
        const float tolerance = coarsest;
        EXPECT_NEAR(HistoryPeakHz(0.0), 3000.0f, tolerance) << step.size << " " << step.rate;
        EXPECT_NEAR(HistoryPeakHz(1.5), 3000.0f, tolerance) << step.size << " " << step.rate;
        EXPECT_NEAR(HistoryPeakHz(4.0), 1000.0f, tolerance) << step.size << " " << step.rate;
        // The history still reaches back to the first frame, or as far as it now holds.
        const double held = double(FullSpectrum.frames) * FullFrameSeconds();
        EXPECT_NEAR(held, std::min(analysed, double(step.seconds)), 0.05) << step.size;
    }
    // Nothing above the old Nyquist comes in: 96000 Hz leaves 22050 .. 48000 Hz empty.
    FullAnalysisConfig wider = DefaultFullAnalysisConfig();
    wider.sampleRate = 96000;
    ASSERT_TRUE(ChangeFullAnalysis(wider));
    const uint8_t* newest = FullHistoryFrame(FullSpectrum.frames - 1);
    ASSERT_NE(newest, nullptr);
    const int nyquistBin = int(22050.0f / FullSpectrum.binHz) + 2;
    EXPECT_EQ(*std::max_element(newest + nyquistBin, newest + FullHistory.binCount), 0);
    // Analysed frames go on after the carried ones.
    const long long carried = FullSpectrum.frames;
    Feed(Tone(5000.0f, 96000, 1.0));
    EXPECT_GT(FullSpectrum.frames, carried + 50);
    EXPECT_NEAR(HistoryPeakHz(0.0), 5000.0f, FullSpectrum.binHz);
    EXPECT_NEAR(HistoryPeakHz(1.5), 3000.0f, 2 * FullSpectrum.binHz);
    FullAnalysisConfig refused = wider;
    refused.fftSize = 3000;
    EXPECT_FALSE(ChangeFullAnalysis(refused));
    EXPECT_EQ(FullSpectrum.config.fftSize, wider.fftSize);
}

TEST(FullAnalysis, ChangesThatKeepTheBinsGoOnAsIfNothingHadChanged) {
    const std::vector<int16_t> hum = Tone(375.0f, 48000, 1.5), tone = Tone(1500.0f, 48000, 0.5);
    // Once straight through, once with peak hold, a longer history and another window
    // switched on half way: the same levels at the end, as long as the window is the same.
    float straight[kFullMaxBins];
    ASSERT_TRUE(ConfigureFullAnalysis(DefaultFullAnalysisConfig()));
    SetFullNoiseReference(true);
    Feed(hum);
    Feed(tone);
    std::copy_n(FullSpectrum.levelDb, kFullMaxBins, straight);
    const long long frames = FullSpectrum.frames;

    ASSERT_TRUE(ConfigureFullAnalysis(DefaultFullAnalysisConfig()));
    SetFullNoiseReference(true);
    Feed(hum);
    ASSERT_TRUE(FullNoiseReferenceReady());
    std::vector<float> before(FullSpectrum.levelDb, FullSpectrum.levelDb + kFullMaxBins);
    FullAnalysisConfig config = DefaultFullAnalysisConfig();
    config.peakHold = true;
    config.historySeconds = 20;
    ASSERT_TRUE(ChangeFullAnalysis(config));
    EXPECT_TRUE(FullNoiseReferenceReady());  // the hum measured stays the reference
    EXPECT_TRUE(std::equal(before.begin(), before.end(), FullSpectrum.levelDb));
    Feed(tone);
    EXPECT_EQ(FullSpectrum.frames, frames);
    for (int k = 0; k < FullSpectrum.binCount; k++)
        ASSERT_EQ(FullSpectrum.levelDb[k], straight[k]) << k;
    EXPECT_NEAR(FullSpectrum.peakDb[256], -6.02f, 0.05f);
    config.window = FullWindowKind::BlackmanHarris;
    ASSERT_TRUE(ChangeFullAnalysis(config));
    EXPECT_FALSE(FullNoiseReferenceReady());  // measured through another window
    SetFullNoiseReference(false);
}

// No frame spans silence and a start, or a join: frames come once a whole window of
// samples has, so a tone starting or jumping in phase draws no stripe of every frequency.
TEST(FullAnalysis, FramesWaitForAWholeWindowAfterAStartOrARestart) {
    ASSERT_TRUE(ConfigureFullAnalysis(DefaultFullAnalysisConfig()));  // 8192, hop 800
    std::vector<int16_t> tone = Tone(1000.0f, 48000, 1.0);
    EXPECT_EQ(FeedFullAnalysis(tone.data(), 8191), 0);
    EXPECT_EQ(FeedFullAnalysis(tone.data() + 8191, 800), 1);
    EXPECT_LT(FullSpectrum.levelDb[1707], -100.0f);  // 10 kHz
    Feed(tone);
    RestartFullSamples();
    // Half a period off: a window over the join would read far above the floor here.
    EXPECT_EQ(FeedFullAnalysis(tone.data() + 24, 8000), 0);
    EXPECT_EQ(FeedFullAnalysis(tone.data() + 8024, 1000), 1);
    EXPECT_LT(FullSpectrum.levelDb[1707], -100.0f);
}

// ---- Spectrogram columns -----------------------------------------------------------------

TEST(FullSpectrogram, EveryFrameFallsIntoOneColumnInOrder) {
    ASSERT_TRUE(ConfigureFullAnalysis(DefaultFullAnalysisConfig()));  // 60 frames a second
    for (int width : {300, 600, 601, 1920}) {  // 10 s: 2, 1, just under 1, 0.31 frames a column
        const FullTimeline t = MakeFullTimeline(width);
        long long expectedFirst = 0;
        for (long long column = 0; column < 3000; column++) {
            long long first, last;
            FullTimelineFrames(t, column, &first, &last);
            ASSERT_LE(first, last);
            // Columns either start where the last one ended or repeat its frame.
            ASSERT_TRUE(first == expectedFirst || (first == expectedFirst - 1 && first == last))
                << width << " column " << column;
            expectedFirst = last + 1;
            // The column is complete exactly when its last frame is done.
            ASSERT_EQ(FullTimelineColumns(t, last + 1) > column, true) << width << " " << column;
            ASSERT_EQ(FullTimelineColumns(t, last) > column, false) << width << " " << column;
        }
        // The newest `width` columns show the history's seconds.
        long long first, last, oldFirst, oldLast;
        FullTimelineFrames(t, 3000, &first, &last);
        FullTimelineFrames(t, 3000 - width, &oldFirst, &oldLast);
        EXPECT_NEAR(double(first - oldFirst) * FullFrameSeconds(), 10.0, 0.05) << width;
    }
}

TEST(FullSpectrogram, AToneDrawsItsRowAtItsFrequency) {
    FeedTones(48000, 8192, {440.0f}, 0.5f, 2.0);
    const FullAxis axis = WholeFullAxis(700, true, 24000.0f);
    BuildFullPositionMap(axis, FullSpectrum.binHz, FullSpectrum.binCount, FullPeakExponent());
    const FullTimeline t = MakeFullTimeline(800);
    const long long newest = FullTimelineColumns(t, FullSpectrum.frames) - 1;
    std::vector<float> levels(700);
    ASSERT_TRUE(FullSpectrogramColumn(t, newest, levels.data()));
    EXPECT_NEAR(HighestPosition(levels.data(), 700), FullAxisPosition(axis, 440.0f), 1.0f);
    EXPECT_NEAR(levels[size_t(HighestPosition(levels.data(), 700))], -6.0f, 1.5f);
    EXPECT_NEAR(FullColumnAge(t, 799), 0.0, 1e-9);
    EXPECT_NEAR(FullColumnAge(t, 700), 100 * 10.0 / 800, FullFrameSeconds());
    // Columns older than the history, or not yet analysed, are not drawn.
    EXPECT_FALSE(FullSpectrogramColumn(t, newest + 1, levels.data()));
    EXPECT_LT(FullColumnAge(t, 0), 0.0);  // 2 s of a 10 s history: the left is still empty
}

}  // namespace
