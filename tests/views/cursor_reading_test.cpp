// SPDX-License-Identifier: GPL-3.0-or-later
// The pointer's reading of the view: the frequency of a column or row agrees with the axis
// ticks the views draw from the same column map, the level of a row with the dB scale's
// ticks, the age of a strip with the block length; points off the plot read as nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/views/view_test_support.h"
#include "views/axes.h"
#include "views/cursor_reading.h"
#include "views/view_state.h"

namespace {

constexpr float kBinHz = 22050.0f / 1024.0f;
constexpr float kTopHz = 511.0f * kBinHz;  // the top bin, shown by the last position
constexpr float kLowBin = 2.3219955f;      // 50 Hz in bins

class CursorReadingTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetDrawingState(); }

    static void Show(uint8_t logScale, int view, int rateSetting = 1) {
        ViewState.captureRate = 22050;
        ViewState.fftSize = 1024;
        ViewState.rateSetting = rateSetting;
        ViewState.logScale = logScale;
        ViewState.dbMin = 20;
        ViewState.dbMax = 80;
        ASSERT_TRUE(BuildColumnMap(1024, 511.0f, logScale != 0 ? kLowBin : 0.0f, logScale, view));
    }
    static ViewReading Read(int x, int y, int view) {
        ViewReading reading{};
        EXPECT_TRUE(ReadViewPoint(x, y, view, &reading)) << x << ", " << y;
        return reading;
    }
};

TEST_F(CursorReadingTest, TheEndsOfBothScalesReadTheirBinsFrequencies) {
    Show(0, kSpectrumView);
    EXPECT_EQ(Read(0, 200, kSpectrumView).frequency, 0.0f);
    EXPECT_NEAR(Read(239, 200, kSpectrumView).frequency, kTopHz, 0.01f);
    Show(1, kSpectrumView);
    EXPECT_NEAR(Read(0, 200, kSpectrumView).frequency, 50.0f, 0.001f);
    EXPECT_NEAR(Read(239, 200, kSpectrumView).frequency, kTopHz, 0.05f);
    // The "11025 Hz" setting halves the bins: the same map reads half the frequencies.
    Show(0, kSpectrumView, 0);
    EXPECT_NEAR(Read(239, 200, kSpectrumView).frequency, kTopHz / 2, 0.01f);
    // The spectrogram runs bottom up over 170 rows.
    Show(0, kSpectrogramView);
    EXPECT_EQ(Read(100, kPlotBottomRow, kSpectrogramView).frequency, 0.0f);
    EXPECT_NEAR(Read(100, kPlotTopRow, kSpectrogramView).frequency, kTopHz, 0.01f);
}

// A tick of frequency F is drawn at the last position below F; the pointer on that column
// (row) must read at most F, and on the next one more than F: within one position of it.
TEST_F(CursorReadingTest, EveryAxisTickLiesBetweenTheReadingsOfItsPositionAndTheNext) {
    for (const uint8_t logScale : {uint8_t(0), uint8_t(1)}) {
        for (const int view : {kSpectrumView, kSpectrogramView}) {
            Show(logScale, view);
            const TickTable& ticks = FrequencyTickTable(logScale, true, view);
            for (int i = 0; i < ticks.count; i++) {
                const float hz = float(ticks.ticks[i]);
                const int position = FindColumn(hz / kBinHz);
                const bool spectrum = view == kSpectrumView;
                const ViewReading at = spectrum ? Read(position, 200, view)
                                                : Read(100, kPlotBottomRow - position, view);
                const ViewReading next = spectrum ? Read(position + 1, 200, view)
                                                  : Read(100, kPlotBottomRow - position - 1, view);
                EXPECT_LE(at.frequency, hz) << int(logScale) << " " << view << " " << hz;
                EXPECT_GT(next.frequency, hz) << int(logScale) << " " << view << " " << hz;
            }
        }
    }
}

TEST_F(CursorReadingTest, RowsReadTheLevelsOfTheDbScaleWithinOneRow) {
    Show(0, kSpectrumView);
    const float rowDb = 60.0f / 170.0f;
    EXPECT_EQ(Read(10, kPlotBottomRow, kSpectrumView).levelDb, 20.0f);
    EXPECT_NEAR(Read(10, kPlotTopRow, kSpectrumView).levelDb, 80.0f - rowDb, 1e-4f);
    // The dB scale's tick of m sits at row 255 - trunc((m - 20) * 170 / 60).
    for (int m = 30; m < 80; m += 10) {
        const int row = kPlotBottomRow - int(float(m - 20) * (1.0f / 60.0f * 170.0f));
        const float read = Read(10, row, kSpectrumView).levelDb;
        EXPECT_LE(read, float(m)) << m;
        EXPECT_GT(read + rowDb, float(m)) << m;
    }
}

TEST_F(CursorReadingTest, TheSpectrogramsColumnsReadTheAgeOfTheirStripInBlocks) {
    Show(0, kSpectrogramView);
    const float block = 1024.0f / 22050.0f;
    for (const int x : {201, 200, 199, 198})
        EXPECT_EQ(Read(x, 150, kSpectrogramView).secondsAgo, 0.0f);
    EXPECT_NEAR(Read(197, 150, kSpectrogramView).secondsAgo, block, 1e-6f);
    EXPECT_NEAR(Read(0, 150, kSpectrogramView).secondsAgo, 50 * block, 1e-5f);
}

TEST_F(CursorReadingTest, PointsOffThePlotReadAsNothing) {
    Show(0, kSpectrumView);
    ViewReading reading{};
    reading.frequency = -1.0f;
    for (const auto& [x, y] : {std::pair{-1, 100}, std::pair{240, 100}, std::pair{100, 85},
                               std::pair{100, 256}, std::pair{100, 10}}) {
        EXPECT_FALSE(ReadViewPoint(x, y, kSpectrumView, &reading)) << x << ", " << y;
    }
    EXPECT_FALSE(ReadViewPoint(202, 100, kSpectrogramView, &reading));  // the axis
    EXPECT_EQ(reading.frequency, -1.0f);
    EXPECT_TRUE(ReadViewPoint(201, 100, kSpectrogramView, &reading));
    EXPECT_FALSE(ReadViewPoint(100, 100, kSpectrumView, nullptr));
}

TEST_F(CursorReadingTest, ReadingsAreWrittenInHertzOrKilohertzAndCutToTheRoomGiven) {
    char text[64];
    EXPECT_EQ(FormatViewReading({440.4f, 62.4f, 0.0f}, kSpectrumView, text, sizeof text), 13);
    EXPECT_STREQ(text, "440 Hz  62 dB");
    FormatViewReading({1250.0f, 0.0f, 2.32f}, kSpectrogramView, text, sizeof text);
    EXPECT_STREQ(text, "1.25 kHz  2.3 s ago");
    EXPECT_EQ(FormatViewReading({440.0f, 62.0f, 0.0f}, kSpectrumView, text, 8), 7);
    EXPECT_STREQ(text, "440 Hz ");
    EXPECT_EQ(FormatViewReading({440.0f, 62.0f, 0.0f}, kSpectrumView, text, 0), 0);
}

}  // namespace
