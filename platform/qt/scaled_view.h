// SPDX-License-Identifier: GPL-3.0-or-later
// The arithmetic of showing the view through an X server that scales it: the view's changed
// patches go unscaled into a pixmap, whole rows per request, and each is then composited at
// the picture's scale through a transform whose nearest sampling lands every device pixel on
// its own screen pixel. Pure arithmetic, no X.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/qt/view_changes.h"

// Pixels x to x + width - 1 by rows y to y + height - 1.
struct PixelRect {
    int x, y, width, height;
};

// A patch of view pixels composited at a scale: from `source` of the scaled view (device
// pixels, before the transform) to `target` of the picture's window.
struct ScaledPatch {
    PixelRect source;
    PixelRect target;
};

// The most requests one patch is put in: an X server accepts requests of 16 kB at least.
constexpr int kMostPutsPerPatch = kWindowViewHeight;

// The puts that carry `patch` (view pixels of 4 bytes each) in requests holding at most
// `maxBytes` of pixels, whole rows, at least one row each: top to bottom into `puts`
// (room for kMostPutsPerPatch); their count.
int SplitPatchIntoPuts(const ViewPatch& patch, size_t maxBytes, PixelRect* puts);

// Where `patch` goes with the view's top-left device pixel at (left, top), each view pixel
// scale x scale device pixels.
ScaledPatch ScalePatch(const ViewPatch& patch, int scale, int left, int top);

// The parts of `patches` outside `cut` (view pixels), each patch in at most four pieces, into
// `pieces` (room for 4 * count); their count.
int PatchesOutside(const ViewPatch* patches, int count, const ViewPatch& cut, ViewPatch* pieces);

// The parts of a `width` x `height` window that `view` leaves (at most four), into `margins`;
// their count.
int MarginsAround(const PixelRect& view, int width, int height, PixelRect margins[4]);

// A RENDER picture transform in 16.16 fixed point, row by row, that maps scaled-view device
// pixels back to view pixels: with the nearest filter, device pixel (x, y) of the scaled view
// shows view pixel (x / scale, y / scale), exactly, for the whole view. Affine (the servers'
// fast path) where its rounded factor keeps every pixel exact over the view's 268 rows, a
// projective division by the scale beyond (scales above 22, 6000 device rows and more).
struct PictureTransform {
    int32_t matrix[3][3];
};
PictureTransform ScaleDownTransform(int scale);
