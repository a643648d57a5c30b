// SPDX-License-Identifier: GPL-3.0-or-later
// DrawBlockView: resampling, averaging, peak hold (spectrum) and colour strips (spectrogram).
// The dB range is 0 .. 100 throughout: span 0.01f, two dB = 3.4 pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "tests/views/view_test_support.h"
#include "views/axes.h"
#include "views/block_view.h"
#include "views/level_tables.h"
#include "views/view_frame.h"
#include "views/view_state.h"

namespace {

constexpr int kRate = 22050;
constexpr int kBlock = 1024;
constexpr uint16_t kSpectrumColour = 0x87E0;
constexpr uint16_t kPeakColour = 0x07FF;

float Spectrum[1024];

// Fills every bin with a power between level index k and k + 1: FindLevel gives k, the
// spectrum view's pixel height is truncate(k x 170/256).
void FillLevel(int k) {
    const float power = k == 0 ? 0.0f : LevelTable[k] * 1.01f;
    std::fill_n(Spectrum, 1024, power);
}

class BlockViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetDrawingState();
        BuildLevelTable(1.0f, 1e-10f, 256);
        SetDbRange(100, 0, 10.0f, kSpectrumView);
        SetAveragingFactor(0.0f);
        ASSERT_TRUE(BuildColumnMap(1024, 511.0f, 0.0f, 0, kSpectrumView));
        RequestViewReset(true);
    }

    // Draws `blocks` spectrum-view blocks of level index k.
    static void DrawSpectrumBlocks(int k, int blocks) {
        FillLevel(k);
        for (int b = 0; b < blocks; b++)
            DrawBlockView(Spectrum, kRate, kBlock, kSpectrumView);
    }
};

TEST_F(BlockViewTest, WithoutAveragingEachBlockShowsAsItIs) {
    SetPeakProfile(kPeakProfileNone);
    DrawSpectrumBlocks(200, 1);  // 200 x 0.6640625 = 132.8: height 132, row 123
    EXPECT_EQ(SmoothedLevels[0], 132.0f);
    EXPECT_EQ(CountColour(CanvasSurface, 0, 123, 240, 1, kSpectrumColour), 240);
    DrawSpectrumBlocks(181, 1);  // height 120 at once
    EXPECT_EQ(SmoothedLevels[239], 120.0f);
    EXPECT_EQ(CountColour(CanvasSurface, 0, 135, 240, 1, kSpectrumColour), 240);
}

TEST_F(BlockViewTest, AveragingKeepsNinetyPercentOfThePreviousLevel) {
    SetPeakProfile(kPeakProfileNone);
    SetAveragingFactor(0.9f);
    const int heights[] = {13, 24, 34, 43, 51, 59, 66, 72};  // s = 0.1 x 132 + 0.9 x s, truncated
    for (int h : heights) {
        DrawSpectrumBlocks(200, 1);
        EXPECT_EQ(SmoothedLevels[50], float(h));
        EXPECT_EQ(PixelAt(CanvasSurface, 50, 255 - h), kSpectrumColour) << h;
    }
}

TEST_F(BlockViewTest, ResetClearsAveragingAndPeaksAtTheNextBlock) {
    SetAveragingFactor(0.7f);
    DrawSpectrumBlocks(255, 5);
    ASSERT_GT(SmoothedLevels[10], 100.0f);
    ASSERT_GT(PeakHoldRecord[10].level, 100.0f);
    RequestViewReset(true);
    DrawSpectrumBlocks(0, 1);
    EXPECT_EQ(ViewState.resetPending, 0);
    EXPECT_EQ(SmoothedLevels[10], 0.0f);
    EXPECT_EQ(PeakHoldRecord[10].level, 0.0f);
    EXPECT_EQ(PeakHoldRecord[10].elapsedSamples, double(kBlock));
}

TEST_F(BlockViewTest, NoPeakProfileLeavesThePeaksOnTheBottomRow) {
    for (int profile : {kPeakProfileNone, 7, -1}) {  // unknown profiles hold like None
        SetUp();
        SetPeakProfile(profile);
        DrawSpectrumBlocks(255, 3);
        EXPECT_EQ(PeakHoldRecord[120].level, 0.0f) << profile;
        EXPECT_EQ(PeakHoldRecord[120].elapsedSamples, 3.0 * kBlock);
        EXPECT_EQ(CountColour(CanvasSurface, 0, 255, 240, 1, kPeakColour), 240);
        EXPECT_EQ(CountColour(CanvasSurface, 0, 86, 240, 1, kSpectrumColour), 240);
    }
}

TEST_F(BlockViewTest, MusicHoldsATenthOfASecondThenFallsSixDbPerSecond) {
    SetPeakProfile(kPeakProfileMusic);
    DrawSpectrumBlocks(200, 1);  // captured at 132, drawn over the spectrum trace
    EXPECT_EQ(PeakHoldRecord[0].level, 132.0f);
    EXPECT_EQ(PixelAt(CanvasSurface, 60, 123), kPeakColour);

    // Held while the 2205 samples of 0.1 s have not passed: after 1024 and 2048 samples.
    DrawSpectrumBlocks(0, 2);
    EXPECT_EQ(PeakHoldRecord[0].level, 132.0f);
    EXPECT_EQ(PeakHoldRecord[0].elapsedSamples, 3.0 * kBlock);

    // Then 1024 x 0.01 x 1020 / 22050 = 0.47368705 pixels per block.
    const float decay = 0.47368705f;
    DrawSpectrumBlocks(0, 1);
    EXPECT_EQ(PeakHoldRecord[0].level, 132.0f - decay);
    float level = 132.0f - decay;
    for (int b = 0; b < 20; b++)
        level = level - decay;
    DrawSpectrumBlocks(0, 20);
    EXPECT_EQ(PeakHoldRecord[0].level, level);
    EXPECT_EQ(PixelAt(CanvasSurface, 60, int(255.0f - level)), kPeakColour);

    // A higher level recaptures at once.
    DrawSpectrumBlocks(255, 1);
    EXPECT_EQ(PeakHoldRecord[0].level, 169.0f);
    EXPECT_EQ(PeakHoldRecord[0].elapsedSamples, double(kBlock));
}

TEST_F(BlockViewTest, CalibrateRecapturesWithinTwoDbAfterOneSecond) {
    SetPeakProfile(kPeakProfileCalibrate);
    DrawSpectrumBlocks(200, 1);  // 132
    ASSERT_EQ(PeakHoldRecord[0].level, 132.0f);

    // 130 is within 3.4 pixels: no recapture while the peak is younger than 22050 samples.
    DrawSpectrumBlocks(196, 20);
    EXPECT_EQ(PeakHoldRecord[0].level, 132.0f);
    EXPECT_EQ(PeakHoldRecord[0].elapsedSamples, 21.0 * kBlock);
    DrawSpectrumBlocks(196, 1);  // 21504 samples old: still recent
    EXPECT_EQ(PeakHoldRecord[0].level, 132.0f);
    DrawSpectrumBlocks(196, 1);  // 22528 > 22050: recaptured
    EXPECT_EQ(PeakHoldRecord[0].level, 130.0f);
    EXPECT_EQ(PeakHoldRecord[0].elapsedSamples, double(kBlock));
}

TEST_F(BlockViewTest, CalibrateHoldsFiveSecondsThenFallsFaster) {
    SetPeakProfile(kPeakProfileCalibrate);
    DrawSpectrumBlocks(200, 1);  // 132
    // 120 is more than two dB below: never recaptured; the peak holds 110250 samples.
    DrawSpectrumBlocks(181, 107);
    EXPECT_EQ(PeakHoldRecord[0].level, 132.0f);
    EXPECT_EQ(PeakHoldRecord[0].elapsedSamples, 108.0 * kBlock);

    // 110592 samples old: falls by (110592 - 110250) x 0.78947848 / 110250.
    const float decay = 0.78947848f;
    const float first = float(132.0 - (110592.0 - 110250.0) * double(decay) / 110250.0);
    DrawSpectrumBlocks(181, 1);
    EXPECT_EQ(PeakHoldRecord[0].level, first);
    const float second = float(double(first) - (111616.0 - 110250.0) * double(decay) / 110250.0);
    DrawSpectrumBlocks(181, 1);
    EXPECT_EQ(PeakHoldRecord[0].level, second);
    EXPECT_GT(132.0f - first, 0.0f);
    EXPECT_GT(first - second, 132.0f - first);  // the fall speeds up

    // Once it has fallen to within two dB of the level, the level recaptures it.
    int blocks = 0;
    while (PeakHoldRecord[0].level > 120.0f && blocks < 1000) {
        DrawSpectrumBlocks(181, 1);
        blocks++;
    }
    EXPECT_EQ(PeakHoldRecord[0].level, 120.0f);
    EXPECT_LT(blocks, 1000);
}

TEST_F(BlockViewTest, ColumnsInterpolateInsideABinAndTakeTheMaximumAcrossBins) {
    std::fill_n(Spectrum, 1024, 0.0f);
    Spectrum[22] = 1.0f;  // column 10 covers bins 22 and 23 (positions 21.38 to 23.52)
    DrawBlockView(Spectrum, kRate, kBlock, kSpectrumView);
    EXPECT_EQ(ColumnValues[10], 1.0f);
    EXPECT_EQ(ColumnValues[9], 0.0f);
    EXPECT_EQ(ColumnValues[11], 0.0f);
    EXPECT_EQ(ColumnValues[255], ColumnValues[239]);

    // Log map: the lowest rows lie inside bin 2 and mix it with bin 3.
    ASSERT_TRUE(BuildColumnMap(1024, 511.0f, 2.3219955f, 1, kSpectrogramView));
    std::fill_n(Spectrum, 1024, 0.0f);
    Spectrum[2] = 1.0f;
    DrawBlockView(Spectrum, kRate, kBlock, kSpectrogramView);
    const float m = (ColumnMap.columnFraction[0] + ColumnMap.columnFraction[1]) * 0.5f;
    EXPECT_EQ(ColumnMap.columnBin[1], 2);
    EXPECT_EQ(ColumnValues[0], 1.0f - m);
    EXPECT_GT(ColumnValues[0], 0.5f);
    EXPECT_LT(ColumnValues[0], 0.7f);
    EXPECT_EQ(ColumnValues[169], ColumnValues[200]);
}

TEST_F(BlockViewTest, ResamplingCasesByHowManyBinsAPositionCrosses) {
    // A hand-made map: position 0 inside bin 5, position 1 into the next bin with the mean
    // fraction past it, position 2 across bins 7 .. 9, position 3 into the next bin short of it.
    const struct {
        int bin;
        float fraction;
    } map[] = {{5, 0.25f}, {5, 0.75f}, {6, 0.5f}, {9, 0.0f}, {10, 0.25f}};
    for (int h = 0; h < 5; h++) {
        ColumnMap.columnBin[h] = map[h].bin;
        ColumnMap.columnFraction[h] = map[h].fraction;
    }
    std::fill_n(Spectrum, 1024, 0.0f);
    Spectrum[5] = 1.0f;
    Spectrum[6] = 128.0f;
    Spectrum[7] = 64.0f;
    Spectrum[8] = 4.0f;
    Spectrum[9] = 8.0f;
    Spectrum[10] = 16.0f;
    DrawBlockView(Spectrum, kRate, kBlock, kSpectrumView);
    EXPECT_EQ(ColumnValues[0], 64.5f);  // m = 0.5: half of bins 5 and 6
    // m = 1.125: an eighth of the bin at position 3 (bin 9, not bin 7) and the rest of bin 6.
    EXPECT_EQ(ColumnValues[1], 113.0f);
    EXPECT_EQ(ColumnValues[2], 64.0f);  // the largest of bins 7 .. 9; bin 6 is not looked at
    EXPECT_EQ(ColumnValues[3], 13.0f);  // m = 0.625: 0.375 x bin 9 + 0.625 x bin 10
}

TEST_F(BlockViewTest, BrokenSpectrumValuesStayOnThePlot) {
    SetPeakProfile(kPeakProfileMusic);
    SetAveragingFactor(0.9f);
    const float values[] = {-1.0f, -std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::infinity(), 3e38f};
    for (float v : values) {
        std::fill_n(Spectrum, 1024, v);
        DrawBlockView(Spectrum, kRate, kBlock, kSpectrumView);
        for (int i = 0; i < 240; i++) {
            ASSERT_GE(SmoothedLevels[i], 0.0f) << v;
            ASSERT_LE(SmoothedLevels[i], 169.0f) << v;
            ASSERT_GE(PeakHoldRecord[i].level, 0.0f) << v;
            ASSERT_LE(PeakHoldRecord[i].level, 169.0f) << v;
        }
    }
    EXPECT_FALSE(AnyPixelSet(CanvasSurface, 0, 0, 240, 86));  // nothing above the plot
    // Negative values after noise subtraction give level 0.
    RequestViewReset(true);
    std::fill_n(Spectrum, 1024, -1e-3f);
    DrawBlockView(Spectrum, kRate, kBlock, kSpectrumView);
    EXPECT_EQ(SmoothedLevels[30], 0.0f);
}

TEST_F(BlockViewTest, EmptyOrReversedDbRangeKeepsThePeakFallFinite) {
    SetPeakProfile(kPeakProfileMusic);
    for (const auto& [max, min] : {std::pair{50, 50}, std::pair{20, 80}}) {
        SetDbRange(max, min, 10.0f, kSpectrumView);
        DrawSpectrumBlocks(255, 1);
        DrawSpectrumBlocks(0, 5);  // held twice, then falls as if one dB wide: 47.4 px a block
        const float decay = 47.368706f;
        EXPECT_EQ(PeakHoldRecord[0].level, 169.0f - decay - decay - decay);
    }
    // Calibrate with a zero-width range, and a sample rate of 0.
    SetPeakProfile(kPeakProfileCalibrate);
    DrawSpectrumBlocks(255, 200);
    DrawBlockView(Spectrum, 0, kBlock, kSpectrumView);
    DrawBlockView(Spectrum, kRate, -5, kSpectrumView);
    DrawBlockView(nullptr, kRate, kBlock, kSpectrumView);
    for (int i = 0; i < 240; i++)
        ASSERT_EQ(PeakHoldRecord[i].level, 169.0f);
}

class SpectrogramTest : public BlockViewTest {
  protected:
    void SetUp() override {
        BlockViewTest::SetUp();
        ASSERT_TRUE(BuildColumnMap(1024, 511.0f, 0.0f, 0, kSpectrogramView));
        std::fill_n(CanvasSurface.pixels, kSurfacePixels, uint16_t(0x1234));
    }
    static void DrawStrip(float power) {
        std::fill_n(Spectrum, 1024, power);
        DrawBlockView(Spectrum, kRate, kBlock, kSpectrogramView);
    }
};

TEST_F(SpectrogramTest, SilenceIsBlackAndFullScaleIsRed) {
    DrawStrip(0.0f);
    EXPECT_EQ(CountColour(CanvasSurface, 201, 86, 1, 170, 0x0000), 170);
    EXPECT_EQ(PixelAt(CanvasSurface, 201, 85), 0x1234);   // above the plot: untouched
    EXPECT_EQ(PixelAt(CanvasSurface, 201, 256), 0x1234);  // below it too

    DrawStrip(10.0f);  // above the top of the table
    EXPECT_EQ(CountColour(CanvasSurface, 201, 86, 1, 170, 0xF800), 170);
    EXPECT_EQ(CountColour(CanvasSurface, 197, 86, 1, 170, 0x0000), 170);  // scrolled by 4
    EXPECT_EQ(PixelAt(CanvasSurface, 202, 100), 0x1234);  // the axis area is not scrolled
    EXPECT_EQ(SmoothedLevels[0], 255.0f);
}

TEST_F(SpectrogramTest, LowFrequenciesAreAtTheBottom) {
    std::fill_n(Spectrum, 1024, 0.0f);
    Spectrum[1] = Spectrum[2] = 10.0f;  // rows 0 and 1 cover bins 0 .. 3
    DrawBlockView(Spectrum, kRate, kBlock, kSpectrogramView);
    EXPECT_EQ(PixelAt(CanvasSurface, 201, 255), 0xF800);
    EXPECT_EQ(PixelAt(CanvasSurface, 201, 86), 0x0000);
}

TEST_F(SpectrogramTest, WithAveragingATuneFadesIn) {
    SetAveragingFactor(0.9f);
    const int levels[] = {25, 48, 68, 86, 102, 117, 130, 142};  // 0.1 x 255 + 0.9 x s
    for (int v : levels) {
        DrawStrip(10.0f);
        EXPECT_EQ(PixelAt(CanvasSurface, 201, 170), ColourMap[v]) << v;
    }
    EXPECT_EQ(PeakHoldRecord[0].level, 0.0f);  // no peak hold in this view
    EXPECT_EQ(PeakHoldRecord[0].elapsedSamples, 0.0);
}

}  // namespace
