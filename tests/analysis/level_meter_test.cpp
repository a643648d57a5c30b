// SPDX-License-Identifier: GPL-3.0-or-later
// The input level meter on sines, silence and clipping, fed in capture-sized blocks.
#include "analysis/level_meter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

// `seconds` of a sine of `amplitude` (of 32767) at 1 kHz, or a constant `value` when amplitude
// is 0, fed in blocks of 1024 samples.
void Feed(int rate, double amplitude, double seconds, int value = 0) {
    std::vector<int16_t> block(1024);
    const long long total = std::llround(seconds * rate);
    static long long phase = 0;
    for (long long at = 0; at < total; at += 1024) {
        const int count = int(std::min<long long>(1024, total - at));
        for (int i = 0; i < count; i++, phase++) {
            block[size_t(i)] =
                amplitude == 0.0
                    ? int16_t(value)
                    : int16_t(std::lround(amplitude * 32767.0 *
                                          std::sin(2.0 * M_PI * 1000.0 * double(phase) / rate)));
        }
        FeedLevelMeter(block.data(), count);
    }
}

TEST(LevelMeter, AFullScaleSineReadsZeroPeakMinusThreeRmsAndClipsForTwoSeconds) {
    for (int rate : {22050, 48000, 96000}) {
        ConfigureLevelMeter(rate);
        Feed(rate, 1.0, 0.5);
        LevelReading r = ReadLevelMeter();
        EXPECT_NEAR(r.peakDb, 0.0f, 0.01f) << rate;
        EXPECT_NEAR(r.rmsDb, -3.01f, 0.01f) << rate;
        EXPECT_TRUE(r.clipped) << rate;
        char text[64];
        FormatLevelReading(r, false, text, sizeof text);
        EXPECT_STREQ(text, "Peak 0.0  RMS -3.0 dBFS");
        FormatLevelReading(r, true, text, sizeof text);
        EXPECT_STREQ(text, "0.0 / -3.0 dBFS");
        // Silence after it: the window forgets the sine after 100 ms, the sign stays 2 s,
        // counted in samples from the last one at or above -0.1 dBFS.
        ConfigureLevelMeter(rate);
        const int16_t loud = 32393;  // -0.09997 dBFS
        FeedLevelMeter(&loud, 1);
        Feed(rate, 0.0, 0.1);
        r = ReadLevelMeter();
        EXPECT_EQ(r.peakDb, kLevelMeterFloorDb) << rate;
        EXPECT_EQ(r.rmsDb, kLevelMeterFloorDb) << rate;
        EXPECT_TRUE(r.clipped) << rate;
        const int16_t zero = 0;
        for (int i = rate / 10; i < 2 * rate - 1; i++)
            FeedLevelMeter(&zero, 1);
        EXPECT_TRUE(ReadLevelMeter().clipped) << rate;
        FeedLevelMeter(&zero, 1);
        EXPECT_FALSE(ReadLevelMeter().clipped) << rate;
    }
}

TEST(LevelMeter, SilenceReadsTheFloorAndAQuietSineItsOwnLevels) {
    ConfigureLevelMeter(48000);
    LevelReading r = ReadLevelMeter();  // nothing fed yet
    EXPECT_EQ(r.peakDb, kLevelMeterFloorDb);
    EXPECT_EQ(r.rmsDb, kLevelMeterFloorDb);
    EXPECT_FALSE(r.clipped);
    char text[64];
    FormatLevelReading(r, false, text, sizeof text);
    EXPECT_STREQ(text, "Peak -100.0  RMS -100.0 dBFS");
    EXPECT_EQ(FormatLevelReading(r, false, text, 9), 8);
    EXPECT_STREQ(text, "Peak -10");
    Feed(48000, 0.0, 1.0);
    r = ReadLevelMeter();
    EXPECT_EQ(r.peakDb, -100.0f);
    EXPECT_EQ(r.rmsDb, -100.0f);
    EXPECT_FALSE(r.clipped);

    Feed(48000, 0.1, 0.3);  // -20 dBFS
    r = ReadLevelMeter();
    EXPECT_NEAR(r.peakDb, -20.0f, 0.01f);
    EXPECT_NEAR(r.rmsDb, -23.01f, 0.01f);
    EXPECT_FALSE(r.clipped);
    // One sample short of -0.1 dBFS does not clip; the peak is the newest 100 ms's only.
    const int16_t justBelow = -32392;
    FeedLevelMeter(&justBelow, 1);
    EXPECT_FALSE(ReadLevelMeter().clipped);
    EXPECT_NEAR(ReadLevelMeter().peakDb, -0.1f, 0.001f);
    Feed(48000, 0.1, 0.1);
    EXPECT_NEAR(ReadLevelMeter().peakDb, -20.0f, 0.01f);
    // The most negative sample is full scale, and a constant offset reads as its level.
    Feed(48000, 0.0, 0.2, -32768);
    r = ReadLevelMeter();
    EXPECT_EQ(r.peakDb, 0.0f);
    EXPECT_EQ(r.rmsDb, 0.0f);
    EXPECT_TRUE(r.clipped);
    Feed(48000, 0.0, 0.2, 1);  // one unit: -90.3 dBFS, above the floor
    EXPECT_NEAR(ReadLevelMeter().peakDb, -90.31f, 0.01f);
}

TEST(LevelMeter, ARateBeyondTheRingIsMeasuredOverTheLongestWindow) {
    ConfigureLevelMeter(192000);
    EXPECT_EQ(LevelMeterRate(), 192000);
    Feed(192000, 0.5, 0.3);
    EXPECT_NEAR(ReadLevelMeter().rmsDb, -9.03f, 0.02f);
}

TEST(LevelMeter, SpansAreCountedInWholeWindowsOfTheLimitedRateAndRestartWithTheRate) {
    const std::vector<int16_t> samples(9600, 100);
    ConfigureLevelMeter(22050);  // 2205 samples a span
    EXPECT_EQ(LevelMeterSpansTaken(), 0);
    FeedLevelMeter(samples.data(), 2204);
    EXPECT_EQ(LevelMeterSpansTaken(), 0);
    FeedLevelMeter(samples.data(), 1);
    EXPECT_EQ(LevelMeterSpansTaken(), 1);
    FeedLevelMeter(samples.data(), 4410);
    EXPECT_EQ(LevelMeterSpansTaken(), 3);
    ConfigureLevelMeter(192000);  // limited to 96000 Hz: 9600 samples a span
    EXPECT_EQ(LevelMeterSpansTaken(), 0);
    FeedLevelMeter(samples.data(), 9599);
    EXPECT_EQ(LevelMeterSpansTaken(), 0);
    FeedLevelMeter(samples.data(), 1);
    EXPECT_EQ(LevelMeterSpansTaken(), 1);
}

// A plain meter over the whole history fed since the configuration, to hold the meter to.
struct ReferenceMeter {
    static constexpr int kClipping = 32393;  // the smallest magnitude at or above -0.1 dBFS
    int window = 0;                          // samples
    long long hold = 0;                      // samples
    std::vector<int16_t> history;
    long long lastClip = -1;  // the newest clipping sample's place in the history

    void Configure(int rate) {
        const int limited = std::clamp(rate, 8000, kLevelMeterMaxRate);
        window = limited / 10;
        hold = 2LL * limited;
        history.clear();
        lastClip = -1;
    }
    void Feed(const int16_t* samples, int count) {
        for (int i = 0; i < count; i++) {
            if (std::abs(int(samples[i])) >= kClipping) lastClip = (long long)history.size();
            history.push_back(samples[i]);
        }
    }
    static float Decibels(double ratio) {
        if (!(ratio > 0.0)) return kLevelMeterFloorDb;
        return std::max(kLevelMeterFloorDb, std::min(0.0f, float(20.0 * std::log10(ratio))));
    }
    LevelReading Read() const {
        if (history.empty()) return {kLevelMeterFloorDb, kLevelMeterFloorDb, false};
        int peak = 0;
        long long squares = 0;
        for (size_t i = history.size() - std::min(history.size(), size_t(window));
             i < history.size(); i++) {
            const int v = history[i];
            peak = std::max(peak, std::abs(v));
            squares += (long long)v * v;
        }
        return {Decibels(peak / 32768.0), Decibels(std::sqrt(double(squares) / window) / 32768.0),
                lastClip >= 0 && (long long)history.size() - 1 - lastClip < hold};
    }
};

// Samples in runs of one kind, up to `longest` samples long: silence, loud noise that never
// clips, quiet noise, a sine, bursts just below the clip sign's threshold; and less often
// either end of the scale held, or a burst at or above the threshold.
struct SignalMaker {
    static constexpr int kClipping = ReferenceMeter::kClipping;
    std::mt19937 random{29};
    int kind = 0;
    int left = 0;  // samples of the run still to come

    int Below(int n) { return int(random() % unsigned(n)); }
    int16_t Next(int longest) {
        if (left == 0) {
            kind = Below(16);
            left = 1 + (kind == 4 || kind == 7 ? Below(40) : Below(longest));
        }
        left--;
        const int sign = Below(2) == 0 ? 1 : -1;
        switch (kind) {
            case 0:
                return 0;
            case 1:
                return int16_t(Below(2 * kClipping - 1) - (kClipping - 1));
            case 2:
                return int16_t(Below(601) - 300);
            case 3:
                return int16_t(std::lround(9000.0 * std::sin(0.013 * double(left))));
            case 4:
                return int16_t(sign * (kClipping - 1));
            case 5:
                return -32768;
            case 6:
                return 32767;
            case 7:
                return int16_t(sign * (kClipping + Below(3)));
            default:
                return 0;
        }
    }
};

// Feeds a block to the meter and to the reference, and holds every reading to it.
void FeedBoth(ReferenceMeter& reference, const int16_t* samples, int count) {
    FeedLevelMeter(samples, count);
    reference.Feed(samples, count);
    const LevelReading got = ReadLevelMeter();
    const LevelReading want = reference.Read();
    const long long fed = (long long)reference.history.size();
    const int rate = LevelMeterRate();
    EXPECT_EQ(got.peakDb, want.peakDb) << rate << " Hz after " << fed;
    EXPECT_EQ(got.rmsDb, want.rmsDb) << rate << " Hz after " << fed;
    EXPECT_EQ(got.clipped, want.clipped) << rate << " Hz after " << fed;
    EXPECT_EQ(LevelMeterClipping(), want.clipped) << rate << " Hz after " << fed;
    EXPECT_EQ(LevelMeterSpansTaken(), fed / reference.window) << rate << " Hz after " << fed;
}

TEST(LevelMeter, EveryReadingMatchesTheWholeHistoryWhateverTheBlocks) {
    // Limited rates, odd ones, and the same rate again: each configuration forgets all.
    const int rates[] = {22050, 22050, 8000, 7000, 11025, 22051, 44100, 48000, 96000, 250000};
    ReferenceMeter reference;
    SignalMaker signal;
    std::vector<int16_t> block;
    for (const int rate : rates) {
        ConfigureLevelMeter(rate);
        reference.Configure(rate);
        while ((long long)reference.history.size() < 4 * reference.hold) {
            // Blocks of any size, some at the window's edges or beyond the ring (16384).
            int count = 1 + signal.Below(20000);
            switch (signal.Below(4)) {
                case 0:
                    count = 1 + signal.Below(64);
                    break;
                case 1:
                    count = reference.window - 1 + signal.Below(3);
                    break;
                case 2:
                    count = 16383 + signal.Below(3);
                    break;
            }
            block.resize(size_t(count));
            for (int16_t& v : block)
                v = signal.Next(8 * reference.window);
            FeedBoth(reference, block.data(), count);
            if (HasFailure()) return;
        }
    }
}

TEST(LevelMeter, TheClipSignGoesAtTheSameSampleWhereverTheClipFellInItsBlock) {
    ReferenceMeter reference;
    std::vector<int16_t> block;
    for (const int rate : {8000, 96000}) {
        for (const int count : {1, 2, 1024, 20000}) {
            for (const int at : {0, 1, count / 2, count - 2, count - 1}) {
                if (at < 0 || at >= count) continue;
                ConfigureLevelMeter(rate);
                reference.Configure(rate);
                // Loud samples that do not clip around one that does.
                block.assign(size_t(count), -(ReferenceMeter::kClipping - 1));
                block[size_t(at)] = at % 2 == 0 ? -32768 : ReferenceMeter::kClipping;
                FeedBoth(reference, block.data(), count);
                // Silence up to the last sample that holds the sign, then one more; a block
                // longer than the hold may see it go within itself.
                const long long left =
                    reference.lastClip + reference.hold - (long long)reference.history.size();
                if (left < 0) continue;
                block.assign(size_t(left), 0);
                FeedBoth(reference, block.data(), int(left));
                EXPECT_TRUE(LevelMeterClipping()) << count << " " << at;
                const int16_t zero = 0;
                FeedBoth(reference, &zero, 1);
                EXPECT_FALSE(LevelMeterClipping()) << count << " " << at;
            }
        }
    }
}

}  // namespace
