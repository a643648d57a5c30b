// SPDX-License-Identifier: GPL-3.0-or-later
// What a frame changed against the view as shown, on frames made from a random view by moving
// parts of it left and changing blocks and single pixels (at block edges, in the first and
// last columns): the patches cover exactly the changed blocks, joined as promised, and the
// part found moved is the shown view moved, found where it moved.
#include "platform/qt/view_changes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = kWindowScreenWidth;
constexpr int kHeight = kWindowViewHeight;

struct ChangedFrame {
    std::vector<uint16_t> frame = std::vector<uint16_t>(kWidth * kWindowScreenHeight);
    ShownViewRows shown;
    ViewShiftRecord moved{};  // the largest part moved as the finder must find it
    uint16_t* View() { return frame.data() + kWindowViewTop * kWidth; }
};

// With `colours` 0 the pixels are random 16-bit values and the moved parts are the only
// moves there are; with a few colours, in runs, moves also match by chance.
void MakeChangedFrame(std::mt19937& random, int colours, ChangedFrame* c) {
    const auto colour = [&] {
        return static_cast<uint16_t>(colours == 0 ? random() : random() % colours * 0x2D4B);
    };
    for (auto& row : c->shown) {
        for (int x = 0; x < kWidth; x++)
            row[x] = x == 0 || colours == 0 || random() % 4 == 0 ? colour() : row[x - 1];
    }
    uint16_t* view = c->View();
    std::memcpy(view, c->shown, sizeof c->shown);
    // Parts in rows of their own, moved left by 1 to 40 columns; new pixels come in at the
    // right where a part reaches the edge.
    std::vector<bool> inPart(kHeight, false);
    for (int top = static_cast<int>(random() % 20); top < kHeight;
         top += 1 + static_cast<int>(random() % 40)) {
        const int bottom = std::min(kHeight - 1, top + static_cast<int>(random() % 60));
        const int left = random() % 2 == 0 ? 0 : static_cast<int>(random() % kWidth);
        const int right =
            random() % 2 == 0 ? kWidth - 1 : left + static_cast<int>(random() % (kWidth - left));
        const int columns = 1 + static_cast<int>(random() % 40);
        for (int y = top; y <= bottom; y++) {
            inPart[size_t(y)] = true;
            for (int x = left; x <= right; x++)
                view[y * kWidth + x] = x + columns < kWidth ? c->shown[y][x + columns] : colour();
        }
        const ViewShiftRecord part{left, top, std::min(right, kWidth - 1 - columns), bottom,
                                   columns};
        const auto area = [](const ViewShiftRecord& p) {
            return (p.right - p.left + 1) * (p.bottom - p.top + 1);
        };
        if (columns <= kMostShiftColumns && part.right - left + 1 >= kLeastShiftedColumns &&
            bottom - top + 1 >= kViewPatchRows &&
            (c->moved.columns == 0 || area(part) > area(c->moved)))
            c->moved = part;
        top = bottom + 1;
    }
    // Blocks and single pixels changed outside the parts.
    for (int i = static_cast<int>(random() % 30); i > 0; i--) {
        const int y = static_cast<int>(random() % kHeight);
        if (inPart[size_t(y)]) continue;
        const int block = static_cast<int>(random() % kViewBlocksAcross) * kViewPatchColumns;
        const int xs[] = {0, kWidth - 1, block, block + kViewPatchColumns - 1,
                          static_cast<int>(random() % kWidth)};
        const int x = xs[random() % 5];
        view[y * kWidth + x] = static_cast<uint16_t>(view[y * kWidth + x] + 1);
        if (random() % 4 == 0) {
            for (int k = 0; k < kViewPatchColumns; k++)
                view[y * kWidth + block + k] = colour();
        }
    }
}

// Bit b of band n: a pixel of block b of band n differs.
std::vector<unsigned> ChangedBlocks(const uint16_t* view, const ShownViewRows& shown) {
    std::vector<unsigned> bands(kViewBands, 0);
    for (int y = 0; y < kHeight; y++) {
        for (int x = 0; x < kWidth; x++) {
            if (view[y * kWidth + x] != shown[y][x])
                bands[size_t(y / kViewPatchRows)] |= 1u << (x / kViewPatchColumns);
        }
    }
    return bands;
}

void ExpectPatchesCoverTheChangedBlocks(const ViewChangesRecord& changes,
                                        const std::vector<unsigned>& bands) {
    std::vector<unsigned> covered(kViewBands, 0);
    for (int i = 0; i < changes.patchCount; i++) {
        const ViewPatch& p = changes.patches[i];
        ASSERT_TRUE(p.left % kViewPatchColumns == 0 && (p.right + 1) % kViewPatchColumns == 0 &&
                    p.top % kViewPatchRows == 0 && (p.bottom + 1) % kViewPatchRows == 0 &&
                    p.left <= p.right && p.top <= p.bottom && p.right < kWidth &&
                    p.bottom < kHeight)
            << i;
        if (i > 0) {
            const ViewPatch& q = changes.patches[i - 1];
            EXPECT_TRUE(q.top < p.top ||
                        (q.top == p.top && q.bottom == p.bottom && q.right < p.left))
                << i;
        }
        const int first = p.top / kViewPatchRows, last = p.bottom / kViewPatchRows;
        const unsigned run =
            (2u << (p.right / kViewPatchColumns)) - (1u << (p.left / kViewPatchColumns));
        for (int n = first; n <= last; n++) {
            // Bands joined only while their blocks are alike; runs of changed blocks whole.
            EXPECT_EQ(bands[size_t(n)], bands[size_t(first)]) << i;
            EXPECT_EQ(bands[size_t(n)] & (run | run << 1 | run >> 1), run) << i;
            EXPECT_EQ(covered[size_t(n)] & run, 0u) << i;
            covered[size_t(n)] |= run;
        }
        if (first > 0) {
            EXPECT_NE(bands[size_t(first - 1)], bands[size_t(first)]) << i;
        }
        if (last + 1 < kViewBands) {
            EXPECT_NE(bands[size_t(last + 1)], bands[size_t(first)]) << i;
        }
    }
    EXPECT_EQ(covered, bands);
}

// A part found is the shown view moved, wide and tall enough, and in its first row it is the
// whole run around the first differing column of the fewest columns' move that is that wide.
void ExpectAPartThatMoved(const ViewShiftRecord& s, const uint16_t* view,
                          const ShownViewRows& shown) {
    if (s.columns == 0) return;
    ASSERT_TRUE(s.columns <= kMostShiftColumns && s.left >= 0 && s.right + s.columns < kWidth &&
                s.right - s.left + 1 >= kLeastShiftedColumns && s.top >= 0 && s.bottom < kHeight &&
                s.bottom - s.top + 1 >= kViewPatchRows);
    for (int y = s.top; y <= s.bottom; y++) {
        for (int x = s.left; x <= s.right; x++)
            ASSERT_EQ(view[y * kWidth + x], shown[y][x + s.columns]) << x << ", " << y;
    }
    const uint16_t* now = view + s.top * kWidth;
    const uint16_t* before = shown[s.top];
    int first = 0;
    while (first < kWidth && now[first] == before[first])
        first++;
    ASSERT_LT(first, kWidth);
    for (int columns = 1; columns <= s.columns; columns++) {
        int left = first, right = first - 1;
        while (left > 0 && now[left - 1] == before[left - 1 + columns])
            left--;
        while (right + 1 + columns < kWidth && now[right + 1] == before[right + 1 + columns])
            right++;
        const bool wide = right >= first + 7 && right - left + 1 >= kLeastShiftedColumns;
        EXPECT_EQ(wide, columns == s.columns) << columns;
        if (columns == s.columns) {
            EXPECT_TRUE(left == s.left && right == s.right);
        }
    }
    if (s.bottom + 1 < kHeight) {
        EXPECT_NE(std::memcmp(view + (s.bottom + 1) * kWidth + s.left,
                              shown[s.bottom + 1] + s.left + s.columns,
                              sizeof(uint16_t) * size_t(s.right - s.left + 1)),
                  0);
    }
}

TEST(ViewChanges, RandomChangesAreFoundExactly) {
    std::mt19937 random(29);
    ChangedFrame c;
    for (int round = 0; round < 400; round++) {
        const int colours = round % 2 == 0 ? 0 : 2 + round % 5;
        c = ChangedFrame{};
        MakeChangedFrame(random, colours, &c);
        ViewShiftRecord shift;
        FindViewShift(c.frame.data(), c.shown, &shift);
        ExpectAPartThatMoved(shift, c.View(), c.shown);
        if (colours == 0) {
            EXPECT_EQ(shift.columns, c.moved.columns) << round;
            if (shift.columns != 0) {
                EXPECT_TRUE(shift.left == c.moved.left && shift.right == c.moved.right &&
                            shift.top == c.moved.top && shift.bottom == c.moved.bottom)
                    << round;
            }
        }
        const std::vector<unsigned> bands = ChangedBlocks(c.View(), c.shown);
        ViewChangesRecord changes;
        FindViewChanges(c.frame.data(), c.shown, &changes);
        ExpectPatchesCoverTheChangedBlocks(changes, bands);
        EXPECT_EQ(std::memcmp(c.shown, c.View(), sizeof c.shown), 0);
        if (HasFailure()) FAIL() << "round " << round;
    }
}

// A flat view whose one mark moved: the first change is near the rows' end, and the move is
// found up to the last column from which it can be probed; from the next, none is.
TEST(ViewChanges, AMoveIsFoundUpToTheLastColumnItCanBeProbedFrom) {
    for (const int columns : {1, 4, 12, 32}) {
        for (const int mark : {232, 233}) {
            ChangedFrame c;
            for (auto& row : c.shown) {
                std::fill(row, row + kWidth, 0x1234);
                row[mark] = 0xF800;
            }
            uint16_t* view = c.View();
            for (int y = 0; y < kHeight; y++) {
                for (int x = 0; x < kWidth; x++)
                    view[y * kWidth + x] = x + columns < kWidth ? c.shown[y][x + columns] : 0x1234;
            }
            ViewShiftRecord shift;
            FindViewShift(c.frame.data(), c.shown, &shift);
            if (mark == 232) {
                EXPECT_EQ(shift.columns, columns);
                EXPECT_TRUE(shift.left == 0 && shift.right == kWidth - 1 - columns &&
                            shift.top == 0 && shift.bottom == kHeight - 1)
                    << columns;
            } else {
                EXPECT_EQ(shift.columns, 0) << columns;
            }
        }
    }
}

// The frames searched, as a string of 'y' and '.' for `frames` frames, with a move found in
// each frame listed in `moves` (when that frame is searched).
std::string SearchedFrames(ShiftLooksRecord* looks, int frames, std::vector<int> moves = {}) {
    std::string searched;
    for (int f = 0; f < frames; f++) {
        const bool due = ShiftLookDue(looks);
        searched += due ? 'y' : '.';
        if (due && std::find(moves.begin(), moves.end(), f) != moves.end()) NoteShiftFound(looks);
    }
    return searched;
}

TEST(ViewChanges, MovesAreLookedForOnEveryFrameWhileTheyComeAndOnOneInEightAfter) {
    static_assert(kQuietShiftLooks == 8, "the strings below are written for eight");
    ShiftLooksRecord looks;
    // A view that never moves: searched at first, then on one frame in eight, for good.
    EXPECT_EQ(SearchedFrames(&looks, 41), "yyyyyyyyy.......y.......y.......y.......y");
    // A move found on a searched frame: every frame again until eight more pass without one.
    EXPECT_EQ(SearchedFrames(&looks, 30, {7}), ".......yyyyyyyyyy.......y.....");
    // A scrolling plot moves on every frame, or on every other: never skipped.
    looks = {};
    std::vector<int> everyOther;
    for (int f = 0; f < 200; f += 2)
        everyOther.push_back(f);
    EXPECT_EQ(SearchedFrames(&looks, 200, everyOther), std::string(200, 'y'));
}

}  // namespace
