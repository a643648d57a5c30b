// SPDX-License-Identifier: GPL-3.0-or-later
// View state, layout rectangles, setters and the frame sequences.
#include <gtest/gtest.h>

#include <limits>

#include "raster/font.h"
#include "tests/views/view_test_support.h"
#include "views/axes.h"
#include "views/level_tables.h"
#include "views/view_frame.h"
#include "views/view_state.h"

namespace {

constexpr uint16_t kWhite = 0xFFFF;
constexpr uint16_t kRed = 0xF800;

class ViewStateTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetDrawingState(); }
};

// SetUp has reset the record, after whatever earlier tests left in it.
TEST_F(ViewStateTest, ResetGivesTheValuesTheProgramStartsWith) {
    const ViewStateRecord& v = ViewState;
    EXPECT_EQ(v.captureRate, 0);
    EXPECT_EQ(v.fftSize, 0);
    EXPECT_EQ(v.rateSetting, 0);
    EXPECT_EQ(v.logScale, 0);
    EXPECT_EQ(v.dbMax, 100);
    EXPECT_EQ(v.dbMin, 0);
    EXPECT_EQ(v.dbStep, 10);
    EXPECT_EQ(v.averagingFactor, 0.0f);
    EXPECT_EQ(v.peakProfile, kPeakProfileMusic);
    EXPECT_EQ(v.dbLabelsVisible, 1);
    EXPECT_EQ(v.dbGridVisible, 0);
    EXPECT_EQ(v.freqGridVisible, 0);
    EXPECT_EQ(v.resetPending, 0);
    EXPECT_EQ(v.axisPen, 49);
    EXPECT_EQ(v.readoutFramePen, 47);
    EXPECT_EQ(v.gridPen, 46);
    EXPECT_EQ(v.tracePen, 1);
    EXPECT_EQ(v.peakPen, 4);
    EXPECT_EQ(v.spectrumPen, 0);
}

TEST_F(ViewStateTest, SettersStoreTheirArgument) {
    SetDbGridVisible(true);
    SetFreqGridVisible(true);
    SetDbLabelsVisible(false);
    RequestViewReset(true);
    SetAveragingFactor(0.7f);
    SetPeakProfile(kPeakProfileCalibrate);
    EXPECT_EQ(ViewState.dbGridVisible, 1);
    EXPECT_EQ(ViewState.freqGridVisible, 1);
    EXPECT_EQ(ViewState.dbLabelsVisible, 0);
    EXPECT_EQ(ViewState.resetPending, 1);
    EXPECT_EQ(ViewState.averagingFactor, 0.7f);
    EXPECT_EQ(ViewState.peakProfile, kPeakProfileCalibrate);
    SetPeakProfile(9);  // kept as given; the peak hold treats it as None
    EXPECT_EQ(ViewState.peakProfile, 9);
    EXPECT_FALSE(AnyPixelSet(OverlaySurface, 0, 0, 240, 320));  // setters draw nothing
}

TEST_F(ViewStateTest, AveragingFactorOutsideZeroToOneIsLimited) {
    SetAveragingFactor(1.5f);
    EXPECT_EQ(ViewState.averagingFactor, 1.0f);
    SetAveragingFactor(-0.2f);
    EXPECT_EQ(ViewState.averagingFactor, 0.0f);
    SetAveragingFactor(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(ViewState.averagingFactor, 0.0f);
    SetAveragingFactor(0.9f);
    EXPECT_EQ(ViewState.averagingFactor, 0.9f);
}

TEST_F(ViewStateTest, CalibratingNoticeByView) {
    ShowCalibrating(kSpectrumView, true);
    const auto notice = DrawnAlone(OverlaySurface, 85, 110, 88, 7,
                                   [] { DrawText(kPenOverlayWhite, "Calibrating", 85, 110); });
    EXPECT_EQ(Region(OverlaySurface, 85, 110, 88, 7), notice);
    ShowCalibrating(kSpectrumView, false);
    EXPECT_FALSE(AnyPixelSet(OverlaySurface, 0, 0, 240, 320));

    ShowCalibrating(kSpectrogramView, true);  // on the canvas, white
    const auto canvasNotice = DrawnAlone(CanvasSurface, 115, 150, 88, 7,
                                         [] { DrawText(kPenWhite, "Calibrating", 115, 150); });
    EXPECT_EQ(Region(CanvasSurface, 115, 150, 88, 7), canvasNotice);
    ShowCalibrating(kSpectrogramView, false);  // left to scroll away
    EXPECT_EQ(Region(CanvasSurface, 115, 150, 88, 7), canvasNotice);
}

TEST_F(ViewStateTest, SetupFrequencyViewLeavesOnlyTheFrequencyAxisOnTheOverlay) {
    SetDbRange(80, 20, 10.0f, kSpectrumView);
    ASSERT_TRUE(AnyPixelSet(OverlaySurface, 207, 85, 33, 170));
    std::fill_n(CanvasSurface.pixels, kSurfacePixels, uint16_t(0x1111));
    SetupFrequencyView(22050, 1024, 1, 0, kSpectrumView);
    EXPECT_EQ(ViewState.resetPending, 1);
    EXPECT_EQ(ViewState.captureRate, 22050);
    EXPECT_EQ(ViewState.fftSize, 1024);
    EXPECT_FALSE(AnyPixelSet(OverlaySurface, 0, 0, 240, 256));  // the dB scale is gone
    EXPECT_EQ(CountColour(OverlaySurface, 0, 256, 240, 1, kWhite), 240);
    // The canvas loses only the label strip.
    EXPECT_EQ(CountColour(CanvasSurface, 0, 256, 240, 12, 0x1111), 0);
    EXPECT_EQ(PixelAt(CanvasSurface, 0, 255), 0x1111);
    EXPECT_EQ(PixelAt(CanvasSurface, 0, 268), 0x1111);
}

TEST_F(ViewStateTest, UnknownRateSettingStopsAfterTheResetRequest) {
    SetupFrequencyView(22050, 1024, 1, 0, kSpectrumView);
    const float before = ColumnMap.columnPosition[100];
    std::fill_n(OverlaySurface.pixels, kSurfacePixels, uint16_t(0));
    SetupFrequencyView(22050, 1024, 5, 1, kSpectrumView);
    EXPECT_EQ(ViewState.rateSetting, 5);
    EXPECT_EQ(ViewState.logScale, 1);
    EXPECT_EQ(ViewState.resetPending, 1);
    EXPECT_EQ(ColumnMap.columnPosition[100], before);
    EXPECT_FALSE(AnyPixelSet(OverlaySurface, 0, 0, 240, 320));
    RedrawViewFrame(kSpectrumView);  // grids and dB scale still draw
    EXPECT_TRUE(AnyPixelSet(OverlaySurface, 207, 85, 33, 170));
}

TEST_F(ViewStateTest, RedrawViewFrameDrawsTheSpectrumFrame) {
    SetupFrequencyView(22050, 1024, 1, 1, kSpectrumView);
    SetDbRange(100, 0, 10.0f, kSpectrumView);
    SetDbGridVisible(true);
    SetFreqGridVisible(true);
    RedrawViewFrame(kSpectrumView);
    EXPECT_EQ(CountColour(OverlaySurface, 0, 256, 240, 1, kWhite), 240);  // frequency axis
    EXPECT_EQ(CountColour(OverlaySurface, 0, 238, 200, 1, kRed), 200);    // dB grid at 10 dB
    EXPECT_EQ(CountColour(OverlaySurface, 132, 86, 1, 170, kRed), 170);   // 1 kHz line
    // The dB axis is drawn last, over the grid.
    EXPECT_EQ(PixelAt(OverlaySurface, 207, 238), kWhite);

    SetDbGridVisible(false);
    SetFreqGridVisible(false);
    SetDbLabelsVisible(false);
    RedrawViewFrame(kSpectrumView);
    EXPECT_EQ(CountColour(OverlaySurface, 0, 86, 240, 170, kRed), 0);
    EXPECT_EQ(CountColour(OverlaySurface, 207, 86, 33, 170, kWhite), 0);
    EXPECT_EQ(CountColour(OverlaySurface, 0, 256, 240, 1, kWhite), 240);
}

TEST_F(ViewStateTest, WithLabelsOffTheGridsAreDrawnAfterTheErasedScale) {
    SetupFrequencyView(22050, 1024, 1, 1, kSpectrumView);
    SetDbRange(100, 0, 10.0f, kSpectrumView);
    SetDbLabelsVisible(false);
    SetDbGridVisible(true);
    SetFreqGridVisible(true);
    RedrawViewFrame(kSpectrumView);
    // The 10 dB tick (row 238) and the 8 kHz line (column 224) cross the scale's erasing
    // pen; the grids come last, so they run through it.
    EXPECT_EQ(CountColour(OverlaySurface, 0, 238, 240, 1, kRed), 240);
    EXPECT_EQ(CountColour(OverlaySurface, 224, 86, 1, 170, kRed), 170);
}

TEST_F(ViewStateTest, RedrawViewFramePaintsTheLegendInTheSpectrogram) {
    SetupFrequencyView(22050, 1024, 1, 0, kSpectrogramView);
    RedrawViewFrame(kSpectrogramView);
    EXPECT_EQ(PixelAt(OverlaySurface, 16, 267), ColourMap[18]);
    EXPECT_EQ(PixelAt(OverlaySurface, 202, 150), kWhite);               // frequency axis
    EXPECT_GT(CountColour(OverlaySurface, 0, 256, 16, 7, kWhite), 10);  // "dB"
    EXPECT_EQ(PixelAt(OverlaySurface, 100, 268), 0);  // the bar ends with the view area
}

TEST_F(ViewStateTest, EnteringTheSpectrumView) {
    std::fill_n(CanvasSurface.pixels, kSurfacePixels, uint16_t(0x1111));
    ShowCalibrating(kSpectrumView, true);
    EnterSpectrumView(22050, 1024, 1, 0);
    EXPECT_EQ(ViewState.resetPending, 1);
    EXPECT_EQ(CountColour(CanvasSurface, 0, 85, 240, 170, 0x1111), 0);  // plot cleared
    EXPECT_EQ(PixelAt(CanvasSurface, 0, 71), 0x001F);                   // readout band
    EXPECT_EQ(PixelAt(CanvasSurface, 100, 78), 0x0000);
    EXPECT_EQ(PixelAt(CanvasSurface, 100, 50), 0x1111);         // the waveform strip stays
    EXPECT_FALSE(AnyPixelSet(OverlaySurface, 85, 110, 88, 7));  // no notice
    EXPECT_EQ(CountColour(OverlaySurface, 0, 256, 240, 1, kWhite), 240);
    EXPECT_EQ(PixelAt(OverlaySurface, 207, 238), kWhite);  // dB scale
}

TEST_F(ViewStateTest, EnteringTheSpectrogramView) {
    std::fill_n(CanvasSurface.pixels, kSurfacePixels, uint16_t(0x1111));
    EnterSpectrogramView(22050, 1024, 1, 1);
    EXPECT_EQ(ViewState.resetPending, 1);
    EXPECT_EQ(ViewState.logScale, 1);
    EXPECT_EQ(CountColour(CanvasSurface, 0, 86, 240, 170, 0x1111), 0);
    EXPECT_EQ(PixelAt(CanvasSurface, 100, 85), 0x1111);
    EXPECT_EQ(PixelAt(CanvasSurface, 0, 71), 0x001F);
    EXPECT_EQ(PixelAt(OverlaySurface, 202, 150), kWhite);
    EXPECT_EQ(PixelAt(OverlaySurface, 16, 267), ColourMap[18]);
}

TEST_F(ViewStateTest, ClearsWipeTheWholeOverlay) {
    DrawTimeAxis(22050, 240, 1);
    ClearFrequencyAxisArea(kSpectrogramView);
    EXPECT_FALSE(AnyPixelSet(OverlaySurface, 0, 0, 240, 320));
    std::fill_n(CanvasSurface.pixels, kSurfacePixels, uint16_t(0x1111));
    ClearFrequencyAxisArea(kSpectrogramView);
    EXPECT_EQ(CountColour(CanvasSurface, 202, 86, 38, 170, 0x1111), 0);
    EXPECT_EQ(PixelAt(CanvasSurface, 201, 100), 0x1111);
    ClearDbAxisArea(kSpectrumView);
    EXPECT_EQ(CountColour(CanvasSurface, 207, 85, 33, 1, 0x1111), 0);  // row 85 is its own
    EXPECT_EQ(PixelAt(CanvasSurface, 206, 85), 0x1111);
    ClearDbAxisArea(kSpectrogramView);  // repaints the legend instead
    EXPECT_EQ(PixelAt(OverlaySurface, 0, 256), ColourMap[1]);
}

TEST_F(ViewStateTest, FadesShareOneRhythm) {
    std::fill_n(CanvasSurface.pixels, kSurfacePixels, uint16_t(0xFFFF));
    FadeWaveformStrip();
    FadeSpectrumPlot();
    EXPECT_EQ(PixelAt(CanvasSurface, 0, 0), 0xFFFF);  // two calls only accumulate
    FadeWaveformStrip();                              // the third fires
    EXPECT_EQ(PixelAt(CanvasSurface, 0, 0), 0xC618);
    EXPECT_EQ(PixelAt(CanvasSurface, 239, 58), 0xC618);
    EXPECT_EQ(PixelAt(CanvasSurface, 0, 59), 0xFFFF);
    FadeSpectrumPlot();
    FadeSpectrumPlot();  // the fifth fires with the second rule
    EXPECT_EQ(PixelAt(CanvasSurface, 0, 85), 0x73CE);
    EXPECT_EQ(PixelAt(CanvasSurface, 239, 254), 0x73CE);
    EXPECT_EQ(PixelAt(CanvasSurface, 0, 255), 0xFFFF);
    EXPECT_EQ(PixelAt(CanvasSurface, 0, 84), 0xFFFF);
}

}  // namespace
