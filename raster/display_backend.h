// SPDX-License-Identifier: GPL-3.0-or-later
// The display back end: what the display connection (raster/display.h) needs of a screen,
// as a table of operations. The program and the tests choose the back end at run time with
// SetDisplayBackEnd before OpenDisplay; the window host, the in-memory display and the
// tests' back ends define it.
#pragma once

#include <cstdint>

// A screen's layout as the back end reports it.
struct DisplayProperties {
    uint32_t cxWidth;   // screen pixels per row (not read: the screen is taken as 240 x 320)
    uint32_t cyHeight;  // screen rows (not read)
    int32_t cbxPitch;   // bytes from a pixel to the one on its right; may be negative
    int32_t cbyPitch;   // bytes from a pixel to the one below it; may be negative
    int32_t cBPP;       // bits per pixel
    uint32_t ffFormat;  // format flags; kDisplayFormatRgb565 marks direct RGB565 pixels
};
constexpr uint32_t kDisplayFormatRgb565 = 0x80;

constexpr int kOemTextLength = 100;  // UTF-16 characters of the OEM information text

struct DisplayBackEnd {
    bool (*open)(void* window);                // take the whole screen; false when there is none
    void (*setViewport)(int top, int height);  // rows the back end refreshes
    DisplayProperties (*properties)();
    bool (*frameBufferInMemory)();  // true when the frame buffer is a copy that needs a viewport
    uint16_t* (*beginDraw)();       // pixel origin for this frame, or null to skip the frame
    void (*endDraw)();              // ends the frame begun by a non-null beginDraw
    void (*close)();
    // The fixed-address device profile: the origin that stands in for the device's fixed
    // frame-buffer address (strides -320 and 1, no begin or end); null when there is none.
    uint16_t* (*fixedFrameBuffer)();
    // The OEM information text, at most kOemTextLength characters; false when unknown.
    // May be null: then no text is known and the fixed-address profile never applies.
    bool (*readOemText)(char16_t* text, int capacity);
};

// The back end that OpenDisplay and the later display calls use; null means none (open fails).
void SetDisplayBackEnd(const DisplayBackEnd* backEnd);
