// SPDX-License-Identifier: GPL-3.0-or-later
// Puts split by rows, patches scaled, the margins, and the scale transform.
#include "platform/qt/scaled_view.h"

#include <algorithm>

namespace {

constexpr int32_t kFixedOne = 65536;
// Up to this scale the affine factor round(65536 / scale), added once per device pixel from
// the first pixel's centre, stays inside every screen pixel's device pixels over the view's
// height (the unit test walks every device pixel); beyond it the error it adds up to reaches
// a neighbour.
constexpr int kMostAffineScale = 22;

}  // namespace

int SplitPatchIntoPuts(const ViewPatch& patch, size_t maxBytes, PixelRect* puts) {
    const int width = patch.right - patch.left + 1;
    const size_t rowBytes = sizeof(uint32_t) * static_cast<size_t>(width);
    const int rowsPerPut =
        static_cast<int>(std::clamp<size_t>(maxBytes / rowBytes, 1, kMostPutsPerPatch));
    int count = 0;
    for (int top = patch.top; top <= patch.bottom; top += rowsPerPut)
        puts[count++] = {patch.left, top, width, std::min(rowsPerPut, patch.bottom + 1 - top)};
    return count;
}

ScaledPatch ScalePatch(const ViewPatch& patch, int scale, int left, int top) {
    const int width = (patch.right - patch.left + 1) * scale;
    const int height = (patch.bottom - patch.top + 1) * scale;
    const int x = patch.left * scale;
    const int y = patch.top * scale;
    return {{x, y, width, height}, {left + x, top + y, width, height}};
}

int PatchesOutside(const ViewPatch* patches, int count, const ViewPatch& cut, ViewPatch* pieces) {
    int made = 0;
    const auto add = [&](int left, int top, int right, int bottom) {
        if (left <= right && top <= bottom) pieces[made++] = {left, top, right, bottom};
    };
    for (int i = 0; i < count; i++) {
        const ViewPatch& p = patches[i];
        if (p.right < cut.left || p.left > cut.right || p.bottom < cut.top || p.top > cut.bottom) {
            pieces[made++] = p;
            continue;
        }
        const int top = std::max(p.top, cut.top);
        const int bottom = std::min(p.bottom, cut.bottom);
        add(p.left, p.top, p.right, cut.top - 1);
        add(p.left, top, std::min(p.right, cut.left - 1), bottom);
        add(std::max(p.left, cut.right + 1), top, p.right, bottom);
        add(p.left, cut.bottom + 1, p.right, p.bottom);
    }
    return made;
}

int MarginsAround(const PixelRect& view, int width, int height, PixelRect margins[4]) {
    int count = 0;
    const auto add = [&](int x, int y, int w, int h) {
        if (w > 0 && h > 0) margins[count++] = {x, y, w, h};
    };
    const int bottom = view.y + view.height;
    add(0, 0, width, view.y);
    add(0, bottom, width, height - bottom);
    add(0, view.y, view.x, view.height);
    add(view.x + view.width, view.y, width - view.x - view.width, view.height);
    return count;
}

PictureTransform ScaleDownTransform(int scale) {
    if (scale <= kMostAffineScale) {
        const int32_t factor = (kFixedOne + scale / 2) / scale;
        return {{{factor, 0, 0}, {0, factor, 0}, {0, 0, kFixedOne}}};
    }
    return {{{kFixedOne, 0, 0}, {0, kFixedOne, 0}, {0, 0, scale * kFixedOne}}};
}
