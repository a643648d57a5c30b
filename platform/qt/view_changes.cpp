// SPDX-License-Identifier: GPL-3.0-or-later
// The view's changes between two frames: the blocks of each band of rows that differ, and
// bands side by side with the same blocks joined into one patch per run. The part that moved
// left: rows searched for a move from their first differing column, joined while the rows
// below continue it.
#include "platform/qt/view_changes.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "raster/vector_loops.h"

namespace {

constexpr int kWidth = kWindowScreenWidth;
constexpr int kHeight = kWindowViewHeight;
constexpr size_t kRowBytes = sizeof(uint16_t) * kWidth;
using ShownRow = uint16_t[kWidth];

static_assert(kViewBlocksAcross <= 16, "a band's blocks are bits of a 16-bit mask");
static_assert(kWidth % kViewPatchColumns == 0 && kHeight % kViewPatchRows == 0,
              "the view is whole blocks");
static_assert(kViewPatchColumns == 16, "a block is four 64-bit words of pixels");

// Bit b: columns 16 b to 16 b + 15 of the band of kViewPatchRows rows from `now` on differ
// from `before`. The pixels' differences are gathered over the band in one vectorised pass,
// then each block's four words are tested.
QUILLO_VECTOR_LOOP uint16_t DifferingBlocks(const uint16_t* now, const ShownRow* before) {
    uint16_t differ[kWidth];
    for (int x = 0; x < kWidth; x++) {
        uint16_t d = 0;
        for (int r = 0; r < kViewPatchRows; r++)
            d |= now[r * kWidth + x] ^ before[r][x];
        differ[x] = d;
    }
    uint16_t blocks = 0;
    for (int b = 0; b < kViewBlocksAcross; b++) {
        uint64_t words[4];
        std::memcpy(words, differ + b * kViewPatchColumns, sizeof words);
        if ((words[0] | words[1] | words[2] | words[3]) != 0)
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
        changes->patches[changes->patchCount++] = {b * kViewPatchColumns, top,
                                                   (last + 1) * kViewPatchColumns - 1, bottom};
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
        if (band < kViewBands) {
            const uint16_t* now = rows + top * kWidth;
            blocks = DifferingBlocks(now, shown + top);
            if (blocks != 0) std::memcpy(shown + top, now, kViewPatchRows * kRowBytes);
            if (blocks == open) continue;
        }
        AddPatches(open, openTop, top - 1, changes);
        open = blocks;
        openTop = top;
    }
}

namespace {

// Four pixels as one word: pixel i of them in bits 16 i up on a little-endian machine.
uint64_t FourPixels(const uint16_t* p) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// Of the four pixels of a nonzero difference word: the first (lowest address) that differs,
// and the last.
int FirstOfFour(uint64_t differ) {
    if constexpr (std::endian::native == std::endian::little) return std::countr_zero(differ) / 16;
    return std::countl_zero(differ) / 16;
}
int LastOfFour(uint64_t differ) {
    if constexpr (std::endian::native == std::endian::little)
        return 3 - std::countl_zero(differ) / 16;
    return 3 - std::countr_zero(differ) / 16;
}

// How many of a[0], a[1], ..., a[n - 1] equal b[0], b[1], ... before the first that does not.
// Eight pixels a step.
int SameAhead(const uint16_t* a, const uint16_t* b, int n) {
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const uint64_t low = FourPixels(a + i) ^ FourPixels(b + i);
        const uint64_t high = FourPixels(a + i + 4) ^ FourPixels(b + i + 4);
        if ((low | high) != 0) return i + (low != 0 ? FirstOfFour(low) : 4 + FirstOfFour(high));
    }
    while (i < n && a[i] == b[i])
        i++;
    return i;
}

// How many of a[-1], a[-2], ..., a[-n] equal b[-1], b[-2], ... before the first that does not.
int SameBehind(const uint16_t* a, const uint16_t* b, int n) {
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const uint64_t low = FourPixels(a - i - 8) ^ FourPixels(b - i - 8);
        const uint64_t high = FourPixels(a - i - 4) ^ FourPixels(b - i - 4);
        if ((low | high) != 0) return i + (high != 0 ? 3 - LastOfFour(high) : 7 - LastOfFour(low));
    }
    while (i < n && a[-i - 1] == b[-i - 1])
        i++;
    return i;
}

// Whether `now` from `left` to `right` is `before` moved left by `columns`.
bool MovedLeft(const uint16_t* now, const uint16_t* before, int left, int right, int columns) {
    return std::memcmp(now + left, before + left + columns,
                       sizeof(uint16_t) * static_cast<size_t>(right - left + 1)) == 0;
}

constexpr int kProbe = 8;  // columns from a row's first change that must agree with a move
static_assert(kMostShiftColumns <= 32, "the moves tried are bits of a 32-bit mask");

// Bit m: the kProbe pixels from `probe` on equal those from before[m] on, for
// kMostShiftColumns moves m, compared all at once (the common answer is none).
QUILLO_VECTOR_LOOP uint32_t ProbedMoves(const uint16_t* probe, const uint16_t* before) {
    uint32_t moves = 0;
    for (int m = 0; m < kMostShiftColumns; m++) {
        bool same = true;
        for (int k = 0; k < kProbe; k++)
            same &= before[m + k] == probe[k];
        moves |= static_cast<uint32_t>(same) << m;
    }
    return moves;
}

// In a row that differs from before: the columns, around the first that differs, that show
// `before` moved left by the fewest columns for which there are kLeastShiftedColumns of them.
// The kProbe columns from the first that differs must agree for a move to count at all.
bool FindRowShift(const uint16_t* now, const uint16_t* before, ViewShiftRecord* row) {
    const int first = SameAhead(now, before, kWidth);
    if (first + 1 + kProbe > kWidth) return false;
    // Bit c - 1: moved by c, the probe agrees. The pixels compared stay inside the row: near
    // its end they start further left, and the moves that would pass it are shifted out.
    const int from = std::min(first + 1, kWidth - kProbe - kMostShiftColumns + 1);
    uint32_t moves = ProbedMoves(now + first, before + from) >> (first + 1 - from);
    for (; moves != 0; moves &= moves - 1) {
        const int columns = std::countr_zero(moves) + 1;
        // The columns right of the probe, then those left of the first that differs.
        const int ahead =
            kProbe + SameAhead(now + first + kProbe, before + first + columns + kProbe,
                               kWidth - first - columns - kProbe);
        const int behind = SameBehind(now + first, before + first + columns, first);
        if (ahead + behind < kLeastShiftedColumns) continue;
        row->left = first - behind;
        row->right = first + ahead - 1;
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

bool ShiftLookDue(ShiftLooksRecord* looks) {
    const int n = looks->framesSinceMove;
    looks->framesSinceMove = n + 1 < 2 * kQuietShiftLooks ? n + 1 : kQuietShiftLooks;
    return n <= kQuietShiftLooks || n % kQuietShiftLooks == 0;
}

void NoteShiftFound(ShiftLooksRecord* looks) {
    looks->framesSinceMove = 0;
}
