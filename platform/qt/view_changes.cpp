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
