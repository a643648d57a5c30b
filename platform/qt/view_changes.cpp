// SPDX-License-Identifier: GPL-3.0-or-later
// The view's changes between two frames: the blocks of each row that differ, joined into
// bands of rows, and bands side by side with the same blocks into one patch per run.
#include "platform/qt/view_changes.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kWidth = kWindowScreenWidth;
constexpr int kHeight = kWindowViewHeight;
constexpr size_t kRowBytes = sizeof(uint16_t) * kWidth;

static_assert(kViewBlocksAcross <= 16, "a row's blocks are bits of a 16-bit mask");

// Bit b: columns 16 b to 16 b + 15 of row `now` differ from `before`.
uint16_t DifferingBlocks(const uint16_t* now, const uint16_t* before) {
    uint16_t blocks = 0;
    for (int b = 0; b < kViewBlocksAcross; b++) {
        const int left = b * kViewPatchColumns;
        const int width = std::min(kWidth - left, kViewPatchColumns);
        if (std::memcmp(now + left, before + left, sizeof(uint16_t) * width) != 0)
            blocks |= static_cast<uint16_t>(1u << b);
    }
    return blocks;
}

// Adds one patch per run of set bits in `blocks`, over view rows `top` to `bottom`.
void AddPatches(uint16_t blocks, int top, int bottom, ViewChangesRecord* changes) {
    for (int b = 0; b < kViewBlocksAcross; b++) {
        if ((blocks >> b & 1u) == 0) continue;
        int last = b;
        while (last + 1 < kViewBlocksAcross && (blocks >> (last + 1) & 1u) != 0)
            last++;
        changes->patches[changes->patchCount++] = {
            b * kViewPatchColumns, top, std::min(kWidth, (last + 1) * kViewPatchColumns) - 1,
            bottom};
        b = last;
    }
}

}  // namespace

void FindViewChanges(const uint16_t* frame, ShownViewRows& shown, ViewChangesRecord* changes) {
    changes->patchCount = 0;
    const uint16_t* rows = frame + kWindowViewTop * kWidth;
    uint16_t open = 0;  // the blocks of the bands being joined
    int openTop = 0;
    for (int band = 0; band <= kViewBands; band++) {
        const int top = band * kViewPatchRows;
        uint16_t blocks = 0;
        for (int y = top; y < std::min(kHeight, top + kViewPatchRows); y++) {
            const uint16_t* row = rows + y * kWidth;
            if (std::memcmp(row, shown[y], kRowBytes) == 0) continue;
            blocks |= DifferingBlocks(row, shown[y]);
            std::memcpy(shown[y], row, kRowBytes);
        }
        if (band < kViewBands && blocks == open) continue;
        AddPatches(open, openTop, std::min(kHeight, top) - 1, changes);
        open = blocks;
        openTop = top;
    }
}

namespace {

// Whether `now` from `left` to `right` is `before` moved left by `columns`.
bool MovedLeft(const uint16_t* now, const uint16_t* before, int left, int right, int columns) {
    return std::memcmp(now + left, before + left + columns,
                       sizeof(uint16_t) * static_cast<size_t>(right - left + 1)) == 0;
}

// In a row that differs from before: the columns, around the first that differs, that show
// `before` moved left by the fewest columns for which there are kLeastShiftedColumns of them.
// Eight columns must agree for a move to be tried at all.
bool FindRowShift(const uint16_t* now, const uint16_t* before, ViewShiftRecord* row) {
    constexpr int kProbe = 8;
    int first = 0;
    while (first < kWidth && now[first] == before[first])
        first++;
    for (int columns = 1; columns <= kMostShiftColumns; columns++) {
        if (first + columns + kProbe > kWidth ||
            !MovedLeft(now, before, first, first + kProbe - 1, columns)) {
            continue;
        }
        int left = first;
        while (left > 0 && now[left - 1] == before[left - 1 + columns])
            left--;
        int right = first + kProbe - 1;
        while (right + 1 + columns < kWidth && now[right + 1] == before[right + 1 + columns])
            right++;
        if (right - left + 1 < kLeastShiftedColumns) continue;
        row->left = left;
        row->right = right;
        row->columns = columns;
        return true;
    }
    return false;
}

}  // namespace

// Rows are joined top to bottom into a part while each continues the first's move over the
// first's columns; the largest part wins.
void FindViewShift(const uint16_t* frame, const ShownViewRows& shown, ViewShiftRecord* shift) {
    *shift = {};
    const uint16_t* rows = frame + kWindowViewTop * kWidth;
    ViewShiftRecord open{};  // the part being joined; columns == 0: none
    const auto area = [](const ViewShiftRecord& p) {
        return p.columns == 0 ? 0 : (p.right - p.left + 1) * (p.bottom - p.top + 1);
    };
    for (int y = 0; y <= kHeight; y++) {
        const uint16_t* now = y < kHeight ? rows + y * kWidth : nullptr;
        if (open.columns != 0 && now != nullptr &&
            MovedLeft(now, shown[y], open.left, open.right, open.columns)) {
            open.bottom = y;
            continue;
        }
        if (area(open) > area(*shift) && open.bottom - open.top + 1 >= kViewPatchRows)
            *shift = open;
        open = {};
        if (now == nullptr || std::memcmp(now, shown[y], kRowBytes) == 0) continue;
        if (FindRowShift(now, shown[y], &open)) open.top = open.bottom = y;
    }
}
