// SPDX-License-Identifier: GPL-3.0-or-later
// The core end to end: a sung-like tone with harmonics goes block by block through the
// pipeline into the in-memory display, and the test reads the screen as a user would.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/headless/display_memory.h"
#include "raster/font.h"
#include "raster/surface.h"
#include "shell/pipeline.h"
#include "shell/settings.h"
#include "tests/shell/shell_test_support.h"
#include "views/level_tables.h"
#include "views/readout.h"
#include "views/view_frame.h"
#include "views/view_state.h"

namespace {

constexpr int kBlock = 1024;
constexpr double kPi = 3.141592653589793;
constexpr double kToneHz = 440.0;  // bin 20.43 at 22050 Hz and 1024 points

// 440 Hz with two weaker harmonics, continuous from block to block.
class ToneSource {
  public:
    void Next(int16_t* block) {
        for (int i = 0; i < kBlock; ++i, ++t_) {
            const double phase = 2.0 * kPi * kToneHz * static_cast<double>(t_) / 22050.0;
            const double v = 8000.0 * std::sin(phase) + 3000.0 * std::sin(2 * phase) +
                             1500.0 * std::sin(3 * phase);
            block[i] = static_cast<int16_t>(std::lround(v));
        }
    }

  private:
    long t_ = 0;
};

void FeedBlocks(ToneSource& source, int blocks) {
    int16_t block[kBlock];
    for (int i = 0; i < blocks; ++i) {
        source.Next(block);
        ProcessBlock(block, kBlock, false);
    }
}

// The highest colour-map level that has this colour.
int LevelOfColour(uint16_t colour) {
    for (int v = kColourCount - 1; v >= 0; --v) {
        if (ColourMap[v] == colour) return v;
    }
    return -1;
}

// The readout band as a locked readout of the current texts must look: black text drawn
// with the font on the white interior (columns 3 .. 236, rows 73 .. 82).
void ExpectLockedReadoutOnScreen() {
    static uint16_t expected[kSurfacePixels];
    std::memset(expected, 0, sizeof expected);
    FrameSurface scratch = {kSurfaceFlagsStandard, kSurfaceWidth, kSurfaceHeight, expected};
    for (int y = 73; y <= 82; ++y) {
        for (int x = 3; x <= 236; ++x)
            expected[y * kSurfaceWidth + x] = 0xFFFF;
    }
    DrawGlyphString(&scratch, ReadoutState.frequencyText, 5, 74, 0x0000);
    DrawGlyphString(&scratch, ReadoutState.noteText, 100, 74, 0x0000);
    DrawGlyphString(&scratch, ReadoutState.centsText, 150, 74, 0x0000);
    int textPixels = 0;
    for (int y = 73; y <= 82; ++y) {
        for (int x = 3; x <= 236; ++x) {
            ASSERT_EQ(ScreenPixel(x, y), expected[y * kSurfaceWidth + x]) << x << ", " << y;
            textPixels += expected[y * kSurfaceWidth + x] == 0;
        }
    }
    EXPECT_GT(textPixels, 100);  // the texts are there, not just the white interior
}

void ExpectReadoutTexts() {
    const double hz = std::atof(ReadoutState.frequencyText);
    EXPECT_NEAR(hz, kToneHz, 2.0) << ReadoutState.frequencyText;
    EXPECT_STREQ(ReadoutState.noteText, "A ");
    const int cents = std::atoi(ReadoutState.centsText);
    EXPECT_NEAR(cents, 1200.0 * std::log2(hz / kToneHz), 1.0) << ReadoutState.centsText;
    EXPECT_EQ(std::string(ReadoutState.frequencyText).size(), 9u);
}

TEST(EndToEnd, ToneShowsItsPitchItsSpectrogramRowAndItsSpectrumPeak) {
    UseSettingsPath("");  // defaults: Narrow, 22050 Hz, 20 .. 80 dB, Hum filtering
    StartCore();
    ToneSource source;

    // Spectrogram. Row position 6 (rows from the bottom, 170 over bins 0 .. 511) spans the
    // bins 18.1 .. 21.2 and so holds the tone's bin 20.4; the newest strip is column 201.
    FeedBlocks(source, 40);
    EXPECT_EQ(PitchLock.pitchLockState, 0);
    ExpectReadoutTexts();
    ExpectLockedReadoutOnScreen();

    const int toneRow = 255 - 6;
    const int toneLevel = LevelOfColour(ScreenPixel(201, toneRow));
    EXPECT_GE(toneLevel, 178) << "yellow to red";
    for (int row = 86; row <= 255; ++row) {
        const int level = LevelOfColour(ScreenPixel(201, row));
        ASSERT_GE(level, 0) << "row " << row << " shows a colour of the map";
        ASSERT_LE(level, toneLevel) << "row " << row;
    }
    for (int row = 86; row <= 200; ++row) {  // above 2 kHz: silence, black to blue
        ASSERT_LT(LevelOfColour(ScreenPixel(201, row)), 51) << "row " << row;
    }
    // The strip scrolls four columns per block: the previous block's strip looks the same.
    EXPECT_EQ(ScreenPixel(197, toneRow), ScreenPixel(201, toneRow));

    // Spectrum, entered as the menu command does. Column 9 (240 over bins 0 .. 511) spans
    // the bins 19.2 .. 21.4: the highest point of the traces.
    ViewMode = 1;
    EnterSpectrumView(22050, 1024, 1, 0);
    FeedBlocks(source, 20);
    int topRow = 256, topColumn = -1;
    for (int row = 86; row <= 255 && topColumn < 0; ++row) {
        for (int x = 0; x < 207; ++x) {  // left of the dB scale
            if (ScreenPixel(x, row) != 0) {
                topRow = row;
                topColumn = x;
                break;
            }
        }
    }
    EXPECT_EQ(topColumn, 9);
    EXPECT_LT(topRow, 150);  // about 76 dB of the 20 .. 80 dB range
    const uint16_t top = ScreenPixel(topColumn, topRow);
    EXPECT_TRUE(top == 0x07FF || top == 0x87E0) << std::hex << top;  // peak or spectrum trace
    EXPECT_EQ(PitchLock.pitchLockState, 0);
    ExpectReadoutTexts();
    ExpectLockedReadoutOnScreen();
}

}  // namespace
