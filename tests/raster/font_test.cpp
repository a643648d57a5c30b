// SPDX-License-Identifier: GPL-3.0-or-later
// The bitmap font: glyph pixels, case folding, wrapping, line ends and backspace.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <initializer_list>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "raster/font.h"
#include "raster/surface.h"
#include "tests/raster/pixels.h"

namespace {

using Pixel = std::pair<int, int>;  // column, row
using Rows = std::vector<std::string>;

const Rows kA = {"oooo:::", "oo:oo::", "oo::oo:", "oo:::oo", "ooooooo", "oo:::oo", "oo:::oo"};
const Rows kB = {"oooo:::", "oo:oo::", "oo:o:::", "ooooo::", "oo::oo:", "oo:::oo", "oooooo:"};
const Rows kC = {"::ooooo", ":oo::::", "oo:::::", "oo:::::", "oo:::::", "oo:::::", ":oooooo"};
const Rows kAUmlaut = {"oo:::oo", ":::::::", "oooo:::", "oo::oo:", "ooooooo", "oo:::oo", "oo:::oo"};
const Rows kUUmlaut = {"oo:::oo", ":::::::", "oo:::oo", "oo:::oo", "oo:::oo", "oo::oo:", ":oooo::"};
const Rows kOUmlaut = {"oo:::oo", ":::::::", "::ooo::", ":oo:oo:", "oo:::oo", "oo:::oo", ":ooooo:"};

struct Cell {
    const Rows& rows;
    int x, y;  // surface position of the glyph's top-left pixel
};

// The pixels that glyphs at these places set.
std::set<Pixel> Cells(std::initializer_list<Cell> cells) {
    std::set<Pixel> pixels;
    for (const Cell& cell : cells) {
        for (int r = 0; r < 7; ++r) {
            for (int c = 0; c < 7; ++c) {
                if (cell.rows[r][c] == 'o') pixels.insert({cell.x + c, cell.y + r});
            }
        }
    }
    return pixels;
}

class FontTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InitFont();
        Fill(CanvasSurface, 0);
        Fill(OverlaySurface, 0);
        SetViewArea(0, 26, 240, 268);
    }
    std::set<Pixel> Drawn(const char* text, int x, int y) {
        Fill(CanvasSurface, 0);
        DrawText(5, text, x, y);
        return SetPixels(CanvasSurface);
    }
};

TEST_F(FontTest, TwoGlyphsKeepAClearColumnAndRowBetweenCells) {
    EXPECT_EQ(Drawn("ab", 0, 0), Cells({{kA, 0, 0}, {kB, 8, 0}}));
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
    EXPECT_EQ(Drawn("abc", 216, 10), Cells({{kA, 216, 10}, {kB, 224, 10}, {kC, 2, 19}}));

    EXPECT_EQ(Drawn("a\nb", 50, 100), Cells({{kA, 50, 100}, {kB, 2, 109}}));
    EXPECT_EQ(Drawn("a\rb", 50, 100), Cells({{kA, 50, 100}, {kB, 2, 109}}));
    // At row 300 and below a line end returns to column 2 of the same row.
    for (int y : {300, 305}) {
        EXPECT_EQ(Drawn("a\nb", 50, y), Cells({{kA, 50, y}, {kB, 2, y}})) << y;
    }
    // The view's left edge moves the start, but a wrapped line starts at surface column 2.
    SetViewArea(10, 26, 230, 268);
    EXPECT_EQ(Drawn("a\nb", 6, 0), Cells({{kA, 16, 0}, {kB, 2, 9}}));
}

TEST_F(FontTest, BackspaceStepsBackOnlyPastColumnTwo) {
    EXPECT_EQ(Drawn("\ba", 2, 0), Cells({{kA, 2, 0}}));
    EXPECT_EQ(Drawn("\ba", 100, 0), Cells({{kA, 92, 0}}));
    EXPECT_EQ(Drawn("a\bb", 100, 0), Cells({{kA, 100, 0}, {kB, 100, 0}}));
}

TEST_F(FontTest, AccentedBytesHaveGlyphsAndOtherBytesDrawBlankCells) {
    EXPECT_EQ(Drawn("\xE4\xFC\xF6", 0, 0),
              Cells({{kAUmlaut, 0, 0}, {kUUmlaut, 8, 0}, {kOUmlaut, 16, 0}}));
    // Unknown bytes still advance the pen by a cell.
    EXPECT_EQ(Drawn("\x80\xFF%\\a", 0, 0), Cells({{kA, 32, 0}}));
    EXPECT_EQ(Drawn("\xC4\xD6\xDC()\" ", 0, 0).size(), 0u);
}

// Each of the 55 characters with a visible glyph draws a shape of its own; every other byte,
// the backslash included (glyph 53 has no character), draws nothing.
TEST_F(FontTest, EveryMappedCharacterHasItsOwnGlyph) {
    const std::string mapped = "abcdefghijklmnopqrstuvwxyz0123456789:!?-=+[].,><#'@/\xE4\xFC\xF6";
    std::set<std::set<Pixel>> shapes;
    for (int b = 1; b < 256; ++b) {
        if (b == '\b' || b == '\n' || b == '\r' || (b >= 'A' && b <= 'Z')) continue;
        const char text[2] = {char(b), 0};
        const std::set<Pixel> shape = Drawn(text, 0, 0);
        const bool visible = mapped.find(char(b)) != std::string::npos;
        EXPECT_EQ(shape.empty(), !visible) << b;
        if (visible) shapes.insert(shape);
    }
    EXPECT_EQ(shapes.size(), mapped.size());
    const Rows kAt = {"::ooo::", ":o:::o:", "o::oo:o", "o:o:::o", "o::oooo", ":o:::::", "::oooo:"};
    const Rows kSeven = {":oooooo", ":::::oo", ":::::oo", ":::::oo",
                         ":::::oo", ":::::oo", ":::::oo"};
    EXPECT_EQ(Drawn("@7", 0, 0), Cells({{kAt, 0, 0}, {kSeven, 8, 0}}));
}

TEST_F(FontTest, OverlayPensDrawOnTheOverlayAndTheEraserCutsGlyphShapes) {
    DrawText(46, "a", 20, 30);
    EXPECT_EQ(SetPixels(OverlaySurface), Cells({{kA, 20, 30}}));
    EXPECT_EQ(OverlaySurface.pixels[30 * 240 + 20], 0xF800);
    EXPECT_EQ(SetPixels(CanvasSurface).size(), 0u);

    Fill(OverlaySurface, 0xFFFF);
    DrawText(2, "a", 20, 30);
    std::set<Pixel> cleared;
    for (int i = 0; i < kSurfacePixels; ++i) {
        if (OverlaySurface.pixels[i] == 0) cleared.insert({i % 240, i / 240});
    }
    EXPECT_EQ(cleared, Cells({{kA, 20, 30}}));
}

TEST_F(FontTest, GlyphsOffTheSurfaceAreClipped) {
    // Only the pixels on the surface are kept: columns 236 to 239 and rows 316 to 319 of
    // an a at (236, 316), and columns 0 and 1 of one at -5, where a backspace from
    // column 3 puts it.
    auto onSurface = [](std::set<Pixel> pixels) {
        std::erase_if(pixels, [](const Pixel& p) {
            return p.first < 0 || p.first >= 240 || p.second >= 320;
        });
        return pixels;
    };
    EXPECT_EQ(Drawn("a", 236, 316), onSurface(Cells({{kA, 236, 316}})));
    EXPECT_EQ(Drawn("\ba", 3, 0), onSurface(Cells({{kA, -5, 0}})));
    EXPECT_EQ(Drawn("abc", -2147483647, -2147483647).size(), 0u);
    EXPECT_EQ(Drawn("abc", 2147483647, 2147483647).size(), 0u);
    Drawn("\n\n\n\n\nabcdefghijklmnopqrstuvwxyz0123456789", 0, 2147483600);
}

}  // namespace
