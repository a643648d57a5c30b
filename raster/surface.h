// SPDX-License-Identifier: GPL-3.0-or-later
// Frame surfaces and drawing primitives: the three 240 x 320 RGB565 memory surfaces, the
// view area that maps drawing coordinates onto them, the pen codes, and the integer raster
// operations that the views draw with.
#pragma once

#include <cstdint>

constexpr int kSurfaceWidth = 240;   // pixels per row of every surface
constexpr int kSurfaceHeight = 320;  // rows of every surface
constexpr int kSurfacePixels = kSurfaceWidth * kSurfaceHeight;

constexpr uint32_t kSurfaceFlagsStandard = 5;  // what CreateSurface sets
constexpr uint32_t kSurfaceOwnsPixels = 4;     // flags bit: DestroySurface frees `pixels`

// One RGB565 memory surface: red in bits 15-11, green 10-5, blue 4-0.
struct FrameSurface {
    uint32_t flags;    // kSurfaceFlagsStandard once created
    int32_t width;     // pixels per row (also the row pitch)
    int32_t height;    // rows
    uint16_t* pixels;  // width x height, row-major; pixel (x, y) is pixels[y * width + x]
};

// Base layer: the picture that is copied to the screen; every non-overlay pen draws here.
extern FrameSurface CanvasSurface;
// Top layer: pens 2, 46 and 49 and the colour bar; 0 is transparent when composed.
extern FrameSurface OverlaySurface;
// Clean overlay template, all zero; ClearViewRect copies it over the overlay.
extern FrameSurface BackdropSurface;

// Set once at start-up by SetViewArea, before anything is drawn; all 0 until then.
struct ViewAreaRecord {
    int32_t left;    // added to every x coordinate a primitive receives (surface columns)
    int32_t top;     // screen row on which surface row 0 is shown (used by the copy only)
    int32_t width;   // surface columns copied to the screen, from column 0
    int32_t height;  // surface rows copied to the screen, from row 0; colour bar's lower end
};
extern ViewAreaRecord ViewArea;

// Pen codes: colour and layer in one number; any code not listed draws 0x87E0 on the canvas.
using PenCode = int;
constexpr PenCode kPenSettable = 1;       // SetPenColour's pen; white until set; canvas
constexpr PenCode kPenEraser = 2;         // 0x0000 on the overlay: removes overlay marks
constexpr PenCode kPenBlack = 3;          // 0x0000, canvas
constexpr PenCode kPenCyan = 4;           // 0x07FF, canvas
constexpr PenCode kPenWhite = 5;          // 0xFFFF, canvas
constexpr PenCode kPenOverlayRed = 46;    // 0xF800, overlay
constexpr PenCode kPenBlue = 47;          // 0x001F, canvas
constexpr PenCode kPenYellow = 48;        // 0xFFE0, canvas
constexpr PenCode kPenOverlayWhite = 49;  // 0xFFFF, overlay

// A polyline vertex: view-relative column, then surface row.
struct PixelPoint {
    int16_t x;
    int16_t y;
};

// Shared by every FadeRect call and never reset: one rhythm for all faded rectangles.
struct FadeStateRecord {
    int32_t accumulator;  // grows by 40 per call; fires and drops by 100 on reaching 100
    uint8_t phase;        // 1: the quarter rule fires next; 0: the minus-one rule
};
extern FadeStateRecord FadeState;

// Puts FadeState back as it is when the program starts and clears the canvas and the
// overlay (tests and fuzzing start afresh).
void ResetSurfaces();

uint16_t PenValue(PenCode pen);
FrameSurface* PenLayer(PenCode pen);

void SetViewArea(int left, int top, int width, int height);
void SetPenColour(PenCode pen, int red, int green, int blue);

// x coordinates below are view-relative (ViewArea.left is added), y are surface rows.
// A line with an end off the surface is not drawn; rectangles and the colour bar are
// clipped to the surface (a fill reaching column 240 still sets the next row's first
// pixel); a column insert whose block leaves the canvas is not done.
void DrawLine(PenCode pen, int x0, int y0, int x1, int y1);
void DrawPolyline(PenCode pen, const PixelPoint* points, int count);
void FillRect(PenCode pen, int x, int y, int width, int height);
void ClearViewRect(int x, int y, int width, int height);
void FadeRect(int x, int y, int width, int height);
// The rhythm of a FadeRect call without its pixels: for a rectangle that nobody will see
// before it is drawn again, while the other faded rectangles keep their turns.
void AdvanceFadeTiming();
void PaintColourBar(const uint16_t* colours, int count);
void ScrollInsertColumn(const uint16_t* colours, int shift, int top, int rows, int right);

// The surface column of view-relative x, held within kFarOffSurface of the surface so that
// the text and line workers can step from it without overflowing.
constexpr int kFarOffSurface = 1 << 20;
int SurfaceColumn(int x);

// Surface-level workers: surface coordinates, colour already resolved.
void PlotLine(FrameSurface* surface, int x0, int y0, int x1, int y1, uint16_t colour);
void FillSpan(FrameSurface* surface, int x, int y, int n, uint16_t colour);

// The three surfaces are created before main and destroyed after it; these serve that.
bool CreateSurface(FrameSurface* surface, int width, int height);
void DestroySurface(FrameSurface* surface);
