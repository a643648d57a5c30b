// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's colour maps and texts: the maps' ends, notes with octaves, readings.
#include <gtest/gtest.h>

#include <cmath>

#include "fullview/full_colours.h"
#include "fullview/full_readout.h"
#include "views/level_tables.h"

namespace {

TEST(FullColours, EachMapRunsFromItsDarkEndToItsBrightEnd) {
    ASSERT_TRUE(BuildColourMap(256, 0.3f, 0.2f, 0.2f));  // the handheld's, as at start-up
    BuildFullColours(FullColourMapKind::Handheld);
    EXPECT_EQ(FullColours[0], 0xFF000000u);
    EXPECT_EQ(FullColours[255] & 0xFFFF0000u, 0xFFFF0000u);  // full red
    EXPECT_EQ(FullColours[255] & 0xFFu, 0u);
    // Pure green where the handheld map is pure green, widened to 255.
    for (int i = 0; i < 256; i++) {
        if (ColourMap[i] == 0x07E0) {
            EXPECT_EQ(FullColours[i], 0xFF00FF00u) << i;
        }
    }
    BuildFullColours(FullColourMapKind::Viridis);
    EXPECT_EQ(FullColours[0], 0xFF440154u);
    EXPECT_EQ(FullColours[255], 0xFFFDE725u);
    BuildFullColours(FullColourMapKind::Grey);
    EXPECT_EQ(FullColours[0], 0xFF000000u);
    EXPECT_EQ(FullColours[128], 0xFF808080u);
    EXPECT_EQ(FullColours[255], 0xFFFFFFFFu);
}

TEST(FullColours, ViridisGetsBrighterAlongItsLength) {
    BuildFullColours(FullColourMapKind::Viridis);
    const auto luma = [](uint32_t c) {
        return 0.299 * ((c >> 16) & 0xFF) + 0.587 * ((c >> 8) & 0xFF) + 0.114 * (c & 0xFF);
    };
    for (int i = 8; i < 256; i++)
        EXPECT_GT(luma(FullColours[i]), luma(FullColours[i - 8])) << i;
}

TEST(FullColours, LevelsMapOntoTheScaleAndItsEnds) {
    EXPECT_EQ(FullColourIndex(-120.0f, -120.0f, 0.0f), 0);
    EXPECT_EQ(FullColourIndex(0.0f, -120.0f, 0.0f), 255);
    EXPECT_EQ(FullColourIndex(-60.0f, -120.0f, 0.0f), 128);
    EXPECT_EQ(FullColourIndex(-500.0f, -120.0f, 0.0f), 0);
    EXPECT_EQ(FullColourIndex(30.0f, -120.0f, 0.0f), 255);
    EXPECT_EQ(FullColourIndex(NAN, -120.0f, 0.0f), 0);
    EXPECT_EQ(FullColourIndex(-10.0f, -20.0f, -20.0f), 0);  // an empty scale
}

TEST(FullTexts, NotesCarryTheirOctave) {
    char note[8];
    const struct {
        float hz;
        const char* name;
    } cases[] = {
        {440.0f, "A4"}, {138.59f, "C#3"}, {261.63f, "C4"},  {246.94f, "B3"},
        {27.5f, "A0"},  {4186.0f, "C8"},  {8.1758f, "C-1"}, {30000.0f, "A#10"},
    };
    for (const auto& c : cases) {
        FullNoteName(c.hz, 440.0f, note, sizeof note);
        EXPECT_STREQ(note, c.name) << c.hz;
    }
    EXPECT_NEAR(FullNoteName(446.0f, 440.0f, note, sizeof note), 23.45f, 0.05f);
    EXPECT_NEAR(FullNoteName(432.0f, 432.0f, note, sizeof note), 0.0f, 1e-4f);
    EXPECT_STREQ(note, "A4");
    for (float bad : {0.0f, -440.0f, NAN, INFINITY, 1.0f}) {
        EXPECT_EQ(FullNoteName(bad, 440.0f, note, sizeof note), 0.0f);
        EXPECT_STREQ(note, "") << bad;
    }
}

TEST(FullTexts, ReadoutAndReadingsAreCutToTheirRoom) {
    char text[40];
    FormatFullPitch(440.0f, 440.0f, text, sizeof text);
    EXPECT_STREQ(text, "440.0 Hz  A4  +0 cents");
    FormatFullPitch(133.0f, 440.0f, text, sizeof text);
    EXPECT_STREQ(text, "133.0 Hz  C3  +29 cents");
    FormatFullPitch(435.0f, 440.0f, text, sizeof text);
    EXPECT_STREQ(text, "435.0 Hz  A4  -20 cents");
    // A 445 Hz tone in tune against A4 = 445, 20 cents sharp against 440.
    FormatFullPitch(445.0f, 445.0f, text, sizeof text);
    EXPECT_STREQ(text, "445.0 Hz  A4  +0 cents");
    FormatFullPitch(445.0f, 440.0f, text, sizeof text);
    EXPECT_STREQ(text, "445.0 Hz  A4  +20 cents");
    EXPECT_EQ(FormatFullPitch(NAN, 440.0f, text, sizeof text), 0);
    EXPECT_STREQ(text, "");
    FormatFullLevelReading(1001.95f, -6.04f, 1.0f, text, sizeof text);
    EXPECT_STREQ(text, "1.002 kHz  -6.0 dB");
    FormatFullAgeReading(440.2f, 2.34, 4.0f, text, sizeof text);
    EXPECT_STREQ(text, "440 Hz  2.3 s ago");
    EXPECT_EQ(FormatFullLevelReading(1001.95f, -6.04f, 1.0f, text, 6), 5);
    EXPECT_STREQ(text, "1.002");
}

}  // namespace
