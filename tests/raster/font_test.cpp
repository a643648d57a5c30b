// The bitmap font: glyph pixels, case folding, wrapping, line ends and backspace.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "raster/font.h"
#include "raster/surface.h"

namespace {

using Pixel = std::pair<int, int>;  // column, row
using Rows = std::vector<std::string>;

const Rows kA = {"oooo:::", "oo:oo::", "oo::oo:", "oo:::oo", "ooooooo", "oo:::oo", "oo:::oo"};
const Rows kB = {"oooo:::", "oo:oo::", "oo:o:::", "ooooo::", "oo::oo:", "oo:::oo", "oooooo:"};
const Rows kC = {"::ooooo", ":oo::::", "oo:::::", "oo:::::", "oo:::::", "oo:::::", ":oooooo"};
const Rows kAUmlaut = {"oo:::oo", ":::::::", "oooo:::", "oo::oo:", "ooooooo", "oo:::oo", "oo:::oo"};
const Rows kUUmlaut = {"oo:::oo", ":::::::", "oo:::oo", "oo:::oo", "oo:::oo", "oo::oo:", ":oooo::"};
const Rows kOUmlaut = {"oo:::oo", ":::::::", "::ooo::", ":oo:oo:", "oo:::oo", "oo:::oo", ":ooooo:"};

void AddGlyph(std::set<Pixel>& pixels, const Rows& rows, int x, int y) {
    for (int r = 0; r < 7; ++r) {
        for (int c = 0; c < 7; ++c) {
            if (rows[r][c] == 'o') pixels.insert({x + c, y + r});
        }
    }
}

std::set<Pixel> Glyph(const Rows& rows, int x, int y) {
    std::set<Pixel> pixels;
    AddGlyph(pixels, rows, x, y);
    return pixels;
}

std::set<Pixel> SetPixels(const FrameSurface& s) {
    std::set<Pixel> found;
    for (int i = 0; i < kSurfacePixels; ++i) {
        if (s.pixels[i] != 0) found.insert({i % s.width, i / s.width});
    }
    return found;
}

void Wipe(FrameSurface& s) {
    std::fill(s.pixels, s.pixels + kSurfacePixels, uint16_t{0});
}

class FontTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InitFont();
        Wipe(CanvasSurface);
        Wipe(OverlaySurface);
        SetViewArea(0, 26, 240, 268);
    }
    std::set<Pixel> Drawn(const char* text, int x, int y) {
        Wipe(CanvasSurface);
        DrawText(5, text, x, y);
        return SetPixels(CanvasSurface);
    }
};

TEST_F(FontTest, TwoGlyphsKeepAClearColumnAndRowBetweenCells) {
    std::set<Pixel> expected = Glyph(kA, 0, 0);
    AddGlyph(expected, kB, 8, 0);
    EXPECT_EQ(Drawn("ab", 0, 0), expected);
    DrawText(47, "ab", 0, 0);
    EXPECT_EQ(CanvasSurface.pixels[0], 0x001F);
    EXPECT_EQ(Drawn("", 0, 0).size(), 0u);
}

TEST_F(FontTest, UpperCaseDrawsTheLowerCaseGlyphs) {
    const std::string lower = "the quick brown fox jumps over a lazy dog";
    std::string upper = lower;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char ch) { return char(std::toupper(ch)); });
    const auto expected = Drawn(lower.c_str(), 2, 40);
    EXPECT_GT(expected.size(), 300u);
    EXPECT_EQ(Drawn(upper.c_str(), 2, 40), expected);
}

TEST_F(FontTest, TextWrapsPastColumn230AndStopsMovingDownAtRow300) {
    std::set<Pixel> expected = Glyph(kA, 216, 10);
    AddGlyph(expected, kB, 224, 10);
    AddGlyph(expected, kC, 2, 19);
    EXPECT_EQ(Drawn("abc", 216, 10), expected);

    expected = Glyph(kA, 50, 100);
    AddGlyph(expected, kB, 2, 109);
    EXPECT_EQ(Drawn("a\nb", 50, 100), expected);
    EXPECT_EQ(Drawn("a\rb", 50, 100), expected);
    // At row 300 and below a line end returns to column 2 of the same row.
    for (int y : {300, 305}) {
        expected = Glyph(kA, 50, y);
        AddGlyph(expected, kB, 2, y);
        EXPECT_EQ(Drawn("a\nb", 50, y), expected) << y;
    }
    // The view's left edge moves the start, but a wrapped line starts at surface column 2.
    SetViewArea(10, 26, 230, 268);
    expected = Glyph(kA, 16, 0);
    AddGlyph(expected, kB, 2, 9);
    EXPECT_EQ(Drawn("a\nb", 6, 0), expected);
}

TEST_F(FontTest, BackspaceStepsBackOnlyPastColumnTwo) {
    EXPECT_EQ(Drawn("\ba", 2, 0), Glyph(kA, 2, 0));
    EXPECT_EQ(Drawn("\ba", 100, 0), Glyph(kA, 92, 0));
    std::set<Pixel> expected = Glyph(kA, 100, 0);
    AddGlyph(expected, kB, 100, 0);
    EXPECT_EQ(Drawn("a\bb", 100, 0), expected);
}

TEST_F(FontTest, AccentedBytesHaveGlyphsAndOtherBytesDrawBlankCells) {
    std::set<Pixel> expected = Glyph(kAUmlaut, 0, 0);
    AddGlyph(expected, kUUmlaut, 8, 0);
    AddGlyph(expected, kOUmlaut, 16, 0);
    EXPECT_EQ(Drawn("\xE4\xFC\xF6", 0, 0), expected);
    // Unknown bytes still advance the pen by a cell.
    expected = Glyph(kA, 32, 0);
    EXPECT_EQ(Drawn("\x80\xFF%\\a", 0, 0), expected);
    EXPECT_EQ(Drawn("\xC4\xD6\xDC()\" ", 0, 0).size(), 0u);
}

TEST_F(FontTest, OverlayPensDrawOnTheOverlayAndTheEraserCutsGlyphShapes) {
    DrawText(46, "a", 20, 30);
    EXPECT_EQ(SetPixels(OverlaySurface), Glyph(kA, 20, 30));
    EXPECT_EQ(OverlaySurface.pixels[30 * 240 + 20], 0xF800);
    EXPECT_EQ(SetPixels(CanvasSurface).size(), 0u);

    std::fill(OverlaySurface.pixels, OverlaySurface.pixels + kSurfacePixels, uint16_t{0xFFFF});
    DrawText(2, "a", 20, 30);
    std::set<Pixel> cleared;
    for (int i = 0; i < kSurfacePixels; ++i) {
        if (OverlaySurface.pixels[i] == 0) cleared.insert({i % 240, i / 240});
    }
    EXPECT_EQ(cleared, Glyph(kA, 20, 30));
}

TEST_F(FontTest, GlyphsOffTheSurfaceAreClipped) {
    // Column 236 keeps four of the a's seven columns; row 316 keeps four rows.
    std::set<Pixel> expected;
    for (const Pixel& p : Glyph(kA, 236, 316)) {
        if (p.first < 240 && p.second < 320) expected.insert(p);
    }
    EXPECT_EQ(Drawn("a", 236, 316), expected);
    // A backspace from column 3 moves the pen to -5.
    expected.clear();
    for (const Pixel& p : Glyph(kA, -5, 0)) {
        if (p.first >= 0) expected.insert(p);
    }
    EXPECT_EQ(Drawn("\ba", 3, 0), expected);
    EXPECT_EQ(Drawn("abc", -2147483647, -2147483647).size(), 0u);
    EXPECT_EQ(Drawn("abc", 2147483647, 2147483647).size(), 0u);
    Drawn("\n\n\n\n\nabcdefghijklmnopqrstuvwxyz0123456789", 0, 2147483600);
}

}  // namespace
