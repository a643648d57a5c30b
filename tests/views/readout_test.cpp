// SPDX-License-Identifier: GPL-3.0-or-later
// Peak readout: texts, note names, colours by lock state, refresh rhythm, bad pitches.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "raster/font.h"
#include "tests/views/view_test_support.h"
#include "views/note_scale.h"
#include "views/readout.h"

namespace {

struct Texts {
    std::string frequency, note, cents;
};

class ReadoutTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetDrawingState();
        ReadoutState = {};
    }
    void TearDown() override { SetReferencePitch(kDefaultReferencePitch); }
    // The texts after four calls, the first that formats them.
    static Texts ReadoutOf(float frequency, int lockState = kPitchNotLocked) {
        ReadoutState = {};
        for (int i = 0; i < 4; i++)
            DrawPeakReadout(frequency, lockState);
        return {ReadoutState.frequencyText, ReadoutState.noteText, ReadoutState.centsText};
    }
};

TEST_F(ReadoutTest, ShowsFrequencyNoteAndCents) {
    const struct {
        float frequency;
        const char *text, *note, *cents;
    } cases[] = {
        {440.0f, "  440.0hz", "A ", " +0 cent"},      {1000.0f, " 1000.0hz", "B ", "+21 cent"},
        {452.0f, "  452.0hz", "A ", "+47 cent"},      {455.0f, "  455.0hz", "A#", "-42 cent"},
        {16.3515625f, "   16.4hz", "C ", " +0 cent"}, {15.0f, "   15.0hz", "B ", "-49 cent"},
        {261.6f, "  261.6hz", "C ", " -0 cent"},
    };
    for (const auto& c : cases) {
        const Texts t = ReadoutOf(c.frequency);
        EXPECT_EQ(t.frequency, c.text) << c.frequency;
        EXPECT_EQ(t.note, c.note) << c.frequency;
        EXPECT_EQ(t.cents, c.cents) << c.frequency;
    }
}

TEST_F(ReadoutTest, NotesAndCentsFollowTheReferencePitch) {
    // A 445 Hz tone: in tune against A4 = 445, 20 cents sharp against 440.
    ASSERT_TRUE(SetReferencePitch(445.0f));
    Texts t = ReadoutOf(445.0f);
    EXPECT_EQ(t.note, "A ");
    EXPECT_EQ(t.cents, " +0 cent");
    EXPECT_EQ(ReadoutOf(890.0f).cents, " +0 cent");  // an octave up, still in tune
    EXPECT_EQ(ReadoutOf(440.0f).cents, "-20 cent");
    ASSERT_TRUE(SetReferencePitch(440.0f));
    t = ReadoutOf(445.0f);
    EXPECT_EQ(t.note, "A ");
    EXPECT_EQ(t.cents, "+20 cent");
    // A4 = 415.3 (a semitone down, baroque pitch) names 440 Hz A#.
    ASSERT_TRUE(SetReferencePitch(415.3f));
    EXPECT_EQ(ReadoutOf(440.0f).note, "A#");
    EXPECT_EQ(ReadoutOf(440.0f).cents, " +0 cent");
}

TEST_F(ReadoutTest, TheReferencePitchStaysWithinItsRangeInTenthsOfAHertz) {
    // At 440 Hz the scale is the one the readout always had: C0 = 16.3515625 Hz exactly.
    ASSERT_TRUE(SetReferencePitch(440.0f));
    EXPECT_EQ(NoteScale.c0, 16.3515625f);
    EXPECT_EQ(OctavesAboveC0(32.703125f), 1.0f);
    ASSERT_TRUE(SetReferencePitch(445.34f));
    EXPECT_EQ(NoteScale.referenceHz, 445.3f);
    EXPECT_NEAR(NoteScale.c0, 16.3515625 * 445.3 / 440.0, 1e-5);
    for (float bad : {399.9f, 480.1f, -440.0f, 0.0f, std::numeric_limits<float>::quiet_NaN(),
                      std::numeric_limits<float>::infinity()}) {
        EXPECT_FALSE(SetReferencePitch(bad)) << bad;
        EXPECT_EQ(NoteScale.referenceHz, 445.3f) << bad;
    }
    EXPECT_TRUE(SetReferencePitch(400.0f));
    EXPECT_TRUE(SetReferencePitch(480.0f));

    float hz = 0.0f;
    const struct {
        const char* text;
        float hz;
    } good[] = {
        {"440", 440.0f}, {"445.5", 445.5f}, {"400.0", 400.0f}, {"480", 480.0f}, {"432.", 432.0f}};
    for (const auto& g : good) {
        EXPECT_TRUE(ParseReferencePitch(g.text, &hz)) << g.text;
        EXPECT_EQ(hz, g.hz) << g.text;
        char text[kReferencePitchTextSize];
        FormatReferencePitch(hz, text);
        float again = 0.0f;
        EXPECT_TRUE(ParseReferencePitch(text, &again)) << text;
        EXPECT_EQ(again, hz) << text;
    }
    hz = 1.0f;
    for (const char* bad : {"", ".", "399.9", "480.1", "445.25", " 440", "440 ", "+440", "-440",
                            "440,5", "4.4e2", "0x1B8", "inf", "44O", "440..", "00440"}) {
        EXPECT_FALSE(ParseReferencePitch(bad, &hz)) << bad;
        EXPECT_EQ(hz, 1.0f) << bad;
    }
}

TEST_F(ReadoutTest, TextsAreDrawnOnRow74) {
    ReadoutOf(440.0f, kPitchNotLocked);
    const auto expected = DrawnAlone(CanvasSurface, 3, 73, 234, 10, [] {
        FillRect(kPenBlack, 3, 73, 233, 10);
        DrawText(kPenWhite, "  440.0hz", 5, 74);
        DrawText(kPenWhite, "A ", 100, 74);
        DrawText(kPenWhite, " +0 cent", 150, 74);
    });
    EXPECT_EQ(Region(CanvasSurface, 3, 73, 234, 10), expected);
}

TEST_F(ReadoutTest, NoteNamesWrapIntoTheOctaveBelow) {
    char note[kNoteTextSize] = {'x', 'x', 'x', 'x'};
    NoteName(note, 4.75f);  // nine semitones above C: A
    EXPECT_EQ(std::string(note), "A ");
    EXPECT_EQ(note[3], 0);
    NoteName(note, -1.0f / 12.0f);  // a semitone below C0
    EXPECT_EQ(std::string(note), "B ");
    NoteName(note, -0.5f);
    EXPECT_EQ(std::string(note), "F#");
    NoteName(note, 1.0f - 0.0011f);  // just under the octave, rounded up by 0.001: still B
    EXPECT_EQ(std::string(note), "B ");
    NoteName(note, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(std::string(note), "  ");
    NoteName(note, std::numeric_limits<float>::infinity());
    EXPECT_EQ(std::string(note), "  ");
    EXPECT_NEAR(OctavesAboveC0(440.0f), 4.75f, 1e-5f);
    EXPECT_EQ(OctavesAboveC0(16.3515625f), 0.0f);
    EXPECT_EQ(OctavesAboveC0(32.703125f), 1.0f);
}

TEST_F(ReadoutTest, TextsChangeOnlyOnEveryFourthCall) {
    for (int i = 0; i < 3; i++)
        DrawPeakReadout(440.0f, kPitchNotLocked);
    EXPECT_STREQ(ReadoutState.frequencyText, "");  // empty until the fourth call
    EXPECT_EQ(ReadoutState.refreshCounter, 3);
    DrawPeakReadout(440.0f, kPitchNotLocked);
    EXPECT_STREQ(ReadoutState.frequencyText, "  440.0hz");
    EXPECT_EQ(ReadoutState.refreshCounter, 0);
    for (int i = 0; i < 3; i++)
        DrawPeakReadout(1000.0f, kPitchLost);
    EXPECT_STREQ(ReadoutState.frequencyText, "  440.0hz");
    EXPECT_STREQ(ReadoutState.noteText, "A ");
    DrawPeakReadout(1000.0f, kPitchLocked);
    EXPECT_STREQ(ReadoutState.frequencyText, " 1000.0hz");
}

TEST_F(ReadoutTest, LockStateChoosesTheColours) {
    ReadoutOf(440.0f, kPitchLocked);  // black on white
    EXPECT_EQ(PixelAt(CanvasSurface, 3, 73), 0xFFFF);
    EXPECT_EQ(PixelAt(CanvasSurface, 236, 82), 0xFFFF);
    EXPECT_GT(CountColour(CanvasSurface, 150, 74, 64, 7, 0x0000), 20);  // cents text

    ReadoutOf(440.0f, kPitchNotLocked);  // white on black
    EXPECT_EQ(PixelAt(CanvasSurface, 3, 73), 0x0000);
    EXPECT_GT(CountColour(CanvasSurface, 150, 74, 64, 7, 0xFFFF), 20);

    ReadoutOf(440.0f, kPitchLost);  // the blue frame around a plain black interior
    EXPECT_EQ(CountColour(CanvasSurface, 3, 73, 234, 10, 0x0000), 234 * 10);
    EXPECT_EQ(PixelAt(CanvasSurface, 0, 71), 0x001F);
    EXPECT_EQ(PixelAt(CanvasSurface, 239, 84), 0x001F);
    EXPECT_EQ(PixelAt(CanvasSurface, 1, 78), 0x001F);
    EXPECT_EQ(PixelAt(CanvasSurface, 238, 78), 0x001F);
    EXPECT_EQ(PixelAt(CanvasSurface, 100, 70), 0x0000);  // nothing outside the band
    EXPECT_EQ(PixelAt(CanvasSurface, 100, 85), 0x0000);
}

TEST_F(ReadoutTest, AnyPitchGivesBoundedTexts) {
    const Texts huge = ReadoutOf(3e38f);
    EXPECT_EQ(huge.frequency.size(), size_t(kReadoutTextSize - 1));  // cut, not overrun
    EXPECT_EQ(huge.frequency.find_first_not_of("0123456789"), std::string::npos);
    EXPECT_EQ(huge.note.size(), 2u);
    EXPECT_LT(huge.cents.size(), size_t(kReadoutTextSize));
    const Texts tiny = ReadoutOf(1e-30f);
    EXPECT_EQ(tiny.frequency, "    0.0hz");
    EXPECT_EQ(tiny.note.size(), 2u);
}

TEST_F(ReadoutTest, PitchesThatAreNotPositiveNumbersAreIgnored) {
    ReadoutOf(440.0f);
    for (float f : {0.0f, -440.0f, std::numeric_limits<float>::quiet_NaN(),
                    std::numeric_limits<float>::infinity()}) {
        for (int i = 0; i < 4; i++)
            DrawPeakReadout(f, kPitchNotLocked);
    }
    EXPECT_EQ(ReadoutState.refreshCounter, 0);
    EXPECT_STREQ(ReadoutState.frequencyText, "  440.0hz");
}

TEST_F(ReadoutTest, BandIsABlueFrameAroundABlackInterior) {
    std::fill_n(CanvasSurface.pixels, kSurfacePixels, uint16_t(0x1234));
    DrawReadoutBand();
    EXPECT_EQ(CountColour(CanvasSurface, 0, 71, 240, 2, 0x001F), 480);
    EXPECT_EQ(CountColour(CanvasSurface, 3, 73, 234, 10, 0x0000), 2340);
    EXPECT_EQ(CountColour(CanvasSurface, 0, 73, 3, 12, 0x001F), 36);
    EXPECT_EQ(PixelAt(CanvasSurface, 50, 70), 0x1234);
    EXPECT_EQ(PixelAt(CanvasSurface, 50, 85), 0x1234);
    DrawReadoutBandLocked();
    EXPECT_EQ(CountColour(CanvasSurface, 3, 73, 234, 10, 0xFFFF), 2340);
    EXPECT_EQ(PixelAt(CanvasSurface, 2, 73), 0x001F);
}

}  // namespace
