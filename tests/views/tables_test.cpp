// SPDX-License-Identifier: GPL-3.0-or-later
// The precomputed tables: colour map, level table, column map, tick tables.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "views/axes.h"
#include "views/block_view.h"
#include "views/level_tables.h"
#include "views/view_state.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

TEST(ColourMap, StandardMapHasTheTellingRows) {
    ASSERT_TRUE(BuildColourMap(256, 0.3f, 0.2f, 0.2f));
    const struct {
        int row;
        uint16_t colour;
    } rows[] = {{0, 0x0000},   {25, 0x000F},  {51, 0x001F},  {52, 0x011F},  {77, 0x05AF},
                {102, 0x07E0}, {103, 0x1FE0}, {140, 0xB7E0}, {178, 0xFFE0}, {179, 0xFF00},
                {200, 0xFBA0}, {230, 0xF960}, {253, 0xF800}, {254, 0xF800}, {255, 0xF800}};
    for (const auto& r : rows)
        EXPECT_EQ(ColourMap[r.row], r.colour) << "row " << r.row;
}

TEST(ColourMap, RunsThroughItsBandsWithoutStrayColours) {
    ASSERT_TRUE(BuildColourMap(256, 0.3f, 0.2f, 0.2f));
    for (int i = 0; i < 256; i++) {
        const int red = ColourMap[i] >> 11;
        const int green = (ColourMap[i] >> 5) & 0x3F;
        const int blue = ColourMap[i] & 0x1F;
        if (i <= 51) {  // black to blue
            EXPECT_TRUE(red == 0 && green == 0) << i;
        } else if (i <= 102) {  // blue to green
            EXPECT_EQ(red, 0) << i;
        } else if (i <= 178) {  // green to yellow
            EXPECT_TRUE(green == 63 && blue == 0) << i;
        } else {  // yellow to red
            EXPECT_TRUE(red == 31 && blue == 0) << i;
        }
        if (i > 0 && i <= 51) {
            EXPECT_GE(blue, ColourMap[i - 1] & 0x1F) << i;
        }
        if (i > 178) {
            EXPECT_LE(green, (ColourMap[i - 1] >> 5) & 0x3F) << i;
        }
    }
}

TEST(ColourMap, UnusableSharesLeaveTheMapAlone) {
    ASSERT_TRUE(BuildColourMap(256, 0.3f, 0.2f, 0.2f));
    EXPECT_FALSE(BuildColourMap(256, 0.0f, 0.2f, 0.2f));  // empty band: 1 / 0
    EXPECT_FALSE(BuildColourMap(256, 0.4f, 0.3f, 0.3f));  // no red band left
    EXPECT_FALSE(BuildColourMap(256, kNaN, 0.2f, 0.2f));
    EXPECT_FALSE(BuildColourMap(0, 0.3f, 0.2f, 0.2f));
    EXPECT_FALSE(BuildColourMap(257, 0.3f, 0.2f, 0.2f));  // more entries than the map holds
    EXPECT_EQ(ColourMap[140], 0xB7E0);
    EXPECT_EQ(ColourMap[255], 0xF800);
}

TEST(LevelTable, SpansTheRangeInEqualRatios) {
    BuildLevelTable(1.0f, 1e-10f, 256);  // 0 .. 100 dB
    // Entry 0 is the bottom, up to the rounding of ln(bottom) to float.
    EXPECT_NEAR(LevelTable[0], 1e-10f, 1e-16f);
    // One step below the top: 100 dB less a 256th of the 100 dB span.
    EXPECT_NEAR(LevelTable[255], std::pow(10.0, -10.0 / 256.0), 1e-5);
    EXPECT_LT(LevelTable[255], 1.0f);
    for (int i = 1; i < 256; i++) {
        EXPECT_NEAR(LevelTable[i] / LevelTable[i - 1], std::pow(10.0, 10.0 / 256.0), 1e-4);
    }
}

TEST(LevelTable, ExponentIsFormedInSinglePrecision) {
    // Worked out with w = float(23.02585...), r = float(0.0899447...) and the exponent
    // i x r - w rounded to float before the double exponential; an exponent formed in double
    // gives 1.09411452e-10, 8.0584249e-07 and 0.913981676 instead.
    BuildLevelTable(1.0f, 1e-10f, 256);
    EXPECT_EQ(LevelTable[1], 0x1.e1325ap-34f);    // 1.09411459e-10
    EXPECT_EQ(LevelTable[100], 0x1.b0a21ep-21f);  // 8.05842262e-07
    EXPECT_EQ(LevelTable[255], 0x1.d3f566p-1f);   // 0.913981616
}

TEST(LevelTable, UnusablePowersAreBoundedOrIgnored) {
    BuildLevelTable(1.0f, 1e-10f, 256);
    BuildLevelTable(kNaN, 1e-10f, 256);
    BuildLevelTable(1.0f, 1e-10f, 0);
    EXPECT_NEAR(LevelTable[0], 1e-10f, 1e-16f);  // unchanged
    EXPECT_NEAR(LevelTable[255], 0.914, 1e-3);

    BuildLevelTable(kInf, 0.0f, 256);  // a range far beyond the float powers
    EXPECT_NEAR(LevelTable[0] / FLT_MIN, 1.0f, 1e-5f);
    for (int i = 0; i < 256; i++) {
        ASSERT_TRUE(std::isfinite(LevelTable[i])) << i;
        if (i > 0) {
            EXPECT_GT(LevelTable[i], LevelTable[i - 1]) << i;
        }
    }
    EXPECT_LT(LevelTable[255], FLT_MAX);
}

TEST(FindLevel, CountsTheEntriesBelowAndClampsAtTheEnds) {
    BuildLevelTable(1.0f, 1e-10f, 256);
    EXPECT_EQ(FindLevel(0.0f), 0);
    EXPECT_EQ(FindLevel(LevelTable[1]), 0);  // at entry 1: not above it
    EXPECT_EQ(FindLevel(std::nextafter(LevelTable[1], 1.0f)), 1);
    EXPECT_EQ(FindLevel(LevelTable[100]), 99);
    EXPECT_EQ(FindLevel(std::nextafter(LevelTable[100], 1.0f)), 100);
    EXPECT_EQ(FindLevel(LevelTable[255]), 254);
    EXPECT_EQ(FindLevel(std::nextafter(LevelTable[255], 2.0f)), 255);
    EXPECT_EQ(FindLevel(10.0f), 255);
    // After noise subtraction, and from broken input.
    EXPECT_EQ(FindLevel(-1.0f), 0);
    EXPECT_EQ(FindLevel(kNaN), 0);
    EXPECT_EQ(FindLevel(-kInf), 0);
    EXPECT_EQ(FindLevel(kInf), 255);
}

// The side-by-side search must give each value what the one-value search gives, also on a
// table that is not ascending (the search then is no count) and for values on, between and
// beyond the entries, NaN and infinities.
TEST(FindLevel, ManyAtOnceGiveWhatEachSearchGives) {
    std::mt19937 random(17);
    std::vector<float> values;
    for (int i = 0; i < kLevelCount; ++i) {
        values.push_back(0.0f);
        values.push_back(-1.0f);
    }
    values.push_back(kNaN);
    values.push_back(kInf);
    values.push_back(-kInf);
    for (int table = 0; table < 3; ++table) {
        SCOPED_TRACE(table);
        if (table == 0) BuildLevelTable(1.0f, 1e-10f, 256);
        if (table == 1) BuildLevelTable(1e-3f, 1e-7f, 256);
        if (table == 2) {
            std::uniform_real_distribution<float> any(0.0f, 1.0f);
            for (float& entry : LevelTable)
                entry = any(random);
        }
        for (int i = 0; i < kLevelCount; ++i) {
            values[2 * i] = LevelTable[i];
            values[2 * i + 1] = std::nextafter(LevelTable[i], 2.0f);
        }
        std::uniform_real_distribution<float> exponent(-12.0f, 1.0f);
        for (int i = 0; i < 200; ++i)
            values.push_back(std::pow(10.0f, exponent(random)));
        for (size_t first = 0; first < values.size(); first += kViewPositions) {
            const int count =
                static_cast<int>(std::min<size_t>(kViewPositions, values.size() - first));
            int levels[kViewPositions];
            FindLevels(values.data() + first, levels, count);
            for (int i = 0; i < count; ++i)
                ASSERT_EQ(levels[i], FindLevel(values[first + i])) << values[first + i];
        }
    }
}

TEST(ColumnMap, LinearSpectrumMapRunsFromBinZeroToTheTopBin) {
    ASSERT_TRUE(BuildColumnMap(1024, 511.0f, 0.0f, 0, kSpectrumView));
    EXPECT_EQ(ColumnMap.columnPosition[0], 0.0f);
    EXPECT_NEAR(ColumnMap.columnPosition[239], 511.0f, 1e-3f);
    EXPECT_EQ(ColumnMap.columnBin[1], 2);  // 511 / 239 = 2.138 bins per column
    EXPECT_NEAR(ColumnMap.columnFraction[1], 0.138075f, 1e-5f);
    EXPECT_EQ(ColumnMap.columnBin[100], 213);
    for (int h = 240; h < 256; h++) {
        EXPECT_EQ(ColumnMap.columnPosition[h], ColumnMap.columnPosition[239]);
        EXPECT_EQ(ColumnMap.columnBin[h], ColumnMap.columnBin[239]);
    }
    for (int h = 0; h < 256; h++) {
        EXPECT_GE(ColumnMap.columnFraction[h], 0.0f);
        EXPECT_LT(ColumnMap.columnFraction[h], 1.0f);
    }
}

TEST(ColumnMap, LogSpectrogramMapStartsAtFiftyHertz) {
    const float lowBin = 50.0f / 22050.0f * 1024.0f;
    EXPECT_EQ(lowBin, 2.3219955f);
    ASSERT_TRUE(BuildColumnMap(1024, 511.0f, lowBin, 1, kSpectrogramView));
    EXPECT_EQ(ColumnMap.columnPosition[0], lowBin);
    EXPECT_EQ(ColumnMap.columnBin[0], 2);
    EXPECT_NEAR(ColumnMap.columnPosition[169], 511.0f, 1e-2f);
    const double ratio = std::pow(511.0 / 2.3219955, 1.0 / 169.0);
    for (int h = 1; h < 170; h++) {
        EXPECT_NEAR(ColumnMap.columnPosition[h] / ColumnMap.columnPosition[h - 1], ratio, 1e-5);
    }
    EXPECT_EQ(ColumnMap.columnPosition[255], ColumnMap.columnPosition[169]);
}

TEST(ColumnMap, LogPositionsFollowTheSinglePrecisionStep) {
    // k = float(log10(511 / 2.3219955f) / 239) = 0.0098015042f; h x k is a float product.
    // With h x k in double, position 239 would be 510.999969 and fall into bin 510.
    ASSERT_TRUE(BuildColumnMap(1024, 511.0f, 2.3219955f, 1, kSpectrumView));
    EXPECT_EQ(ColumnMap.columnPosition[140], 0x1.b5af72p+5f);  // 54.7106667
    EXPECT_EQ(ColumnMap.columnPosition[239], 0x1.ff0004p+8f);  // 511.000061
    EXPECT_EQ(ColumnMap.columnBin[239], 511);
}

TEST(ColumnMap, AnyNonZeroScaleFlagIsLogAndBadBinsAreRefused) {
    const float lowBin = 2.3219955f;
    ASSERT_TRUE(BuildColumnMap(1024, 511.0f, lowBin, 7, kSpectrumView));
    EXPECT_EQ(ColumnMap.columnPosition[0], lowBin);

    ASSERT_TRUE(BuildColumnMap(1024, 511.0f, 0.0f, 0, kSpectrumView));
    EXPECT_FALSE(BuildColumnMap(1024, 511.0f, 0.0f, 1, kSpectrumView));  // log from bin 0
    EXPECT_FALSE(BuildColumnMap(1024, 511.0f, kInf, 1, kSpectrumView));  // rate 0
    EXPECT_FALSE(BuildColumnMap(1024, 511.0f, kNaN, 1, kSpectrumView));
    EXPECT_FALSE(BuildColumnMap(4096, 2047.0f, 0.0f, 0, kSpectrumView));  // beyond the spectra
    EXPECT_FALSE(BuildColumnMap(1024, 600.0f, 0.0f, 0, kSpectrumView));
    EXPECT_EQ(ColumnMap.columnPosition[0], 0.0f);  // the linear map is still there
    EXPECT_NEAR(ColumnMap.columnPosition[239], 511.0f, 1e-3f);
}

TEST(FindColumn, FindsTheLastPositionBelow) {
    ASSERT_TRUE(BuildColumnMap(1024, 511.0f, 0.0f, 0, kSpectrumView));
    EXPECT_EQ(FindColumn(-5.0f), 0);
    EXPECT_EQ(FindColumn(0.0f), 0);
    EXPECT_EQ(FindColumn(ColumnMap.columnPosition[1]), 0);
    EXPECT_EQ(FindColumn(std::nextafter(ColumnMap.columnPosition[1], 9.0f)), 1);
    EXPECT_EQ(FindColumn(46.439f), 21);  // 1000 Hz at 21.5 Hz per bin
    EXPECT_EQ(FindColumn(ColumnMap.columnPosition[239]), 238);
    EXPECT_EQ(FindColumn(600.0f), 255);  // past the map: the last repeated entry
    EXPECT_EQ(FindColumn(kNaN), 0);
}

TEST(TickTables, HoldTheSevenLists) {
    const int logFull[] = {100, 200, 400, 1000, 2000, 4000, 8000};
    const TickTable& t = FrequencyTickTable(1, true, kSpectrumView);
    ASSERT_EQ(t.count, 7);
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(t.ticks[i], logFull[i]);

    EXPECT_EQ(&FrequencyTickTable(0, true, kSpectrumView), &LinearFullTicks);
    EXPECT_EQ(&FrequencyTickTable(0, true, kSpectrogramView), &LinearFullTicks);
    EXPECT_EQ(&FrequencyTickTable(0, false, kSpectrumView), &LinearHalfSpectrumTicks);
    EXPECT_EQ(&FrequencyTickTable(0, false, kSpectrogramView), &LinearHalfSpectrogramTicks);
    EXPECT_EQ(&FrequencyTickTable(1, true, kSpectrogramView), &LogFullSpectrogramTicks);
    EXPECT_EQ(&FrequencyTickTable(9, false, kSpectrumView), &LogHalfSpectrumTicks);
    EXPECT_EQ(&FrequencyTickTable(1, false, kSpectrogramView), &LogHalfSpectrogramTicks);
    EXPECT_EQ(LinearFullTicks.count, 10);
    EXPECT_EQ(LinearFullTicks.ticks[9], 10000);
    EXPECT_EQ(LogFullSpectrogramTicks.count, 10);
    EXPECT_EQ(LogFullSpectrogramTicks.ticks[3], 600);
    EXPECT_EQ(LinearHalfSpectrumTicks.count, 5);
    EXPECT_EQ(LinearHalfSpectrogramTicks.ticks[4], 5000);
    EXPECT_EQ(LogHalfSpectrumTicks.count, 6);
    EXPECT_EQ(LogHalfSpectrumTicks.ticks[5], 4000);
    EXPECT_EQ(LogHalfSpectrogramTicks.count, 8);
    EXPECT_EQ(LogHalfSpectrogramTicks.ticks[4], 800);
}

}  // namespace
