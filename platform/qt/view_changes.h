// SPDX-License-Identifier: GPL-3.0-or-later
// What a new frame changed in the view area against the view as the window shows it, in
// blocks of 16 columns by 4 rows: the parts of the picture to draw again. Pure arithmetic on
// the two pictures; main thread only.
#pragma once

#include <cstdint>

#include "platform/qt/qt_host.h"

constexpr int kViewPatchColumns = 16;  // view columns of a block compared as one
constexpr int kViewPatchRows = 4;      // view rows of a band of blocks
constexpr int kViewBands = (kWindowViewHeight + kViewPatchRows - 1) / kViewPatchRows;
constexpr int kViewBlocksAcross = (kWindowScreenWidth + kViewPatchColumns - 1) / kViewPatchColumns;
// Runs of changed blocks in a band alternate with unchanged ones.
constexpr int kMostViewPatches = kViewBands * ((kViewBlocksAcross + 1) / 2);

// A block of view pixels, columns `left` to `right` and rows `top` to `bottom`, inclusive.
struct ViewPatch {
    int left, top, right, bottom;
};

struct ViewChangesRecord {
    ViewPatch patches[kMostViewPatches];  // disjoint, top to bottom, left to right
    int patchCount;
};

// The view as the window was last told to show it: view row y is screen row 26 + y.
using ShownViewRows = uint16_t[kWindowViewHeight][kWindowScreenWidth];

// Compares the view area of `frame` (a row-major 240 x 320 screen) with `shown` and makes
// `shown` a copy of it. The patches cover every pixel that differs, and bands of rows whose
// blocks changed alike share their patches.
void FindViewChanges(const uint16_t* frame, ShownViewRows& shown, ViewChangesRecord* changes);

// A part of the view that moved left by `columns` since the shown view: view columns `left`
// to `right` of rows `top` to `bottom` show what columns left + columns to right + columns of
// those rows showed (as the spectrogram's plot scrolls). columns == 0: none found.
struct ViewShiftRecord {
    int left, top, right, bottom;
    int columns;
};
constexpr int kMostShiftColumns = 32;     // the most columns a part is looked for moved by
constexpr int kLeastShiftedColumns = 32;  // narrower parts are drawn again instead

// A part of the view area of `frame` (as for FindViewChanges) that is `shown` moved left, at
// least kLeastShiftedColumns wide and kViewPatchRows tall: each changed row is searched from
// its first differing column for the fewest columns moved, rows below are joined while they
// continue that move over the same columns, and the largest part so joined is taken. A
// scrolling plot is found whole; a move elsewhere in a row may be missed, and is then sent
// as changes. Call it before FindViewChanges, which updates `shown`.
void FindViewShift(const uint16_t* frame, const ShownViewRows& shown, ViewShiftRecord* shift);

// Which frames are searched for a moved part: every frame while moves keep coming (the
// spectrogram's plot scrolls on each), else one in kQuietShiftLooks, so that a view that
// never moves (the spectrum's) seldom pays for the search. A move in a frame not searched is
// sent as changes, so the picture is the same either way.
constexpr int kQuietShiftLooks = 8;
struct ShiftLooksRecord {
    int framesSinceMove = 0;  // frames since the last one with a move, folded past 2 x quiet
};
// Whether the frame now compared is searched; counts it.
bool ShiftLookDue(ShiftLooksRecord* looks);
// The frame searched had a move.
void NoteShiftFound(ShiftLooksRecord* looks);
