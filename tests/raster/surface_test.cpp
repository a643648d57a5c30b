// SPDX-License-Identifier: GPL-3.0-or-later
// Surfaces, pens and primitives: exact pixel sets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "raster/surface.h"
#include "tests/raster/pixels.h"

namespace {

class SurfaceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Fill(CanvasSurface, 0);
        Fill(OverlaySurface, 0);
        SetViewArea(0, 26, 240, 268);
    }
};

TEST_F(SurfaceTest, SurfacesExistFromTheStartAndAreReleasedByDestroy) {
    for (FrameSurface* s : {&CanvasSurface, &OverlaySurface, &BackdropSurface}) {
        EXPECT_EQ(s->flags, 5u);
        EXPECT_EQ(s->width, 240);
        EXPECT_EQ(s->height, 320);
        ASSERT_NE(s->pixels, nullptr);
    }
    EXPECT_EQ(SetPixels(BackdropSurface).size(), 0u);

    FrameSurface local{};
    ASSERT_TRUE(CreateSurface(&local, 3, 2));
    EXPECT_EQ(local.flags, 5u);
    EXPECT_EQ(SetPixels(local).size(), 0u);
    DestroySurface(&local);
    EXPECT_EQ(local.pixels, nullptr);
    EXPECT_FALSE(CreateSurface(&local, 0, 2));
}

TEST_F(SurfaceTest, LinePixelsDependOnDirection) {
    DrawLine(5, 0, 0, 5, 2);
    EXPECT_EQ(SetPixels(CanvasSurface),
              (std::set<Pixel>{{0, 0}, {1, 1}, {2, 1}, {3, 1}, {4, 2}, {5, 2}}));
    Fill(CanvasSurface, 0);
    DrawLine(5, 5, 2, 0, 0);
    EXPECT_EQ(SetPixels(CanvasSurface),
              (std::set<Pixel>{{5, 2}, {4, 1}, {3, 1}, {2, 1}, {1, 0}, {0, 0}}));
    Fill(CanvasSurface, 0);
    DrawLine(5, 0, 0, 6, 1);
    EXPECT_EQ(SetPixels(CanvasSurface),
              (std::set<Pixel>{{0, 0}, {1, 0}, {2, 0}, {3, 1}, {4, 1}, {5, 1}, {6, 1}}));
    Fill(CanvasSurface, 0);
    DrawLine(5, 0, 0, 2, 5);  // y-major
    EXPECT_EQ(SetPixels(CanvasSurface),
              (std::set<Pixel>{{0, 0}, {1, 1}, {1, 2}, {1, 3}, {2, 4}, {2, 5}}));
    Fill(CanvasSurface, 0);
    DrawLine(5, 239, 319, 239, 319);
    EXPECT_EQ(SetPixels(CanvasSurface), (std::set<Pixel>{{239, 319}}));
}

TEST_F(SurfaceTest, LinesWithAnyEndOffTheSurfaceDrawNothing) {
    DrawLine(5, 0, 0, 240, 0);
    DrawLine(5, 240, 5, 0, 5);
    DrawLine(5, 0, 0, 0, 320);
    DrawLine(5, 10, 320, 10, 0);
    DrawLine(5, -1, 0, 10, 0);
    DrawLine(5, 10, -1, 10, 10);
    DrawLine(5, 2147483647, 0, 0, 0);
    SetViewArea(10, 26, 230, 268);
    DrawLine(5, 0, 0, 230, 0);  // column 240 once the left edge is added
    DrawLine(5, -11, 0, 0, 0);
    EXPECT_EQ(SetPixels(CanvasSurface).size(), 0u);
    DrawLine(5, 0, 7, 229, 7);  // columns 10 to 239
    EXPECT_EQ(SetPixels(CanvasSurface).size(), 230u);
    EXPECT_EQ(At(CanvasSurface, 10, 7), 0xFFFF);
    EXPECT_EQ(At(CanvasSurface, 239, 7), 0xFFFF);
}

TEST_F(SurfaceTest, PolylineDrawsCountMinusOneSegments) {
    std::vector<PixelPoint> points(240);
    for (int i = 0; i < 240; ++i)
        points[i] = {int16_t(i), int16_t(i % 2 ? 110 : 100)};
    DrawPolyline(4, points.data(), 0);
    DrawPolyline(4, points.data(), 1);
    EXPECT_EQ(SetPixels(CanvasSurface).size(), 0u);

    DrawPolyline(4, points.data(), 240);
    // Every vertex, the last one included, is the end of a drawn segment.
    for (int x = 0; x < 240; ++x)
        EXPECT_EQ(At(CanvasSurface, x, x % 2 ? 110 : 100), 0x07FF);
    for (int y = 100; y <= 104; ++y)
        EXPECT_EQ(At(CanvasSurface, 0, y), 0x07FF);
    EXPECT_EQ(At(CanvasSurface, 0, 105), 0x0000);

    // A vertex off the surface loses only the two segments that touch it.
    Fill(CanvasSurface, 0);
    points[5].y = 320;
    DrawPolyline(4, points.data(), 240);
    for (int y = 0; y < 320; ++y)
        EXPECT_EQ(At(CanvasSurface, 5, y), 0x0000) << y;
    EXPECT_EQ(At(CanvasSurface, 4, 100), 0x07FF);
    EXPECT_EQ(At(CanvasSurface, 6, 100), 0x07FF);
    EXPECT_EQ(At(CanvasSurface, 7, 110), 0x07FF);
}

TEST_F(SurfaceTest, FillCoversWidthPlusOneColumnsAndSpillsAtColumn240) {
    FillRect(5, 0, 256, 240, 1);
    std::set<Pixel> expected{{0, 257}};
    for (int x = 0; x < 240; ++x)
        expected.insert({x, 256});
    EXPECT_EQ(SetPixels(CanvasSurface), expected);

    Fill(CanvasSurface, 0);
    FillRect(5, 3, 73, 233, 10);
    expected.clear();
    for (int y = 73; y <= 82; ++y) {
        for (int x = 3; x <= 236; ++x)
            expected.insert({x, y});
    }
    EXPECT_EQ(SetPixels(CanvasSurface), expected);

    Fill(CanvasSurface, 0);
    FillRect(5, 9, 20, 0, 2);
    EXPECT_EQ(SetPixels(CanvasSurface), (std::set<Pixel>{{9, 20}, {9, 21}}));
    FillRect(5, 30, 20, -1, 5);
    FillRect(5, 30, 20, 5, 0);
    FillRect(5, 30, 20, 5, -3);
    EXPECT_EQ(SetPixels(CanvasSurface).size(), 2u);

    SetViewArea(7, 26, 233, 268);
    FillRect(5, 1, 30, 0, 1);
    EXPECT_EQ(At(CanvasSurface, 8, 30), 0xFFFF);
}

TEST_F(SurfaceTest, FillsNeverLeaveThePixelBuffer) {
    FillRect(5, 0, 319, 240, 5);  // the last row's spill has no next row
    FillRect(5, 100, 315, 400, 100);
    FillRect(5, -50, -4, 60, 6);
    FillRect(5, 2147483600, 0, 2147483647, 2);
    FillRect(5, -2147483647, 0, 2147483647, 1);
    FillSpan(&CanvasSurface, 239, 319, 1000, 0x1234);
    EXPECT_EQ(At(CanvasSurface, 239, 319), 0x1234);
    EXPECT_EQ(At(CanvasSurface, 0, 1), 0xFFFF);  // from the clipped fill at -50, -4
    EXPECT_EQ(At(CanvasSurface, 10, 1), 0xFFFF);
    EXPECT_EQ(At(CanvasSurface, 11, 1), 0x0000);
    EXPECT_EQ(At(CanvasSurface, 0, 2), 0x0000);
}

TEST_F(SurfaceTest, PenCodesChooseColourAndLayer) {
    SetPenColour(5, 1, 2, 3);
    EXPECT_EQ(PenValue(5), 0xFFFF);
    SetPenColour(1, 200, 100, 50);
    EXPECT_EQ(PenValue(1), 0xCB26);
    SetPenColour(1, 255, 255, 0);
    EXPECT_EQ(PenValue(1), 0xFFE0);
    const std::vector<std::pair<int, uint16_t>> colours = {
        {2, 0x0000},  {3, 0x0000},  {4, 0x07FF},  {5, 0xFFFF}, {46, 0xF800},
        {47, 0x001F}, {48, 0xFFE0}, {49, 0xFFFF}, {0, 0x87E0}, {6, 0x87E0}};
    for (auto [pen, colour] : colours)
        EXPECT_EQ(PenValue(pen), colour) << pen;
    for (int pen : {2, 46, 49})
        EXPECT_EQ(PenLayer(pen), &OverlaySurface) << pen;
    for (int pen : {1, 3, 4, 5, 47, 48, 0, 50})
        EXPECT_EQ(PenLayer(pen), &CanvasSurface) << pen;

    // The eraser removes an overlay mark and leaves the canvas alone.
    DrawLine(49, 0, 5, 20, 5);
    DrawLine(5, 0, 6, 20, 6);
    EXPECT_EQ(SetPixels(OverlaySurface).size(), 21u);
    DrawLine(2, 0, 5, 20, 5);
    EXPECT_EQ(SetPixels(OverlaySurface).size(), 0u);
    EXPECT_EQ(SetPixels(CanvasSurface).size(), 21u);
}

TEST_F(SurfaceTest, FadeFiresOnASharedRhythmWithTwoAlternatingRules) {
    FadeState = {0, 1};
    Fill(CanvasSurface, 0xFFFF);
    FadeRect(0, 0, 4, 4);
    FadeRect(0, 0, 4, 4);
    EXPECT_EQ(SetPixels(CanvasSurface).size(), size_t(kSurfacePixels));
    EXPECT_EQ(At(CanvasSurface, 0, 0), 0xFFFF);
    FadeRect(0, 0, 4, 4);  // third call: each channel loses a quarter
    EXPECT_EQ(At(CanvasSurface, 0, 0), 0xC618);
    EXPECT_EQ(At(CanvasSurface, 3, 3), 0xC618);
    EXPECT_EQ(At(CanvasSurface, 4, 3), 0xFFFF);
    EXPECT_EQ(At(CanvasSurface, 3, 4), 0xFFFF);
    Fill(CanvasSurface, 0xFFFF);
    FadeRect(0, 0, 4, 4);
    EXPECT_EQ(At(CanvasSurface, 0, 0), 0xFFFF);
    FadeRect(0, 0, 4, 4);  // fifth call: each channel minus one, without borrowing
    EXPECT_EQ(At(CanvasSurface, 0, 0), 0x73CE);

    const uint16_t samples[] = {0x0800, 0x0020, 0x0400, 0x0001, 0x0821, 0x0000, 0x1C63};
    const uint16_t minusOne[] = {0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x1042};
    // Two rectangles faded per block share one rhythm: calls 8, 10 and 13 fire next.
    int fired = 0;
    for (int call = 6; call <= 13; ++call) {
        for (int i = 0; i < 7; ++i)
            CanvasSurface.pixels[i] = samples[i];
        CanvasSurface.pixels[240] = 0xFFFF;
        if (call % 2) {
            FadeRect(0, 1, 1, 1);
        } else {
            FadeRect(0, 0, 7, 1);
        }
        const bool changed = CanvasSurface.pixels[240] != 0xFFFF ||
                             !std::equal(samples, samples + 7, CanvasSurface.pixels);
        EXPECT_EQ(changed, call == 8 || call == 10 || call == 13) << call;
        if (call == 10) {
            EXPECT_TRUE(std::equal(minusOne, minusOne + 7, CanvasSurface.pixels));
        }
        fired += changed;
    }
    EXPECT_EQ(fired, 3);
    FadeRect(0, 0, 0, 0);  // empty rectangles still advance the rhythm and the phase
    FadeRect(0, 0, 0, 0);
    EXPECT_EQ(FadeState.accumulator, 0);
    EXPECT_EQ(FadeState.phase, 1);
}

TEST_F(SurfaceTest, ColourBarThinsColoursIntoTheBottomOverlayRows) {
    std::vector<uint16_t> colours(256);
    for (int i = 0; i < 256; ++i)
        colours[i] = uint16_t(0x1000 + i);
    PaintColourBar(colours.data(), 256);
    for (int y = 0; y < 320; ++y) {
        const bool bar = y >= 256 && y <= 267;
        EXPECT_EQ(At(OverlaySurface, 0, y), bar ? 0x1001 : 0) << y;
    }
    for (int y = 256; y <= 267; ++y) {
        EXPECT_EQ(At(OverlaySurface, 15, y), 0x1000 + 16);
        EXPECT_EQ(At(OverlaySurface, 16, y), 0x1000 + 18);
        EXPECT_EQ(At(OverlaySurface, 239, y), 0x1000 + 254);
    }
    EXPECT_EQ(SetPixels(CanvasSurface).size(), 0u);

    Fill(OverlaySurface, 0);
    SetViewArea(0, 0, 240, 256);
    PaintColourBar(colours.data(), 256);
    EXPECT_EQ(SetPixels(OverlaySurface).size(), 0u);
    SetViewArea(0, 0, 240, 400);          // rows past the surface are dropped
    PaintColourBar(colours.data(), 100);  // too few colours: the bar stops at the last
    EXPECT_EQ(At(OverlaySurface, 98, 319), 0x1000 + 99);
    EXPECT_EQ(At(OverlaySurface, 99, 319), 0);
}

TEST_F(SurfaceTest, ColumnInsertScrollsAndBlendsTheNewStrip) {
    // Canvas row r, column c holds a value that names both, so moves are visible.
    for (int y = 86; y < 256; ++y) {
        for (int x = 0; x < 240; ++x)
            CanvasSurface.pixels[y * 240 + x] = uint16_t(x * 8 + y);
    }
    std::vector<uint16_t> strip(170);
    for (int i = 0; i < 170; ++i)
        strip[i] = uint16_t(0xF000 + i * 4);
    auto half = [](int p) { return (p >> 1) & 0x7BEF; };

    ScrollInsertColumn(strip.data(), 4, 86, 0, 201);
    EXPECT_EQ(At(CanvasSurface, 0, 86), 86);
    ScrollInsertColumn(strip.data(), 4, 86, 170, 201);
    for (int y = 86; y < 256; ++y) {
        const int v = strip[255 - y];
        for (int x = 0; x <= 197; ++x)
            ASSERT_EQ(At(CanvasSurface, x, y), (x + 4) * 8 + y);
        const int left5 = 200 * 8 + y;  // column 196 after the scroll
        EXPECT_EQ(At(CanvasSurface, 199, y), half(v) + half(left5)) << y;
        EXPECT_EQ(At(CanvasSurface, 198, y), half(v) + half(left5)) << y;
        EXPECT_EQ(At(CanvasSurface, 200, y), half(v) + half(half(v) + half(left5))) << y;
        EXPECT_EQ(At(CanvasSurface, 201, y), v);
        EXPECT_EQ(At(CanvasSurface, 202, y), 202 * 8 + y);
    }
    EXPECT_EQ(At(CanvasSurface, 201, 255), 0xF000);
    EXPECT_EQ(At(CanvasSurface, 201, 86), 0xF000 + 169 * 4);
    EXPECT_EQ(At(CanvasSurface, 0, 85), 0);

    // Blocks that would leave the canvas are refused whole.
    std::vector<uint16_t> before(CanvasSurface.pixels, CanvasSurface.pixels + kSurfacePixels);
    ScrollInsertColumn(strip.data(), 4, 200, 170, 201);
    ScrollInsertColumn(strip.data(), 4, 86, 170, 240);
    ScrollInsertColumn(strip.data(), 4, 86, 170, 4);
    ScrollInsertColumn(strip.data(), -4, 86, 170, 201);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), CanvasSurface.pixels));

    // No shift, or one past the block's right edge, moves nothing; the strip still goes in.
    for (const int shift : {0, 202, 1000}) {
        ScrollInsertColumn(strip.data(), shift, 86, 170, 201);
        for (int y = 86; y < 256; ++y) {
            EXPECT_EQ(At(CanvasSurface, 0, y), before[y * 240]) << shift;
            EXPECT_EQ(At(CanvasSurface, 197, y), before[y * 240 + 197]) << shift;
            EXPECT_EQ(At(CanvasSurface, 201, y), strip[255 - y]) << shift;
        }
    }
}

TEST_F(SurfaceTest, ClearEmptiesTheOverlayAndAClippedCanvasRectangle) {
    Fill(OverlaySurface, 0xF800);
    Fill(CanvasSurface, 0x07FF);
    ClearViewRect(0, 0, 0, 0);
    EXPECT_EQ(SetPixels(OverlaySurface).size(), 0u);
    EXPECT_EQ(SetPixels(CanvasSurface).size(), size_t(kSurfacePixels));

    ClearViewRect(10, 20, 5, 3);  // columns 10 to 14, rows 20 to 22
    EXPECT_EQ(SetPixels(CanvasSurface).size(), size_t(kSurfacePixels - 15));
    EXPECT_EQ(At(CanvasSurface, 14, 22), 0);
    EXPECT_EQ(At(CanvasSurface, 15, 22), 0x07FF);
    EXPECT_EQ(At(CanvasSurface, 14, 23), 0x07FF);

    // Rectangles reaching past the canvas are clipped, also for the fade.
    ClearViewRect(230, 310, 100, 100);
    ClearViewRect(-100, -100, 105, 102);
    EXPECT_EQ(SetPixels(CanvasSurface).size(), size_t(kSurfacePixels - 15 - 100 - 10));
    FadeState = {60, 1};
    FadeRect(-5, 315, 1000, 1000);
    EXPECT_EQ(At(CanvasSurface, 0, 319), 0x0618);  // green 63 -> 48, blue 31 -> 24
}

}  // namespace
