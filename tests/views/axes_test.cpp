// SPDX-License-Identifier: GPL-3.0-or-later
// Axes, labels and grids as they land on the overlay. Tick positions are worked out by hand
// in the program's precision (single-precision products, truncation) and drawn as the expected
// picture with the raster primitives.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "raster/font.h"
#include "raster/surface.h"
#include "tests/views/view_test_support.h"
#include "views/axes.h"
#include "views/level_tables.h"
#include "views/view_frame.h"
#include "views/view_state.h"

namespace {

constexpr PenCode kAxis = kPenOverlayWhite;

struct Tick {
    int position;  // column (spectrum) or map position (spectrogram)
    const char* label;
};

class AxesTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetDrawingState(); }

    // The spectrum's axis strip, rows 256 .. 267, as drawn for these ticks and unit.
    static std::vector<uint16_t> SpectrumAxis(const char* unit, const std::vector<Tick>& ticks) {
        return DrawnAlone(OverlaySurface, 0, 256, 240, 12, [&] {
            FillRect(kAxis, 0, 256, 240, 1);
            DrawText(kAxis, unit, 0, 260);
            for (const Tick& t : ticks) {
                DrawLine(kAxis, t.position, 256, t.position, 258);
                DrawText(kAxis, t.label, t.position - 2, 260);
            }
        });
    }

    // The spectrum's dB scale, columns 207 .. 239 of rows 85 .. 255, with ticks at these
    // heights for 10, 20, ... dB; ticks 155 or more above row 255 carry no label.
    static std::vector<uint16_t> SpectrumDbScale(const std::vector<int>& heights) {
        return DrawnAlone(OverlaySurface, 207, 85, 33, 171, [&] {
            DrawText(kAxis, "dB", 215, 87);
            for (size_t i = 0; i < heights.size(); i++) {
                const int row = 255 - heights[i];
                DrawLine(kAxis, 207, row, 212, row);
                if (heights[i] < 155) {
                    DrawText(kAxis, std::to_string(10 * (i + 1)).c_str(), 215, row);
                }
            }
        });
    }
};

TEST_F(AxesTest, LinearFullBandSpectrumAxisIsLabelledInKilohertz) {
    SetupFrequencyView(22050, 1024, 1, 0, kSpectrumView);
    const std::vector<Tick> ticks = {{21, "1"},  {43, "2"},  {65, "3"},  {86, "4"},  {108, "5"},
                                     {130, "6"}, {152, "7"}, {173, "8"}, {195, "9"}, {217, "10"}};
    EXPECT_EQ(Region(OverlaySurface, 0, 256, 240, 12), SpectrumAxis("kHz", ticks));
    EXPECT_EQ(PixelAt(OverlaySurface, 0, 257), 0xFFFF);  // the full-width fill's spill
}

TEST_F(AxesTest, LogFullBandSpectrumAxisIsLabelledInHertzThenK) {
    SetupFrequencyView(22050, 1024, 1, 1, kSpectrumView);
    const std::vector<Tick> ticks = {{30, "100"}, {61, "200"}, {92, "400"}, {132, "1k"},
                                     {163, "2k"}, {194, "4k"}, {224, "8k"}};
    EXPECT_EQ(Region(OverlaySurface, 0, 256, 240, 12), SpectrumAxis("Hz", ticks));
}

TEST_F(AxesTest, DeviceProfileLogHalfBandAxis) {
    SetupFrequencyView(11025, 512, 1, 1, kSpectrumView);  // 11025 always shows the half band
    const std::vector<Tick> ticks = {{35, "100"}, {70, "200"}, {105, "400"},
                                     {152, "1k"}, {187, "2k"}, {222, "4k"}};
    EXPECT_EQ(Region(OverlaySurface, 0, 256, 240, 12), SpectrumAxis("Hz", ticks));
}

TEST_F(AxesTest, SpectrogramAxisStandsRightOfThePlot) {
    SetupFrequencyView(22050, 1024, 0, 0, kSpectrogramView);  // linear, half band
    const std::vector<Tick> ticks = {{30, "1"}, {61, "2"}, {92, "3"}, {122, "4"}, {153, "5"}};
    const auto expected = DrawnAlone(OverlaySurface, 202, 86, 38, 171, [&] {
        DrawLine(kAxis, 202, 86, 202, 256);
        DrawText(kAxis, "kHz", 212, 86);
        for (const Tick& t : ticks) {
            DrawLine(kAxis, 202, 255 - t.position, 210, 255 - t.position);
            DrawText(kAxis, t.label, 213, 256 - t.position);
        }
    });
    EXPECT_EQ(Region(OverlaySurface, 202, 86, 38, 171), expected);
}

TEST_F(AxesTest, LogSpectrogramTicksFollowTheLogMap) {
    SetupFrequencyView(22050, 1024, 1, 1, kSpectrogramView);
    const int rows[] = {21, 43, 65, 77, 86, 93, 115, 137, 149, 159};  // map positions
    for (int position : rows) {
        EXPECT_EQ(PixelAt(OverlaySurface, 206, 255 - position), 0xFFFF) << position;
    }
    EXPECT_EQ(CountColour(OverlaySurface, 206, 86, 1, 170, 0xFFFF), 10);
}

TEST_F(AxesTest, TickAtOrBelowTheFirstPositionLandsOnPositionZero) {
    ASSERT_TRUE(BuildColumnMap(1024, 511.0f, 2.3219955f, 1, kSpectrogramView));
    const int ticks[] = {10};  // Hz, below the map's 50 Hz
    DrawFrequencyAxis(22050, 1024, 1, ticks, 1, kSpectrogramView);
    EXPECT_EQ(PixelAt(OverlaySurface, 206, 255), 0xFFFF);
}

TEST_F(AxesTest, SpectrumDbScaleTicksFrom17To153) {
    SetDbRange(100, 0, 10.0f, kSpectrumView);
    // (m - min) x (span x 170) with span x 170 = 1.6999999f: 30, 60 and 70 dB truncate low.
    EXPECT_EQ(Region(OverlaySurface, 207, 85, 33, 171),
              SpectrumDbScale({17, 34, 50, 68, 85, 101, 118, 136, 153}));
    EXPECT_EQ(CountColour(OverlaySurface, 207, 85, 1, 171, 0xFFFF), 9);
    EXPECT_EQ(PixelAt(OverlaySurface, 207, 255 - 17), 0xFFFF);
    EXPECT_EQ(PixelAt(OverlaySurface, 207, 255 - 153), 0xFFFF);
}

TEST_F(AxesTest, TopDbTickFifteenPixelsUnderThePlotTopHasNoLabel) {
    SetDbRange(92, 0, 10.0f, kSpectrumView);  // an automatic range
    EXPECT_EQ(Region(OverlaySurface, 207, 85, 33, 171),
              SpectrumDbScale({18, 36, 55, 73, 92, 110, 129, 147, 166}));
}

TEST_F(AxesTest, NegativeDbValuesAreLabelledByMagnitude) {
    SetDbRange(0, -100, 10.0f, kSpectrumView);
    const auto expected =
        DrawnAlone(OverlaySurface, 215, 238, 16, 7, [] { DrawText(kAxis, "90", 215, 238); });
    EXPECT_EQ(Region(OverlaySurface, 215, 238, 16, 7), expected);  // -90 dB, 17 up
}

TEST_F(AxesTest, SpectrogramLegendCarriesTheDbLabels) {
    SetDbRange(100, 0, 10.0f, kSpectrogramView);
    const int columns[] = {23, 47, 71, 95, 119, 143, 167, 191, 215};  // x 2.3999999f
    const auto expected = DrawnAlone(OverlaySurface, 0, 256, 240, 12, [&] {
        PaintColourBar(ColourMap, 256);
        DrawText(kAxis, "dB", 0, 256);
        for (int i = 0; i < 9; i++) {
            DrawLine(kAxis, columns[i], 268, columns[i], 263);
            DrawText(kAxis, std::to_string(10 * (i + 1)).c_str(), columns[i] - 8, 256);
        }
    });
    EXPECT_EQ(Region(OverlaySurface, 0, 256, 240, 12), expected);
}

TEST_F(AxesTest, SpectrogramLegendSkipsMinus90AndPinsTheRightLabel) {
    SetDbRange(0, -100, 10.0f, kSpectrogramView);
    EXPECT_EQ(PixelAt(OverlaySurface, 23, 265), ColourMap[23 + 23 / 16 + 1]);  // no -90 tick
    EXPECT_EQ(PixelAt(OverlaySurface, 47, 265), 0xFFFF);                       // -80

    ResetDrawingState();
    SetDbRange(100, 0, 5.0f, kSpectrogramView);  // 95 dB at column 227: label at 220
    const auto label =
        DrawnAlone(OverlaySurface, 220, 256, 20, 7, [] { DrawText(kAxis, "95", 220, 256); });
    for (size_t i = 0; i < label.size(); i++) {
        if (label[i] != 0) {
            EXPECT_EQ(Region(OverlaySurface, 220, 256, 20, 7)[i], 0xFFFF) << i;
        }
    }
}

TEST_F(AxesTest, DbLabelsOffLeaveTheBareLegend) {
    SetDbLabelsVisible(false);
    DrawDbAxis(kSpectrogramView);
    const auto bar =
        DrawnAlone(OverlaySurface, 0, 256, 240, 12, [] { PaintColourBar(ColourMap, 256); });
    EXPECT_EQ(Region(OverlaySurface, 0, 256, 240, 12), bar);

    SetDbLabelsVisible(true);
    DrawDbAxis(kSpectrogramView);
    const auto dB =
        DrawnAlone(OverlaySurface, 0, 256, 16, 7, [] { DrawText(kAxis, "dB", 0, 256); });
    const auto now = Region(OverlaySurface, 0, 256, 16, 7);
    for (size_t i = 0; i < dB.size(); i++) {
        if (dB[i] != 0) {
            EXPECT_EQ(now[i], 0xFFFF) << i;
        }
    }
}

TEST_F(AxesTest, DbGridKeepsItsOwnFormula) {
    SetDbRange(100, 0, 10.0f, kSpectrumView);
    SetDbGridVisible(true);
    DrawDbGrid(kSpectrumView);
    // 170 / 100 = 1.7f: the grid meets 51, 102 and 119 where the ticks truncate a pixel low.
    const int heights[] = {17, 34, 51, 68, 85, 102, 119, 136, 153};
    for (int g : heights) {
        EXPECT_EQ(CountColour(OverlaySurface, 0, 255 - g, 240, 1, 0xF800), 240) << g;
    }
    EXPECT_EQ(CountColour(OverlaySurface, 100, 86, 1, 170, 0xF800), 9);

    SetDbGridVisible(false);
    DrawDbGrid(kSpectrumView);
    EXPECT_EQ(CountColour(OverlaySurface, 0, 86, 240, 170, 0xF800), 0);
    DrawDbGrid(kSpectrogramView);  // the spectrogram has no grid
    EXPECT_FALSE(AnyPixelSet(OverlaySurface, 0, 86, 200, 170));
}

TEST_F(AxesTest, FrequencyGridUsesTheSpectrumTable) {
    SetupFrequencyView(22050, 1024, 1, 1, kSpectrumView);
    SetFreqGridVisible(true);
    DrawFrequencyGrid(kSpectrumView);
    const int columns[] = {30, 61, 92, 132, 163, 194, 224};
    for (int x : columns)
        EXPECT_EQ(CountColour(OverlaySurface, x, 86, 1, 170, 0xF800), 170) << x;
    EXPECT_EQ(CountColour(OverlaySurface, 0, 150, 240, 1, 0xF800), 7);

    SetFreqGridVisible(false);
    DrawFrequencyGrid(kSpectrumView);
    EXPECT_EQ(CountColour(OverlaySurface, 0, 86, 240, 170, 0xF800), 0);
}

TEST_F(AxesTest, TimeAxisTicksEveryMillisecond) {
    for (const auto& [rate, spacing] : {std::pair{22050, 1}, std::pair{11025, 2}}) {
        ResetDrawingState();
        DrawTimeAxis(rate, 240, spacing);
        const auto expected = DrawnAlone(OverlaySurface, 0, 59, 240, 12, [] {
            FillRect(kAxis, 0, 59, 240, 1);
            DrawText(kAxis, "msec", 206, 64);
            for (int i = 0; i <= 10; i++) {
                DrawLine(kAxis, 22 * i, 59, 22 * i, 64);
                if (22 * i < 196) DrawText(kAxis, std::to_string(i).c_str(), 22 * i + 1, 64);
            }
        });
        EXPECT_EQ(Region(OverlaySurface, 0, 59, 240, 12), expected) << rate;
    }
}

TEST_F(AxesTest, TimeAxisWithoutATimeScaleDrawsOnlyTheLine) {
    DrawTimeAxis(0, 240, 1);
    DrawTimeAxis(22050, 240, 0);
    DrawTimeAxis(22050, 1 << 30, 1);  // as wide as the strip, not an endless loop
    EXPECT_EQ(CountColour(OverlaySurface, 0, 60, 240, 4, 0xFFFF), 11 * 4);
}

TEST_F(AxesTest, BadDbRangesDrawNoTicksAndNeverHang) {
    const struct {
        int max, min;
        float step;
    } ranges[] = {{50, 50, 10.0f}, {20, 80, 10.0f},
                  {100, 0, 0.0f},  {100, 0, -10.0f},
                  {100, 0, 0.5f},  {100, 0, std::numeric_limits<float>::quiet_NaN()}};
    for (const auto& r : ranges) {
        ResetDrawingState();
        SetDbRange(r.max, r.min, r.step, kSpectrumView);
        SetDbGridVisible(true);
        DrawDbGrid(kSpectrumView);
        SetDbRange(r.max, r.min, r.step, kSpectrogramView);
        EXPECT_EQ(CountColour(OverlaySurface, 207, 86, 1, 170, 0xFFFF), 0) << r.max << " " << r.min;
        EXPECT_EQ(CountColour(OverlaySurface, 0, 86, 240, 170, 0xF800), 0);
        EXPECT_EQ(CountColour(OverlaySurface, 0, 263, 240, 5, 0xFFFF), 0);
    }
}

TEST_F(AxesTest, FarOutDbValuesAreLimitedAndStayOnThePlot) {
    SetDbRange(2000000000, -2000000000, 10.0f, kSpectrumView);
    EXPECT_EQ(ViewState.dbMax, kViewDbHighest);
    EXPECT_EQ(ViewState.dbMin, kViewDbLowest);
    // 199 ticks of 0.85 pixels: all on the scale, between rows 86 and 255.
    EXPECT_GT(CountColour(OverlaySurface, 207, 86, 1, 170, 0xFFFF), 150);
    EXPECT_FALSE(AnyPixelSet(OverlaySurface, 207, 0, 6, 85));
    SetDbRange(100, 0, 1e9f, kSpectrumView);
    EXPECT_EQ(ViewState.dbStep, kViewDbHighest - kViewDbLowest);
}

}  // namespace
