// SPDX-License-Identifier: GPL-3.0-or-later
// The requests that carry the view to an X server that scales it: the scale transform under
// the servers' nearest sampling (pixman's fixed-point arithmetic, which Xorg, Xvfb and Xwayland
// use), the puts that fit a request, where a patch and the margins go, and a part of the view
// that moved, which the server moves instead.
#include "platform/qt/scaled_view.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

// The source pixel that nearest sampling picks for device pixel `c` (along one axis) of a
// composite: the pixel's centre through the transform, in 16.16 fixed point, then the pixel
// below it, an exact half going down. Affine: the product rounded once (the fast paths then
// add the factor per pixel, which comes to the same); projective: a rounded division.
int64_t SampledPixel(const PictureTransform& t, int64_t c) {
    const int64_t centre = c * 65536 + 32768;
    int64_t position;
    if (t.matrix[2][2] == 65536) {
        position = (t.matrix[0][0] * centre + 32768) >> 16;
    } else {
        const int64_t divisor = t.matrix[2][2];
        position = (t.matrix[0][0] * centre + divisor / 2) / divisor;
    }
    return (position - 1) >> 16;
}

TEST(ScaledView, NearestSamplingShowsEveryDevicePixelItsOwnScreenPixel) {
    for (const int scale : {1, 2, 3, 4, 5, 6, 7, 9, 11, 13, 16, 19, 22, 23, 24, 30, 45, 64, 100}) {
        const PictureTransform t = ScaleDownTransform(scale);
        EXPECT_EQ(t.matrix[0][0], t.matrix[1][1]) << scale;
        EXPECT_EQ(t.matrix[2][0] | t.matrix[2][1] | t.matrix[0][1] | t.matrix[1][0], 0) << scale;
        EXPECT_EQ(t.matrix[0][2] | t.matrix[1][2], 0) << scale;
        int wrong = 0;
        for (int64_t c = 0; c < int64_t{scale} * kWindowViewHeight; c++)
            wrong += SampledPixel(t, c) != c / scale;
        EXPECT_EQ(wrong, 0) << "scale " << scale;
    }
    // The common scales take the servers' affine fast path.
    for (int scale = 1; scale <= 22; scale++)
        EXPECT_EQ(ScaleDownTransform(scale).matrix[2][2], 65536) << scale;
}

// Puts of whole rows, top to bottom, none over the limit unless a single row is.
void ExpectPutsCarry(const ViewPatch& patch, size_t maxBytes, int expectedCount) {
    PixelRect puts[kMostPutsPerPatch];
    const int count = SplitPatchIntoPuts(patch, maxBytes, puts);
    ASSERT_EQ(count, expectedCount) << maxBytes;
    int next = patch.top;
    for (int i = 0; i < count; i++) {
        EXPECT_EQ(puts[i].x, patch.left);
        EXPECT_EQ(puts[i].width, patch.right - patch.left + 1);
        EXPECT_EQ(puts[i].y, next);
        EXPECT_GE(puts[i].height, 1);
        const size_t bytes = 4u * static_cast<size_t>(puts[i].width * puts[i].height);
        EXPECT_TRUE(bytes <= maxBytes || puts[i].height == 1) << i;
        next += puts[i].height;
    }
    EXPECT_EQ(next, patch.bottom + 1);
}

TEST(ScaledView, PutsCarryWholeRowsWithinTheRequestLimit) {
    const ViewPatch view{0, 0, 239, 267};
    ExpectPutsCarry(view, 16 * 1024 * 1024, 1);  // BIG-REQUESTS
    ExpectPutsCarry(view, 262140 - 24, 1);       // without: the view fits one request
    ExpectPutsCarry(view, 16384 - 24, 16);       // the least a server accepts: 17 rows each
    ExpectPutsCarry({16, 100, 31, 103}, 16384 - 24, 1);
    ExpectPutsCarry({0, 5, 239, 9}, 100, 5);  // not even a row: a row each
}

TEST(ScaledView, APatchGoesToItsScaledPlaceAndTheMarginsSurroundTheView) {
    const ScaledPatch s = ScalePatch({16, 100, 31, 103}, 3, 5, 2);
    EXPECT_EQ(s.source.x, 48);
    EXPECT_EQ(s.source.y, 300);
    EXPECT_EQ(s.target.x, 53);
    EXPECT_EQ(s.target.y, 302);
    EXPECT_EQ(s.source.width, 48);
    EXPECT_EQ(s.target.width, 48);
    EXPECT_EQ(s.source.height, 12);
    EXPECT_EQ(s.target.height, 12);

    // Every pixel of the window is in the view or in exactly one margin.
    for (const PixelRect view : {PixelRect{5, 2, 20, 10}, PixelRect{0, 0, 30, 14},
                                 PixelRect{0, 3, 30, 8}, PixelRect{7, 0, 20, 14}}) {
        PixelRect margins[4];
        const int count = MarginsAround(view, 30, 14, margins);
        std::vector<int> covered(30 * 14, 0);
        for (int i = 0; i < count; i++) {
            EXPECT_GT(margins[i].width * margins[i].height, 0);
            for (int y = margins[i].y; y < margins[i].y + margins[i].height; y++) {
                for (int x = margins[i].x; x < margins[i].x + margins[i].width; x++)
                    covered[size_t(y * 30 + x)]++;
            }
        }
        for (int y = 0; y < 14; y++) {
            for (int x = 0; x < 30; x++) {
                const bool inView = x >= view.x && x < view.x + view.width && y >= view.y &&
                                    y < view.y + view.height;
                ASSERT_EQ(covered[size_t(y * 30 + x)], inView ? 0 : 1) << x << ", " << y;
            }
        }
    }
}

TEST(ScaledView, TheChangesOutsideAMovedPartAreCutAroundIt) {
    const ViewPatch patches[] = {{0, 0, 239, 3}, {0, 60, 207, 231}, {224, 60, 239, 63}};
    const ViewPatch moved{0, 62, 197, 229};
    ViewPatch pieces[4 * 3];
    const int count = PatchesOutside(patches, 3, moved, pieces);
    // Every changed pixel outside the moved part is in exactly one piece; none inside it.
    std::vector<int> covered(240 * 268, 0);
    for (int i = 0; i < count; i++) {
        for (int y = pieces[i].top; y <= pieces[i].bottom; y++) {
            for (int x = pieces[i].left; x <= pieces[i].right; x++)
                covered[size_t(y * 240 + x)]++;
        }
    }
    for (int y = 0; y < 268; y++) {
        for (int x = 0; x < 240; x++) {
            bool changed = false;
            for (const ViewPatch& p : patches)
                changed = changed || (x >= p.left && x <= p.right && y >= p.top && y <= p.bottom);
            const bool inMoved =
                x >= moved.left && x <= moved.right && y >= moved.top && y <= moved.bottom;
            ASSERT_EQ(covered[size_t(y * 240 + x)], changed && !inMoved ? 1 : 0) << x << ", " << y;
        }
    }
    EXPECT_EQ(count, 5);  // the band above, the plot's rows above and below it, its right edge
}

// A frame whose plot (view rows 60 to 229, columns 0 to 201) moved left by `columns` with new
// columns at its right, over a waveform above that changed at random, beside a fixed axis.
struct MovedPlot {
    std::vector<uint16_t> frame = std::vector<uint16_t>(240 * 320);
    ShownViewRows shown;
};
MovedPlot MovePlot(int columns, int plotRight = 201) {
    std::mt19937 random(7);
    MovedPlot m;
    for (int y = 0; y < 268; y++) {
        for (int x = 0; x < 240; x++)
            m.shown[y][x] = static_cast<uint16_t>(random());
    }
    for (int y = 0; y < 268; y++) {
        uint16_t* row = m.frame.data() + (26 + y) * 240;
        std::memcpy(row, m.shown[y], sizeof m.shown[y]);
        if (y < 50) {
            for (int x = 0; x < 240; x += 3)
                row[x] = static_cast<uint16_t>(random());
        } else if (y >= 60 && y <= 229) {
            for (int x = 0; x <= plotRight; x++) {
                row[x] = x + columns <= plotRight ? m.shown[y][x + columns]
                                                  : static_cast<uint16_t>(random());
            }
        }
    }
    return m;
}

TEST(ScaledView, APlotThatMovedLeftIsFoundWhereItMoved) {
    for (const int columns : {1, 4, 12, 32}) {
        const MovedPlot m = MovePlot(columns);
        ViewShiftRecord shift;
        FindViewShift(m.frame.data(), m.shown, &shift);
        EXPECT_EQ(shift.columns, columns);
        EXPECT_EQ(shift.left, 0) << columns;
        EXPECT_EQ(shift.right, 201 - columns) << columns;
        EXPECT_EQ(shift.top, 60) << columns;
        EXPECT_EQ(shift.bottom, 229) << columns;
    }
    // Farther than looked for, or too narrow a part: none.
    ViewShiftRecord shift;
    MovedPlot far = MovePlot(33);
    FindViewShift(far.frame.data(), far.shown, &shift);
    EXPECT_EQ(shift.columns, 0);
    MovedPlot narrow = MovePlot(4, 30);
    FindViewShift(narrow.frame.data(), narrow.shown, &shift);
    EXPECT_EQ(shift.columns, 0);
    // Nothing changed: nothing moved.
    std::memcpy(far.frame.data() + 26 * 240, far.shown, sizeof far.shown);
    FindViewShift(far.frame.data(), far.shown, &shift);
    EXPECT_EQ(shift.columns, 0);
}

}  // namespace
