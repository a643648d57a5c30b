// SPDX-License-Identifier: GPL-3.0-or-later
// The per-frame primitives against their straightforward forms: lines and polylines, the
// two fade rules and the composed copy must set exactly the pixels that the plain per-pixel
// algorithms set, for every case the fast paths split off.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "raster/display.h"
#include "raster/display_backend.h"
#include "raster/surface.h"
#include "tests/raster/pixels.h"

namespace {

// The line in its plain per-pixel form: one pixel per major step, the error tested before it grows.
void LiteralLine(std::vector<uint16_t>& pixels, int x0, int y0, int x1, int y1, uint16_t colour) {
    if (x0 < 0 || y0 < 0 || x1 < 0 || y1 < 0) return;
    if (x0 >= kSurfaceWidth || x1 >= kSurfaceWidth) return;
    if (y0 >= kSurfaceHeight || y1 >= kSurfaceHeight) return;
    const int ax = std::abs(x1 - x0), ay = std::abs(y1 - y0);
    const int sx = (x1 > x0) - (x1 < x0), sy = (y1 > y0) - (y1 < y0);
    int x = x0, y = y0;
    if (ax >= ay) {
        int error = ay - (ax >> 1);
        for (;;) {
            pixels[y * kSurfaceWidth + x] = colour;
            if (x == x1) break;
            if (error >= 0) {
                error -= ax;
                y += sy;
            }
            x += sx;
            error += ay;
        }
    } else {
        int error = ax - (ay >> 1);
        for (;;) {
            pixels[y * kSurfaceWidth + x] = colour;
            if (y == y1) break;
            if (error >= 0) {
                error -= ay;
                x += sx;
            }
            y += sy;
            error += ax;
        }
    }
}

std::vector<uint16_t> CanvasCopy() {
    return std::vector<uint16_t>(CanvasSurface.pixels, CanvasSurface.pixels + kSurfacePixels);
}

// Index of the first pixel where the canvas differs from `expected`, or -1.
int FirstDifference(const std::vector<uint16_t>& expected) {
    for (int i = 0; i < kSurfacePixels; ++i) {
        if (CanvasSurface.pixels[i] != expected[i]) return i;
    }
    return -1;
}

class ReferenceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Fill(CanvasSurface, 0);
        Fill(OverlaySurface, 0);
        SetViewArea(0, 26, 240, 268);
    }
};

TEST_F(ReferenceTest, LinesInEveryDirectionAndLengthSetThePixelsOfThePlainPerPixelLine) {
    // Every end point within 45 pixels of a start, from starts in the middle and at edges,
    // and long lines across the surface: steep, flat, one column wide, diagonal, a point.
    const int starts[][2] = {{120, 160}, {0, 0}, {239, 319}, {3, 300}};
    std::vector<uint16_t> expected(kSurfacePixels, 0);
    int lines = 0;
    for (const auto& s : starts) {
        for (int dy = -45; dy <= 45; ++dy) {
            for (int dx = -45; dx <= 45; ++dx) {
                const uint16_t colour = static_cast<uint16_t>(1 + (lines++ % 0xFFFE));
                PlotLine(&CanvasSurface, s[0], s[1], s[0] + dx, s[1] + dy, colour);
                LiteralLine(expected, s[0], s[1], s[0] + dx, s[1] + dy, colour);
            }
        }
        ASSERT_EQ(FirstDifference(expected), -1) << "from " << s[0] << "," << s[1];
    }
    std::mt19937 random(23);
    std::uniform_int_distribution<int> column(-2, 241), row(-2, 321);
    for (int i = 0; i < 4000; ++i) {
        const int x0 = column(random), y0 = row(random), x1 = column(random), y1 = row(random);
        PlotLine(&CanvasSurface, x0, y0, x1, y1, static_cast<uint16_t>(i + 1));
        LiteralLine(expected, x0, y0, x1, y1, static_cast<uint16_t>(i + 1));
        ASSERT_EQ(FirstDifference(expected), -1) << x0 << "," << y0 << " to " << x1 << "," << y1;
    }
}

TEST_F(ReferenceTest, PolylineTracesAreTheirSegmentsDrawnInOrder) {
    // Trace-like vertex rows (one column apart, jumping rows), some vertices off the surface,
    // drawn with the view shifted so that columns are offset and clamped.
    std::mt19937 random(29);
    std::uniform_int_distribution<int> row(-20, 340);
    for (int left : {0, 7, -3}) {
        SCOPED_TRACE(left);
        SetViewArea(left, 26, 240, 268);
        Fill(CanvasSurface, 0);
        std::vector<uint16_t> expected(kSurfacePixels, 0);
        PixelPoint points[240];
        for (int spacing : {1, 2}) {
            for (int i = 0; i < 240; ++i)
                points[i] = {static_cast<int16_t>(i * spacing), static_cast<int16_t>(row(random))};
            DrawPolyline(kPenCyan, points, 240);
            for (int i = 0; i + 1 < 240; ++i) {
                LiteralLine(expected, points[i].x + left, points[i].y, points[i + 1].x + left,
                            points[i + 1].y, 0x07FF);
            }
        }
        ASSERT_EQ(FirstDifference(expected), -1);
    }
}

// The fade rules channel by channel, as the dimming is described.
uint16_t QuarterByChannels(uint16_t p) {
    const int r = p >> 11, g = (p >> 5) & 0x3F, b = p & 0x1F;
    return static_cast<uint16_t>(((r - r / 4) << 11) | ((g - g / 4) << 5) | (b - b / 4));
}
uint16_t OneByChannels(uint16_t p) {
    const int r = p >> 11, g = (p >> 5) & 0x3F, b = p & 0x1F;
    const int r2 = r != 0 ? (r - 1) & 0x0F : 0;
    const int b2 = b != 0 ? (b - 1) & 0x0F : 0;
    const int g2 = (g & 0x1F) != 0 ? (g - 1) & 0x1F : 0;
    return static_cast<uint16_t>((r2 << 11) | (g2 << 5) | b2);
}

TEST_F(ReferenceTest, FadesDimEveryPixelValueOfWholeAndPartialRectanglesByTheirRule) {
    struct Rect {
        int x, y, width, height;
    };
    const Rect rects[] = {{0, 0, 240, 320},
                          {0, 85, 240, 170},
                          {13, 7, 101, 250},
                          {-5, -5, 20, 20},
                          {230, 300, 50, 50}};
    for (const Rect& rect : rects) {
        for (uint8_t phase : {uint8_t{1}, uint8_t{0}}) {
            SCOPED_TRACE(testing::Message() << rect.x << "," << rect.y << " phase " << int(phase));
            // Every 16-bit value appears on the canvas.
            for (int i = 0; i < kSurfacePixels; ++i)
                CanvasSurface.pixels[i] = static_cast<uint16_t>(i * 7);
            std::vector<uint16_t> expected = CanvasCopy();
            for (int y = std::max(rect.y, 0); y < std::min(rect.y + rect.height, 320); ++y) {
                for (int x = std::max(rect.x, 0); x < std::min(rect.x + rect.width, 240); ++x) {
                    uint16_t& p = expected[y * kSurfaceWidth + x];
                    p = phase ? QuarterByChannels(p) : OneByChannels(p);
                }
            }
            FadeState = {60, phase};  // the next call fires
            FadeRect(rect.x, rect.y, rect.width, rect.height);
            EXPECT_EQ(FadeState.phase, !phase);
            ASSERT_EQ(FirstDifference(expected), -1);
        }
    }
}

// A frame buffer of 240 x 320 pixels, laid out by the pitches a test chooses.
struct TestScreen {
    DisplayProperties properties = {240, 320, 2, 480, 16, kDisplayFormatRgb565};
    std::vector<uint16_t> frame = std::vector<uint16_t>(240 * 320, 0xABCD);
    ptrdiff_t origin = 0;
};
TestScreen* screen = nullptr;

const DisplayBackEnd kTestScreenBackEnd = {
    [](void*) { return true; },
    [](int, int) {},
    [] { return screen->properties; },
    [] { return false; },
    []() -> uint16_t* { return screen->frame.data() + screen->origin; },
    [] {},
    [] {},
    nullptr,
    nullptr,
};

TEST_F(ReferenceTest, ComposedCopyMatchesComposingTheWholeViewThenCopyingPixelByPixel) {
    struct Layout {
        int xPitch, yPitch;
        ptrdiff_t origin;
    };
    const Layout layouts[] = {
        {2, 480, 0}, {-640, 2, 239 * 320}, {2, -480, 319 * 240}, {-2, 480, 239}};
    const ViewAreaRecord views[] = {
        {0, 26, 240, 268}, {0, 0, 240, 320}, {0, -5, 200, 330}, {0, 40, 240, 300}, {0, 3, 17, 9}};
    std::mt19937 random(31);
    std::uniform_int_distribution<int> any(0, 0xFFFF);
    for (const Layout& layout : layouts) {
        for (const ViewAreaRecord& view : views) {
            SCOPED_TRACE(testing::Message()
                         << "pitches " << layout.xPitch << "," << layout.yPitch << " view top "
                         << view.top << " size " << view.width << "x" << view.height);
            TestScreen test;
            test.properties.cbxPitch = layout.xPitch;
            test.properties.cbyPitch = layout.yPitch;
            test.origin = layout.origin;
            screen = &test;
            SetDisplayBackEnd(&kTestScreenBackEnd);
            ASSERT_TRUE(OpenDisplay(nullptr));
            SetViewArea(view.left, view.top, view.width, view.height);
            // A mostly transparent overlay with marks and lines, over a busy canvas.
            for (int i = 0; i < kSurfacePixels; ++i) {
                CanvasSurface.pixels[i] = static_cast<uint16_t>(any(random));
                const int r = any(random);
                OverlaySurface.pixels[i] = r < 0x1000 ? static_cast<uint16_t>(r | 1) : 0;
            }
            for (int i = 0; i < kSurfaceWidth; ++i)
                OverlaySurface.pixels[100 * kSurfaceWidth + i] = 0xF800;

            std::vector<uint16_t> canvas = CanvasCopy();
            std::vector<uint16_t> frame = test.frame;
            const int rows = std::clamp(view.height, 0, 320);
            const int columns = std::clamp(view.width, 0, 240);
            for (int k = rows * kSurfaceWidth - 1; k >= 0; --k) {
                if (OverlaySurface.pixels[k] != 0) canvas[k] = OverlaySurface.pixels[k];
            }
            const int first = std::clamp(-view.top, 0, rows);
            const int end = std::clamp(320 - view.top, first, rows);
            for (int i = first; i < end; ++i) {
                for (int j = 0; j < columns; ++j) {
                    frame[layout.origin + static_cast<ptrdiff_t>(view.top + i) * yStride +
                          static_cast<ptrdiff_t>(j) * xStride] = canvas[i * kSurfaceWidth + j];
                }
            }

            PresentFrame();
            EXPECT_EQ(FirstDifference(canvas), -1);
            EXPECT_TRUE(test.frame == frame);
            CloseDisplay();
            SetDisplayBackEnd(nullptr);
            screen = nullptr;
        }
    }
}

}  // namespace
