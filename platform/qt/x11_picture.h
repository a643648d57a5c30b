// SPDX-License-Identifier: GPL-3.0-or-later
// The picture drawn through the X connection Qt uses, past Qt's backing store: a pixmap on
// the server holds the view at one pixel per screen pixel, each frame's changed patches are
// put into it, and RENDER composites them scaled onto the picture's own X window. Requests
// are sent without waiting for the server; only opening waits for its answers. Main thread
// only.
//
//   changed patches --xcb_put_image--> pixmap (240 x 268, 24-bit)
//   pixmap --xcb_render_composite, scale transform, nearest--> the picture's window
//   a part moved left --xcb_copy_area--> within the pixmap, and within the window while
//                                        nothing covers it
//
// A plain widget can be drawn past the backing store the same way (the bar's level meter):
// its rows --xcb_put_image--> its own X window, nothing kept on the server.
#pragma once

#include <cstdint>

#include "platform/qt/scaled_view.h"
#include "platform/qt/view_changes.h"

class QWidget;

// Makes `widget` a window of its own that Qt neither paints nor clears, for its owner to draw
// through this connection; false, leaving it as it was, where Qt is to paint it
// (QUILLO_QT_PICTURE set, or X11PictureUsable false). Its parent becomes a window too, its
// siblings do not.
bool DrawPastBackingStore(QWidget* widget);
// Qt paints `widget` again, through the top-level window's backing store (its setup failed).
void PaintThroughBackingStore(QWidget* widget);

// Whether the application's X server can show the picture this way: Qt on xcb, RENDER 0.6
// or later (transforms and filters), 24-bit pixels stored in 32 bits in this host's byte
// order. Asked of the server once.
bool X11PictureUsable();

// Makes the pixmap and the pictures for the X window `window`; false, with nothing left
// behind, when any of it fails. Closes what was open first.
bool OpenX11Picture(uint32_t window);
bool X11PictureOpen();
// Frees what OpenX11Picture made; the window itself may be gone already.
void CloseX11Picture();

// Puts `area` of the view (view pixels) into the pixmap from `pixels`, rows of area.width
// 32-bit pixels (0x00RRGGBB), area's top row first.
void PutX11View(const PixelRect& area, const uint32_t* pixels);
// Composites `patch` of the pixmap onto the window at `scale`, the view's top-left at device
// pixel (left, top) of the window.
void ShowX11View(const ViewPatch& patch, int scale, int left, int top);
// Moves `shift` within the pixmap and on the window: by copying the window's own pixels
// while the window is wholly visible (the server said so), else by compositing the moved
// part from the pixmap (the whole view, the first time after being uncovered).
void ShiftX11View(const ViewShiftRecord& shift, int scale, int left, int top);
// Paints `count` (at most four) rectangles of the window (device pixels) black.
void FillX11Black(const PixelRect* rects, int count);
// Sends what the calls above queued.
void FlushX11Picture();

// A plain window that draws itself (the bar's level meter), its rows put straight onto it on
// the same connection: nothing is kept on the server, so its owner draws again what is
// exposed. A graphics context for the X window `window`, or 0 when the server cannot take
// the puts (see X11PictureUsable) or the window is not 24 bits deep.
uint32_t OpenX11WindowPuts(uint32_t window);
void CloseX11WindowPuts(uint32_t gc);
// Puts `rows` rows of an image `width` pixels wide (32-bit 0x00RRGGBB, rows adjacent, `pixels`
// at the first) onto `window` from its row `top`, and sends them.
void PutX11WindowRows(uint32_t window, uint32_t gc, int width, int top, int rows,
                      const uint32_t* pixels);
