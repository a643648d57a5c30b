// SPDX-License-Identifier: GPL-3.0-or-later
// Waveform strip: divisor, trigger, scaling and the trace on rows 0 .. 58.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/views/view_test_support.h"
#include "views/waveform.h"

namespace {

constexpr uint16_t kTraceColour = 0xFFE0;  // pen 1 as start-up sets it
constexpr int kBlock = 1024;

class WaveformTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetDrawingState(); }
    std::vector<int16_t> block = std::vector<int16_t>(kBlock, 0);
};

TEST(WaveformDivisor, GrowsLogarithmicallyFrom660) {
    EXPECT_EQ(WaveformDivisor(0), 132);
    EXPECT_EQ(WaveformDivisor(659), 132);
    EXPECT_EQ(WaveformDivisor(660), 263);  // 263.99999 in float arithmetic
    EXPECT_EQ(WaveformDivisor(1000), 147);
    EXPECT_EQ(WaveformDivisor(6600), 251);
    EXPECT_EQ(WaveformDivisor(20000), 530);
    EXPECT_EQ(WaveformDivisor(65535), 1312);
}

TEST_F(WaveformTest, SilenceIsAFlatLineOnTheCentreRow) {
    std::fill(block.begin(), block.end(), int16_t(-7));
    DrawWaveformStrip(block.data(), kBlock, 22050, false);
    EXPECT_EQ(CountColour(CanvasSurface, 0, 28, 240, 1, kTraceColour), 240);
    EXPECT_EQ(CountColour(CanvasSurface, 0, 0, 240, 59, kTraceColour), 240);
}

TEST_F(WaveformTest, RangeOf660HalvesTheHeight) {
    // A square wave of period 40 over the whole block.
    for (int i = 0; i < kBlock; i++)
        block[i] = (i / 20) % 2 ? int16_t(-330) : int16_t(329);
    DrawWaveformStrip(block.data(), kBlock, 22050, false);  // range 659: divisor 132
    EXPECT_GT(CountColour(CanvasSurface, 0, 30, 240, 1, kTraceColour), 100);  // 329 / 132 = 2
    EXPECT_GT(CountColour(CanvasSurface, 0, 26, 240, 1, kTraceColour), 100);  // -330 / 132

    ResetDrawingState();
    for (int i = 0; i < kBlock; i++)
        block[i] = (i / 20) % 2 ? int16_t(-330) : int16_t(330);
    DrawWaveformStrip(block.data(), kBlock, 22050, false);  // range 660: divisor 263
    EXPECT_GT(CountColour(CanvasSurface, 0, 29, 240, 1, kTraceColour), 100);
    EXPECT_GT(CountColour(CanvasSurface, 0, 27, 240, 1, kTraceColour), 100);
    EXPECT_EQ(CountColour(CanvasSurface, 0, 30, 240, 1, kTraceColour), 0);
}

TEST_F(WaveformTest, ToneTriggersOnItsFirstRiseAfterADip) {
    // Period 50, amplitude 10000: thresholds near +-6650. From sample 50 (phase 0) the trace
    // arms at the trough (sample 81) and fires at sample 106, the first above the threshold.
    auto tone = [&](int shift) {
        for (int i = 0; i < kBlock; i++) {
            block[i] = int16_t(std::lround(10000.0 * std::sin(2.0 * M_PI * (i + shift) / 50.0)));
        }
    };
    tone(0);
    ASSERT_GT(block[106], 6650);
    ASSERT_LT(block[105], 6650);
    DrawWaveformStrip(block.data(), kBlock, 22050, false);
    const int divisor = WaveformDivisor(2 * 9980);  // peaks at +-9980
    EXPECT_EQ(PixelAt(CanvasSurface, 0, 28 + block[106] / divisor), kTraceColour);
    const auto first = Region(CanvasSurface, 0, 0, 240, 59);

    // A later stretch of the same tone starts at another phase and draws the same trace.
    ResetDrawingState();
    tone(17);
    DrawWaveformStrip(block.data(), kBlock, 22050, false);
    EXPECT_EQ(Region(CanvasSurface, 0, 0, 240, 59), first);
}

TEST_F(WaveformTest, WithoutARisingEdgeTheTraceStartsAtTheBlock) {
    // A falling ramp arms the trigger but never rises above the upper threshold.
    for (int i = 0; i < kBlock; i++)
        block[i] = int16_t(-30 * i);
    DrawWaveformStrip(block.data(), kBlock, 22050, false);
    // Range 0 .. -15360: sample 0 on the centre row, sample 239 (-7170) above it.
    EXPECT_EQ(PixelAt(CanvasSurface, 0, 28), kTraceColour);
    EXPECT_EQ(PixelAt(CanvasSurface, 239, 28 - 7170 / WaveformDivisor(15360)), kTraceColour);
}

TEST_F(WaveformTest, LoudSamplesAreClampedAtRow58OnlyAtTheBottom) {
    for (int i = 0; i < kBlock; i++)
        block[i] = (i / 10) % 2 ? int16_t(-32768) : int16_t(32767);
    DrawWaveformStrip(block.data(), kBlock, 22050, false);
    // 32767 / 1312 = 24: row 52; -32768 / 1312 = -24: row 4. Nothing reaches 58 yet.
    EXPECT_GT(CountColour(CanvasSurface, 0, 52, 240, 1, kTraceColour), 0);
    EXPECT_GT(CountColour(CanvasSurface, 0, 4, 240, 1, kTraceColour), 0);
    EXPECT_FALSE(AnyPixelSet(CanvasSurface, 0, 53, 240, 7));

    // A silent block with one full-scale spike: the trace starts at the spike, 32767 / 765
    // = 42 rows below the centre, and is clamped to row 58.
    ResetDrawingState();
    std::fill(block.begin(), block.end(), int16_t(0));
    block[200] = 32767;
    DrawWaveformStrip(block.data(), kBlock, 22050, false);
    EXPECT_EQ(PixelAt(CanvasSurface, 0, 58), kTraceColour);
    EXPECT_EQ(PixelAt(CanvasSurface, 1, 28), kTraceColour);
    EXPECT_FALSE(AnyPixelSet(CanvasSurface, 0, 59, 240, 10));
}

TEST_F(WaveformTest, At11025TwoColumnsPerSample) {
    DrawWaveformStrip(block.data(), kBlock, 11025, false);
    EXPECT_EQ(CountColour(CanvasSurface, 0, 28, 240, 1, kTraceColour), 239);  // 0 .. 238
    EXPECT_EQ(PixelAt(CanvasSurface, 239, 28), 0);
}

TEST_F(WaveformTest, SkippedShortOrMissingBlocksDrawNothing) {
    DrawWaveformStrip(block.data(), kBlock, 22050, true);
    DrawWaveformStrip(block.data(), kWaveformMinBlock - 1, 22050, false);
    DrawWaveformStrip(nullptr, kBlock, 22050, false);
    EXPECT_FALSE(AnyPixelSet(CanvasSurface, 0, 0, 240, 59));
    // The shortest block, triggered as late as possible, is read up to its last sample.
    std::vector<int16_t> shortest(kWaveformMinBlock, 0);
    shortest[238] = 1000;
    shortest.back() = 500;
    DrawWaveformStrip(shortest.data(), kWaveformMinBlock, 22050, false);
    EXPECT_EQ(PixelAt(CanvasSurface, 0, 28 + 1000 / 147), kTraceColour);
    EXPECT_EQ(PixelAt(CanvasSurface, 239, 28 + 500 / 147), kTraceColour);
}

}  // namespace
