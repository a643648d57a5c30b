// SPDX-License-Identifier: GPL-3.0-or-later
// The display connection: open, strides, compose and copy, suspend, close.
#include "raster/display.h"

#include <algorithm>
#include <cstddef>

#include "raster/display_backend.h"
#include "raster/surface.h"
#include "raster/vector_loops.h"

bool displayOpen = false;
bool drawingSuspended = false;
bool presentUnseen = false;
bool fixedAddressDevice = false;
int xStride = 1;
int yStride = 1;

namespace {

constexpr int kScreenHeight = 320;  // rows of the screen the surfaces are made for
constexpr int kFixedXStride = -320;
constexpr int kFixedYStride = 1;
constexpr int kRequiredBitsPerPixel = 16;

const DisplayBackEnd* backEnd = nullptr;

// The fixed-address device shows H, 3 and 8 at characters 12 to 14 of its OEM text; a
// failed query counts as no match.
bool OemTextNamesFixedDevice() {
    if (backEnd->readOemText == nullptr) return false;
    char16_t text[kOemTextLength + 1] = {};
    if (!backEnd->readOemText(text, kOemTextLength)) return false;
    return text[12] == u'H' && text[13] == u'3' && text[14] == u'8';
}

// Releases the display that OpenDisplay had opened, reporting the failure.
bool RejectDisplay() {
    backEnd->close();
    return false;
}

}  // namespace

void SetDisplayBackEnd(const DisplayBackEnd* chosen) {
    backEnd = chosen;
}

bool OpenDisplay(void* window) {
    if (backEnd == nullptr || !backEnd->open(window)) return false;
    backEnd->setViewport(0, kScreenHeight);
    fixedAddressDevice = OemTextNamesFixedDevice();
    int xs = kFixedXStride;
    int ys = kFixedYStride;
    if (!fixedAddressDevice) {
        const DisplayProperties properties = backEnd->properties();
        if (properties.cBPP != kRequiredBitsPerPixel) return RejectDisplay();
        if ((properties.ffFormat & kDisplayFormatRgb565) == 0) return RejectDisplay();
        // Pitches are in bytes, strides in 16-bit pixels; division truncates toward zero.
        xs = properties.cbxPitch / 2;
        if (xs == 0) return RejectDisplay();
        ys = properties.cbyPitch / 2;
        if (ys == 0) return RejectDisplay();
    }
    xStride = xs;
    yStride = ys;
    displayOpen = true;
    return true;
}

void SetDisplayViewport(int top, int height) {
    if (backEnd == nullptr) return;
    const bool inMemory = backEnd->frameBufferInMemory();
    if (inMemory || fixedAddressDevice) backEnd->setViewport(top, height);
}

void PresentFrame() {
    if (drawingSuspended || !displayOpen) return;
    if (presentUnseen) {
        ComposeAndCopy(nullptr);
        return;
    }
    if (fixedAddressDevice) {
        uint16_t* origin = backEnd->fixedFrameBuffer ? backEnd->fixedFrameBuffer() : nullptr;
        if (origin != nullptr) ComposeAndCopy(origin);
        return;
    }
    uint16_t* origin = backEnd->beginDraw();
    if (origin == nullptr) return;
    ComposeAndCopy(origin);
    backEnd->endDraw();
}

namespace {

// Overlay pixels that are not 0 replace the canvas pixel, which keeps them. Written as a
// select with an unconditional store, so the loop vectorises.
QUILLO_VECTOR_LOOP void ComposeRow(uint16_t* canvas, const uint16_t* overlay, int n) {
    for (int k = 0; k < n; ++k)
        canvas[k] = overlay[k] != 0 ? overlay[k] : canvas[k];
}

// Composes a row and writes its first `columns` pixels to a frame-buffer row whose pixels
// are adjacent, in one pass.
QUILLO_VECTOR_LOOP void ComposeCopyRow(uint16_t* canvas, const uint16_t* overlay, int n,
                                       uint16_t* destination, int columns) {
    for (int k = 0; k < columns; ++k) {
        const uint16_t v = overlay[k] != 0 ? overlay[k] : canvas[k];
        canvas[k] = v;
        destination[k] = v;
    }
    ComposeRow(canvas + columns, overlay + columns, n - columns);
}

}  // namespace

void ComposeAndCopy(uint16_t* origin) {
    // Only the view's rows and columns that exist on the canvas and on the screen are used.
    // Each row is composed and copied in one pass; a row's copy reads only that row, so
    // the result is that of composing the whole view first. A null origin only composes.
    const int rows = std::clamp(ViewArea.height, 0, CanvasSurface.height);
    const int columns = std::clamp(ViewArea.width, 0, CanvasSurface.width);
    const int width = CanvasSurface.width;
    const uint16_t* overlay = OverlaySurface.pixels;
    uint16_t* canvas = CanvasSurface.pixels;
    const long long top = ViewArea.top;
    const int firstRow = static_cast<int>(std::clamp<long long>(-top, 0, rows));
    const int endRow = static_cast<int>(std::clamp<long long>(kScreenHeight - top, firstRow, rows));
    for (int i = 0; i < rows; ++i) {
        uint16_t* source = canvas + static_cast<ptrdiff_t>(i) * width;
        const uint16_t* mask = overlay + static_cast<ptrdiff_t>(i) * width;
        if (origin == nullptr || i < firstRow || i >= endRow) {
            ComposeRow(source, mask, width);
            continue;
        }
        uint16_t* destination = origin + static_cast<ptrdiff_t>(ViewArea.top + i) * yStride;
        if (xStride == 1) {
            ComposeCopyRow(source, mask, width, destination, columns);
            continue;
        }
        ComposeRow(source, mask, width);
        for (int j = 0; j < columns; ++j)
            destination[static_cast<ptrdiff_t>(j) * xStride] = source[j];
    }
}

void SuspendDrawing() {
    drawingSuspended = true;
}

void ResumeDrawing() {
    drawingSuspended = false;
}

void CloseDisplay() {
    if (displayOpen) backEnd->close();
    displayOpen = false;
}
