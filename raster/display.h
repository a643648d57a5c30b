// SPDX-License-Identifier: GPL-3.0-or-later
// The display connection: opens the screen through the display back end, learns the frame
// buffer's pixel strides, and once per processed block composes the overlay onto the
// canvas and copies the view's rows to the frame buffer.
#pragma once

#include <cstdint>

// Display state; process-wide, set on the main thread only.
extern bool displayOpen;       // OpenDisplay succeeded and CloseDisplay has not run
extern bool drawingSuspended;  // PresentFrame and the block pipeline's drawing pause
// Set by a driver that knows nobody looks at the screen before a later frame is presented:
// PresentFrame then composes the overlay onto the canvas (which keeps it) without copying
// the view to the screen. The back end is taken to accept every frame (the window's does
// while it is open).
extern bool presentUnseen;
extern bool fixedAddressDevice;  // the OEM text names the fixed-frame-buffer device
extern int xStride;              // frame-buffer pixels between horizontally adjacent screen pixels
extern int yStride;              // frame-buffer pixels between vertically adjacent screen pixels

// Opens the display of `window` through the current back end; false when it is not a
// usable 16-bit RGB565 screen (the back end is then closed again).
bool OpenDisplay(void* window);
void SetDisplayViewport(int top, int height);
void PresentFrame();
void ComposeAndCopy(uint16_t* origin);
void SuspendDrawing();
void ResumeDrawing();
void CloseDisplay();
