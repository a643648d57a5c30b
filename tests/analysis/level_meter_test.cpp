// SPDX-License-Identifier: GPL-3.0-or-later
// The input level meter on sines, silence and clipping, fed in capture-sized blocks.
#include "analysis/level_meter.h"

#include <gtest/gtest.h>

#include <cmath>
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

}  // namespace
