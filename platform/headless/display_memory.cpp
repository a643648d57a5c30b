// SPDX-License-Identifier: GPL-3.0-or-later
// The in-memory display back end.
#include "platform/headless/display_memory.h"

MemoryDisplayRecord MemoryDisplay;

namespace {

constexpr int kPixelBytes = 2;

bool OpenMemoryDisplay(void*) {
    MemoryDisplay.isOpen = true;
    return true;
}

void SetMemoryViewport(int top, int height) {
    MemoryDisplay.viewportTop = top;
    MemoryDisplay.viewportHeight = height;
}

DisplayProperties MemoryProperties() {
    return {kMemoryDisplayWidth,
            kMemoryDisplayHeight,
            kPixelBytes,
            kMemoryDisplayWidth * kPixelBytes,
            16,
            kDisplayFormatRgb565};
}

bool MemoryIsFrameBuffer() {
    return true;
}

uint16_t* BeginMemoryFrame() {
    return MemoryDisplay.isOpen ? MemoryDisplay.pixels : nullptr;
}

void EndMemoryFrame() {
    ++MemoryDisplay.framesPresented;
}

void CloseMemoryDisplay() {
    MemoryDisplay.isOpen = false;
}

// With strides -320 and 1, screen pixel (c, r) lies at origin + r - 320 c: the origin is
// the first pixel of the buffer's last 320-pixel column block, so every pixel stays inside.
uint16_t* MemoryFixedFrameBuffer() {
    return MemoryDisplay.isOpen
               ? MemoryDisplay.pixels + (kMemoryDisplayWidth - 1) * kMemoryDisplayHeight
               : nullptr;
}

}  // namespace

const DisplayBackEnd MemoryDisplayBackEnd = {
    OpenMemoryDisplay,   SetMemoryViewport,      MemoryProperties,
    MemoryIsFrameBuffer, BeginMemoryFrame,       EndMemoryFrame,
    CloseMemoryDisplay,  MemoryFixedFrameBuffer, nullptr,
};
