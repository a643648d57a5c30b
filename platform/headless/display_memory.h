// SPDX-License-Identifier: GPL-3.0-or-later
// The in-memory display back end: a 240 x 320 RGB565 frame buffer with pitches of 2 and 480
// bytes, for tests and headless runs. It needs no window system.
#pragma once

#include <cstdint>

#include "raster/display_backend.h"

constexpr int kMemoryDisplayWidth = 240;
constexpr int kMemoryDisplayHeight = 320;

// Its frame buffer is row-major: screen pixel (c, r) is pixels[r * 240 + c]. On the
// fixed-address profile the same buffer is addressed with strides -320 and 1 instead.
struct MemoryDisplayRecord {
    uint16_t pixels[kMemoryDisplayWidth * kMemoryDisplayHeight];
    bool isOpen;      // between open and close
    int viewportTop;  // last viewport set, in screen rows
    int viewportHeight;
    int framesPresented;  // completed begin/end pairs
};
extern MemoryDisplayRecord MemoryDisplay;

extern const DisplayBackEnd MemoryDisplayBackEnd;
