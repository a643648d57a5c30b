// SPDX-License-Identifier: GPL-3.0-or-later
// Frame surfaces and drawing primitives.
#include "raster/surface.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "raster/vector_loops.h"

FrameSurface CanvasSurface;
FrameSurface OverlaySurface;
FrameSurface BackdropSurface;
ViewAreaRecord ViewArea;
constexpr FadeStateRecord kInitialFadeState = {0, 1};
FadeStateRecord FadeState = kInitialFadeState;

namespace {

constexpr int kFadeStep = 40;        // added to the accumulator per FadeRect call
constexpr int kFadeThreshold = 100;  // a call fires when the accumulator reaches this
constexpr int kColourBarTop = 256;   // first overlay row of the colour bar

// Pen 1's colour; start-up makes it yellow with SetPenColour.
uint16_t settablePenColour = 0xFFFF;

// Created before main in this order (backdrop, overlay, canvas) and, as static objects of
// one file, destroyed after main in the reverse order.
struct SurfaceLifetime {
    explicit SurfaceLifetime(FrameSurface& surface) : owned(surface) {
        if (!CreateSurface(&owned, kSurfaceWidth, kSurfaceHeight)) {
            std::fputs("Quillo-SA: no memory for the frame surfaces\n", stderr);
            std::_Exit(EXIT_FAILURE);
        }
    }
    ~SurfaceLifetime() { DestroySurface(&owned); }
    FrameSurface& owned;
};
SurfaceLifetime backdropLifetime(BackdropSurface);
SurfaceLifetime overlayLifetime(OverlaySurface);
SurfaceLifetime canvasLifetime(CanvasSurface);

uint16_t Half(uint16_t p) {
    return static_cast<uint16_t>((p >> 1) & 0x7BEF);
}

// Each channel c becomes c - floor(c / 4).
uint16_t FadeByQuarter(uint16_t p) {
    return static_cast<uint16_t>(p - ((p >> 2) & 0x39E7));
}

// Each non-zero channel drops by one and loses its top bit; green tests its low five bits.
uint16_t FadeByOne(uint16_t p) {
    const uint16_t n =
        static_cast<uint16_t>(((p & 0xF800) != 0 ? 0x0800 : 0) | ((p & 0x03E0) != 0 ? 0x0020 : 0) |
                              ((p & 0x001F) != 0 ? 0x0001 : 0));
    return static_cast<uint16_t>((p - n) & 0x7BEF);
}

QUILLO_VECTOR_LOOP void FadeRunByQuarter(uint16_t* p, int n) {
    for (int i = 0; i < n; ++i)
        p[i] = FadeByQuarter(p[i]);
}

QUILLO_VECTOR_LOOP void FadeRunByOne(uint16_t* p, int n) {
    for (int i = 0; i < n; ++i)
        p[i] = FadeByOne(p[i]);
}

// Columns and rows of a rectangle (columns view-relative) that lie on the canvas, as
// half-open ranges; empty ranges when nothing does.
struct CanvasRect {
    int col0, col1, row0, row1;
};
CanvasRect ClipToCanvas(int x, int y, int width, int height) {
    const long long left = static_cast<long long>(x) + ViewArea.left;
    CanvasRect r;
    r.col0 = static_cast<int>(std::clamp<long long>(left, 0, CanvasSurface.width));
    r.col1 = static_cast<int>(std::clamp<long long>(left + width, r.col0, CanvasSurface.width));
    r.row0 = std::clamp(y, 0, CanvasSurface.height);
    r.row1 = static_cast<int>(
        std::clamp<long long>(static_cast<long long>(y) + height, r.row0, CanvasSurface.height));
    return r;
}

}  // namespace

void ResetSurfaces() {
    FadeState = kInitialFadeState;
    for (FrameSurface* surface : {&CanvasSurface, &OverlaySurface}) {
        if (surface->pixels != nullptr) {
            std::memset(surface->pixels, 0, sizeof(uint16_t) * surface->width * surface->height);
        }
    }
}

uint16_t PenValue(PenCode pen) {
    switch (pen) {
        case kPenSettable:
            return settablePenColour;
        case kPenEraser:
            return 0x0000;
        case kPenBlack:
            return 0x0000;
        case kPenCyan:
            return 0x07FF;
        case kPenWhite:
            return 0xFFFF;
        case kPenOverlayRed:
            return 0xF800;
        case kPenBlue:
            return 0x001F;
        case kPenYellow:
            return 0xFFE0;
        case kPenOverlayWhite:
            return 0xFFFF;
        default:
            return 0x87E0;
    }
}

FrameSurface* PenLayer(PenCode pen) {
    const bool overlay = pen == kPenEraser || pen == kPenOverlayRed || pen == kPenOverlayWhite;
    return overlay ? &OverlaySurface : &CanvasSurface;
}

int SurfaceColumn(int x) {
    const long long column = static_cast<long long>(x) + ViewArea.left;
    return static_cast<int>(std::clamp<long long>(column, -kFarOffSurface, kFarOffSurface));
}

void SetViewArea(int left, int top, int width, int height) {
    ViewArea = {left, top, width, height};
}

void SetPenColour(PenCode pen, int red, int green, int blue) {
    if (pen != kPenSettable) return;
    settablePenColour =
        static_cast<uint16_t>(((red & 0xF8) << 8) | ((green & 0xFC) << 3) | ((blue & 0xFF) >> 3));
}

namespace {

// The line worker, inlined into the polyline loop: a trace is hundreds of short segments,
// so the per-segment cost counts as much as the per-pixel one.
[[gnu::always_inline]] inline void PlotLineOn(FrameSurface* surface, int x0, int y0, int x1, int y1,
                                              uint16_t colour) {
    // Only lines lying wholly on the surface are drawn; there is no partial clipping.
    if (x0 < 0 || y0 < 0 || x1 < 0 || y1 < 0) return;
    if (x0 >= surface->width || x1 >= surface->width) return;
    if (y0 >= surface->height || y1 >= surface->height) return;
    const int dx = x1 - x0;
    const int dy = y1 - y0;
    const int ax = std::abs(dx);
    const int ay = std::abs(dy);
    const int sx = (dx > 0) - (dx < 0);
    const int sy = (dy > 0) - (dy < 0);
    uint16_t* pixels = surface->pixels;
    const int pitch = surface->width;
    if (ax == 1 && ay >= 2) {
        // A steep segment one column wide, as most trace segments are: the error reaches
        // zero after ay / 2 steps, where the one column step is taken, and never again.
        const int h = ay >> 1;
        const int rowStep = sy * pitch;
        uint16_t* p = pixels + y0 * pitch + x0;
        for (int k = 0; k < h; ++k, p += rowStep)
            *p = colour;
        p += sx;
        for (int k = h; k <= ay; ++k, p += rowStep)
            *p = colour;
        return;
    }
    // Walk the major axis one pixel per step; the error decides the minor axis steps,
    // tested before it is increased, so both ends are always set.
    const bool xMajor = ax >= ay;  // also the single-point line
    const int major = xMajor ? ax : ay;
    const int minor = xMajor ? ay : ax;
    const int majorStep = xMajor ? sx : sy * pitch;
    const int minorStep = xMajor ? sy * pitch : sx;
    int index = y0 * pitch + x0;
    int error = minor - (major >> 1);
    int remaining = major;  // steps still to take after the current pixel
    for (;;) {
        // While the error is negative no minor step is due: that stretch is one straight
        // run, stepped without testing (the traces' steep segments are mostly such runs).
        if (error < 0) {
            int run = remaining;
            // The division is needed only for runs longer than one step of lines that are
            // neither one pixel wide nor axis-parallel.
            if (minor >= -error) {
                run = std::min(run, 1);
            } else if (minor == 1) {  // a trace segment one column wide
                run = std::min(run, -error);
            } else if (minor > 0) {
                run = std::min(run, (minor - 1 - error) / minor);
            }
            for (int k = 0; k < run; ++k) {
                pixels[index] = colour;
                index += majorStep;
            }
            error += run * minor;
            remaining -= run;
        }
        pixels[index] = colour;
        if (remaining == 0) break;
        if (error >= 0) {
            error -= major;
            index += minorStep;
        }
        index += majorStep;
        error += minor;
        --remaining;
    }
}

}  // namespace

void PlotLine(FrameSurface* surface, int x0, int y0, int x1, int y1, uint16_t colour) {
    PlotLineOn(surface, x0, y0, x1, y1, colour);
}

void DrawLine(PenCode pen, int x0, int y0, int x1, int y1) {
    PlotLine(PenLayer(pen), SurfaceColumn(x0), y0, SurfaceColumn(x1), y1, PenValue(pen));
}

void DrawPolyline(PenCode pen, const PixelPoint* points, int count) {
    FrameSurface* surface = PenLayer(pen);
    const uint16_t colour = PenValue(pen);
    if (count < 2) return;
    int column = SurfaceColumn(points[0].x);
    for (int i = 0; i + 1 < count; ++i) {
        const int next = SurfaceColumn(points[i + 1].x);
        PlotLineOn(surface, column, points[i].y, next, points[i + 1].y, colour);
        column = next;
    }
}

void FillSpan(FrameSurface* surface, int x, int y, int n, uint16_t colour) {
    if (n < 0 || y < 0 || y >= surface->height) return;
    // Pixels are addressed as row * width + column without a column check, so a span that
    // reaches column `width` also sets the first pixel of the next row, as the full-width
    // fills rely on. Columns beyond that one, and anything past the buffer, are clipped.
    const long long first = std::max(x, 0);
    const long long last = std::min<long long>(static_cast<long long>(x) + n, surface->width);
    const long long rowStart = static_cast<long long>(y) * surface->width;
    const long long end = std::min<long long>(
        rowStart + last + 1, static_cast<long long>(surface->width) * surface->height);
    if (rowStart + first < end)
        std::fill(surface->pixels + rowStart + first, surface->pixels + end, colour);
}

void FillRect(PenCode pen, int x, int y, int width, int height) {
    FrameSurface* surface = PenLayer(pen);
    const uint16_t colour = PenValue(pen);
    // Clip the columns here, where the sums cannot overflow; FillSpan keeps the spill.
    const long long first = static_cast<long long>(x) + ViewArea.left;
    const long long last = std::min<long long>(first + width, surface->width);
    if (width < 0 || last < 0 || first > surface->width) return;
    const int column = static_cast<int>(std::max(first, 0LL));
    const int n = static_cast<int>(last) - column;
    const long long row1 = std::min<long long>(static_cast<long long>(y) + height, surface->height);
    for (int r = std::max(y, 0); r < row1; ++r)
        FillSpan(surface, column, r, n, colour);
}

void ClearViewRect(int x, int y, int width, int height) {
    std::memcpy(OverlaySurface.pixels, BackdropSurface.pixels, sizeof(uint16_t) * kSurfacePixels);
    const CanvasRect r = ClipToCanvas(x, y, width, height);
    for (int row = r.row0; row < r.row1; ++row) {
        uint16_t* line = CanvasSurface.pixels + row * CanvasSurface.width;
        std::fill(line + r.col0, line + r.col1, uint16_t{0});
    }
}

namespace {

// One call's step of the rhythm; true when the call fades.
bool FadeFires() {
    FadeState.accumulator += kFadeStep;
    if (FadeState.accumulator < kFadeThreshold) return false;
    FadeState.accumulator -= kFadeThreshold;
    return true;
}

}  // namespace

void AdvanceFadeTiming() {
    if (FadeFires()) FadeState.phase = !FadeState.phase;
}

void FadeRect(int x, int y, int width, int height) {
    if (!FadeFires()) return;
    const CanvasRect r = ClipToCanvas(x, y, width, height);
    // One rule per call, chosen outside the loops; full-width rows are one run of pixels.
    void (*fade)(uint16_t*, int) = FadeState.phase ? FadeRunByQuarter : FadeRunByOne;
    const int pitch = CanvasSurface.width;
    if (r.col0 == 0 && r.col1 == pitch) {
        if (r.row1 > r.row0) fade(CanvasSurface.pixels + r.row0 * pitch, (r.row1 - r.row0) * pitch);
    } else if (r.col1 > r.col0) {
        for (int row = r.row0; row < r.row1; ++row)
            fade(CanvasSurface.pixels + row * pitch + r.col0, r.col1 - r.col0);
    }
    FadeState.phase = !FadeState.phase;
}

void PaintColourBar(const uint16_t* colours, int count) {
    if (ViewArea.width <= 0) return;
    // Thins `count` colours to the view's width by skipping one every `step` columns.
    const int step = count > ViewArea.width ? count - ViewArea.width : 256;
    const int rowEnd = std::min(ViewArea.height, OverlaySurface.height);
    for (int r = kColourBarTop; r < rowEnd; ++r) {
        uint16_t* line = OverlaySurface.pixels + r * OverlaySurface.width;
        int source = 0;
        for (int c = 0; c < ViewArea.width; ++c, ++source) {
            if (c % step == 0) ++source;
            if (source >= count) break;
            const long long column = static_cast<long long>(c) + ViewArea.left;
            if (column >= 0 && column < OverlaySurface.width) line[column] = colours[source];
        }
    }
}

void ScrollInsertColumn(const uint16_t* colours, int shift, int top, int rows, int right) {
    // The block must lie on the canvas, with the blend's source column right - 5 on it too.
    const long long rightColumn = static_cast<long long>(right) + ViewArea.left;
    if (rows <= 0 || top < 0 || shift < 0 || ViewArea.left < 0) return;
    if (rightColumn - 5 < 0 || rightColumn >= CanvasSurface.width) return;
    if (static_cast<long long>(top) + rows > CanvasSurface.height) return;
    const int c = static_cast<int>(rightColumn);
    // Pixel j takes pixel j + shift for j = 0 ... right - shift. Stepping forwards reads each
    // source before it is overwritten, which is what memmove gives, far faster.
    const int moved = right - shift + 1;
    if (moved > 0) {
        for (int r = top; r < top + rows; ++r) {
            uint16_t* line = CanvasSurface.pixels + r * CanvasSurface.width + ViewArea.left;
            std::memmove(line, line + shift, sizeof(uint16_t) * static_cast<size_t>(moved));
        }
    }
    for (int i = 0; i < rows; ++i) {
        uint16_t* line = CanvasSurface.pixels + (top + rows - 1 - i) * CanvasSurface.width;
        const uint16_t v = colours[i];
        line[c] = v;
        line[c - 2] = static_cast<uint16_t>(Half(v) + Half(line[c - 5]));
        line[c - 1] = static_cast<uint16_t>(Half(v) + Half(line[c - 2]));
        line[c - 3] = static_cast<uint16_t>(Half(v) + Half(line[c - 5]));
    }
}

bool CreateSurface(FrameSurface* surface, int width, int height) {
    if (width <= 0 || height <= 0) return false;
    auto* pixels = static_cast<uint16_t*>(
        std::calloc(static_cast<size_t>(width) * static_cast<size_t>(height), sizeof(uint16_t)));
    if (pixels == nullptr) return false;
    *surface = {kSurfaceFlagsStandard, width, height, pixels};
    return true;
}

void DestroySurface(FrameSurface* surface) {
    if (surface->flags & kSurfaceOwnsPixels) std::free(surface->pixels);
    surface->pixels = nullptr;
}
