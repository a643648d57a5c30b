// SPDX-License-Identifier: GPL-3.0-or-later
// The picture: the frame buffer behind the window, the display back end that fills it, and
// the widget that shows it scaled by whole factors.
//
//   frame calls --> WindowDisplay.pixels --(changed blocks)--> PictureWidget::update
//   paint event --> RenderView (widened, scaled) --> the backing store, or a kept image
// or, where the picture draws itself on X11:
//   changed blocks --> RenderView (widened, unscaled) --> the X server's pixmap --> scaled
//   onto the picture's window; expose --> from the pixmap again
#include "platform/qt/picture_view.h"

#include <QMouseEvent>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/qt/qt_host.h"
#include "platform/qt/scaled_view.h"
#include "platform/qt/view_changes.h"
#include "platform/qt/x11_picture.h"
#include "raster/vector_loops.h"

WindowDisplayRecord WindowDisplay;

namespace {

// The picture frames are shown in, as the window host last said. Main thread only.
struct ViewRecord {
    PictureWidget* picture = nullptr;
};
ViewRecord View;

// An RGB565 pixel with each channel widened to 8 bits by repeating its top bits. Arithmetic
// rather than table lookups, so that runs of pixels vectorise.
inline QRgb WidenRgb565(unsigned pixel) {
    const unsigned red = pixel >> 11, green = pixel >> 5 & 0x3F, blue = pixel & 0x1F;
    return 0xFF000000u | (red << 3 | red >> 2) << 16 | (green << 2 | green >> 4) << 8 |
           (blue << 3 | blue >> 2);
}

// Adjacent pixels one to one: the X server's pixmap takes every changed block this way.
QUILLO_VECTOR_LOOP void WidenRun(const uint16_t* source, int count, QRgb* out) {
    for (int i = 0; i < count; i++)
        out[i] = WidenRgb565(source[i]);
}

// `count` screen pixels from `source`, `step` apart, each as `scale` device pixels at `out`;
// the usual scales unrolled.
template <int kScale>
void WidenPixels(const uint16_t* source, int step, int count, QRgb* out, int scale = kScale) {
    for (int i = 0; i < count; i++, source += step) {
        const QRgb pixel = WidenRgb565(*source);
        for (int k = 0; k < (kScale > 0 ? kScale : scale); k++)
            *out++ = pixel;
    }
}

// Screen pixels (column, row) onwards, `count` of them, widened to `scale` device pixels each.
void WidenScreenPixels(int column, int row, int count, int scale, QRgb* out) {
    const uint16_t* pixels = WindowDisplay.pixels;
    const bool fixed = WindowDisplay.fixedLayout;
    const uint16_t* source =
        fixed ? pixels + (kWindowScreenWidth - 1 - column) * kWindowScreenHeight + row
              : pixels + row * kWindowScreenWidth + column;
    const int step = fixed ? -kWindowScreenHeight : 1;
    switch (scale) {
        case 1:
            WidenPixels<1>(source, step, count, out);
            break;
        case 2:
            WidenPixels<2>(source, step, count, out);
            break;
        case 3:
            WidenPixels<3>(source, step, count, out);
            break;
        default:
            WidenPixels<0>(source, step, count, out, scale);
            break;
    }
}

}  // namespace

// Each screen row is widened straight into the first device row it covers, which the others
// then copy: whole screen pixels in one run, those the area's edges cut one at a time.
void RenderView(int scale, const QRect& area, uchar* bits, qsizetype bytesPerLine) {
    if (scale == 1 && !WindowDisplay.fixedLayout) {
        // Many small patches a frame go to the X server this way: a run per row, no more.
        const uint16_t* source =
            WindowDisplay.pixels + (kWindowViewTop + area.top()) * kWindowScreenWidth + area.left();
        for (int y = area.top(); y <= area.bottom(); y++, source += kWindowScreenWidth)
            WidenRun(source, area.width(),
                     reinterpret_cast<QRgb*>(bits + (y - area.top()) * bytesPerLine));
        return;
    }
    const qsizetype rowBytes = sizeof(QRgb) * area.width();
    for (int y = area.top() / scale; y <= area.bottom() / scale; y++) {
        const int screenRow = kWindowViewTop + y;
        const int top = std::max(y * scale, area.top());
        const int bottom = std::min(y * scale + scale - 1, area.bottom());
        uchar* first = bits + (top - area.top()) * bytesPerLine;
        QRgb* out = reinterpret_cast<QRgb*>(first);
        const int wholeEnd = (area.right() + 1) / scale;  // the first column not whole
        for (int x = area.left(); x <= area.right();) {
            const int column = x / scale;
            if (x == column * scale && column < wholeEnd) {
                WidenScreenPixels(column, screenRow, wholeEnd - column, scale, out);
                out += (wholeEnd - column) * scale;
                x = wholeEnd * scale;
                continue;
            }
            QRgb pixel;
            WidenScreenPixels(column, screenRow, 1, 1, &pixel);
            for (const int end = std::min(column * scale + scale - 1, area.right()); x <= end; x++)
                *out++ = pixel;
        }
        for (int r = top + 1; r <= bottom; r++)
            std::memcpy(bits + (r - area.top()) * bytesPerLine, first, rowBytes);
    }
}

namespace {

// Where the view goes in a picture widget, in device pixels: centred at the largest whole
// scale at which it fits, on whole device pixels, so that every screen pixel becomes
// scale x scale device pixels.
struct PictureLayout {
    qreal ratio;        // device pixels per widget pixel
    int width, height;  // the widget
    int scale;
    int left, top;  // the view's top-left
};

PictureLayout LayoutOf(const QWidget* picture) {
    PictureLayout l;
    l.ratio = picture->devicePixelRatioF();
    l.width = qRound(picture->width() * l.ratio);
    l.height = qRound(picture->height() * l.ratio);
    l.scale = PictureScale(l.width, l.height);
    l.left = (l.width - kWindowScreenWidth * l.scale) / 2;
    l.top = (l.height - kWindowViewHeight * l.scale) / 2;
    return l;
}

// The image under the painter when the picture's pixels can go into it as they are: an opaque
// 32-bit image behind a whole-pixel offset, as a window's backing store is at one device pixel
// per pixel. Null otherwise. This is the painter's own platform device, addressed through its
// device transform.
QImage* PlainImageUnder(QPainter& painter) {
    QPaintEngine* engine = painter.paintEngine();
    if (engine == nullptr || engine->type() != QPaintEngine::Raster) return nullptr;
    QPaintDevice* device = engine->paintDevice();
    if (device == nullptr || device->devType() != QInternal::Image) return nullptr;
    auto* image = static_cast<QImage*>(device);
    if (image->format() != QImage::Format_RGB32 &&
        image->format() != QImage::Format_ARGB32_Premultiplied) {
        return nullptr;
    }
    const QTransform transform = painter.deviceTransform();
    if (transform.type() > QTransform::TxTranslate ||
        transform.dx() != std::floor(transform.dx()) ||
        transform.dy() != std::floor(transform.dy())) {
        return nullptr;
    }
    return image;
}

// The view-area pixel under `position` of the picture widget, outside the view included.
QPoint ViewPixelAt(const QWidget* picture, const QPointF& position) {
    const PictureLayout l = LayoutOf(picture);
    const QPointF device = position * l.ratio;
    return QPoint(static_cast<int>(std::floor((device.x() - l.left) / l.scale)),
                  static_cast<int>(std::floor((device.y() - l.top) / l.scale)));
}

// The screen pixel under `position`, or the nearest one of the view area when it is outside,
// packed as x in the low and y in the high word.
intptr_t ScreenPoint(const QWidget* picture, const QPointF& position) {
    const QPoint view = ViewPixelAt(picture, position);
    const int x = std::clamp(view.x(), 0, kWindowScreenWidth - 1);
    const int y = std::clamp(view.y(), 0, kWindowViewHeight - 1) + kWindowViewTop;
    return static_cast<intptr_t>(x) | (static_cast<intptr_t>(y) << 16);
}

// The view area's rows as the picture was last told to show them (row-major frames).
struct ShownViewRecord {
    ShownViewRows rows;
    bool valid = false;         // false: compare nothing, repaint the whole view
    ViewChangesRecord changes;  // of the newest frame
    // The picture that draws itself: its X pixmap may differ from the frame buffer's view (it
    // is new, or the fixed-address layout wrote a frame), so it is put whole before it is shown.
    bool serverStale = true;
    uint32_t wide[kWindowViewHeight * kWindowScreenWidth];  // rows widened for the X server
    ViewPatch pieces[4 * kMostViewPatches];                 // the changes outside a part that moved
    ShiftLooksRecord shiftLooks;
};
ShownViewRecord ShownView;

// The view pixels of `patch`, widened, into the X server's pixmap.
void PutOnServer(const ViewPatch& patch) {
    const PixelRect area{patch.left, patch.top, patch.right - patch.left + 1,
                         patch.bottom - patch.top + 1};
    RenderView(1, QRect(area.x, area.y, area.width, area.height),
               reinterpret_cast<uchar*>(ShownView.wide), sizeof(uint32_t) * area.width);
    PutX11View(area, ShownView.wide);
}

constexpr ViewPatch kWholeView = {0, 0, kWindowScreenWidth - 1, kWindowViewHeight - 1};

// The widget's rectangles (widget pixels) that cover the changed patches, rounded outwards to
// whole widget pixels, in the order and shape that QRegion::setRects takes: bands top to
// bottom, each of rectangles of one height, left to right, none touching another (those that
// meet are joined). False when two bands share a row (a fractional device pixel ratio), which
// setRects cannot take.
bool ChangedRects(const ViewChangesRecord& changes, const PictureLayout& l, QRect* rects,
                  int* count) {
    bool banded = true;
    *count = 0;
    int bandPatchTop = -1;    // the view row the current band's patches start at
    int top = 0, bottom = 0;  // the current band's widget rows, bottom exclusive
    for (int i = 0; i < changes.patchCount; i++) {
        const ViewPatch& p = changes.patches[i];
        if (p.top != bandPatchTop) {
            bandPatchTop = p.top;
            const int above = bottom;
            top = static_cast<int>(std::floor((l.top + p.top * l.scale) / l.ratio));
            bottom = static_cast<int>(std::ceil((l.top + (p.bottom + 1) * l.scale) / l.ratio));
            banded = banded && (i == 0 || top >= above);
        }
        const int left = static_cast<int>(std::floor((l.left + p.left * l.scale) / l.ratio));
        const int right = static_cast<int>(std::ceil((l.left + (p.right + 1) * l.scale) / l.ratio));
        QRect* last = *count > 0 ? &rects[*count - 1] : nullptr;
        if (last != nullptr && last->top() == top && left <= last->right() + 1) {
            last->setRight(right - 1);
            continue;
        }
        rects[(*count)++] = QRect(left, top, right - left, bottom - top);
    }
    return banded;
}

// Repaints the whole view; the next frame is compared with nothing.
void ScheduleRepaint() {
    ShownView.valid = false;
    ShownView.serverStale = true;
    if (View.picture != nullptr) View.picture->update(View.picture->Target().toAlignedRect());
}

// Shows what differs from what the picture shows: the colour legend, the axes and the quiet
// parts of a frame are neither scaled nor sent to the X server again. Drawn by the picture
// itself, a patch travels unscaled into the X server's pixmap and is composited from there;
// else Qt repaints it.
void ScheduleChanges() {
    PictureWidget* picture = View.picture;
    // A picture that takes no updates (a headless run's) or is hidden (behind the full view)
    // is not compared, so that nothing is sent to the X server for it; it shows the whole
    // view when it shows again, as does one that draws itself and has no X window yet.
    if (picture == nullptr || !picture->updatesEnabled() || !picture->isVisible() ||
        (picture->DrawsItself() && !X11PictureOpen())) {
        ShownView.valid = false;
        ShownView.serverStale = true;
        return;
    }
    ViewChangesRecord& changes = ShownView.changes;
    ViewShiftRecord shift{};
    if (ShownView.valid && picture->DrawsItself() && ShiftLookDue(&ShownView.shiftLooks)) {
        FindViewShift(WindowDisplay.pixels, ShownView.rows, &shift);
        if (shift.columns != 0) NoteShiftFound(&ShownView.shiftLooks);
    }
    if (!ShownView.valid) {
        std::memcpy(ShownView.rows, WindowDisplay.pixels + kWindowViewTop * kWindowScreenWidth,
                    sizeof ShownView.rows);
        ShownView.valid = true;
        changes.patches[0] = kWholeView;
        changes.patchCount = 1;
    } else {
        FindViewChanges(WindowDisplay.pixels, ShownView.rows, &changes);
        if (changes.patchCount == 0) return;
    }
    const PictureLayout l = LayoutOf(picture);
    if (!picture->DrawsItself()) {
        QRect rects[kMostViewPatches];
        int count = 0;
        QRegion region;
        if (ChangedRects(changes, l, rects, &count)) {
            region.setRects(rects, count);
        } else {
            for (int i = 0; i < count; i++)
                region += rects[i];
        }
        picture->update(region);
        return;
    }
    // A part that moved (the spectrogram's plot) moves on the server; the rest is put.
    ShiftX11View(shift, l.scale, l.left, l.top);
    const ViewPatch* patches = changes.patches;
    int count = changes.patchCount;
    if (shift.columns != 0) {
        const ViewPatch moved{shift.left, shift.top, shift.right, shift.bottom};
        count = PatchesOutside(changes.patches, changes.patchCount, moved, ShownView.pieces);
        patches = ShownView.pieces;
    }
    for (int i = 0; i < count; i++)
        PutOnServer(patches[i]);
    ShownView.serverStale = false;
    for (int i = 0; i < count; i++)
        ShowX11View(patches[i], l.scale, l.left, l.top);
    FlushX11Picture();
}

}  // namespace

PictureWidget::PictureWidget(QWidget* parent)
    : QWidget(parent), preferred(kWindowScreenWidth * 2, kWindowViewHeight * 2) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    // However small the user makes the window, the bar keeps its place below a whole view.
    setMinimumSize(kWindowScreenWidth, kWindowViewHeight);
    // The full view beside it stays in the top-level window's backing store.
    drawsItself = DrawPastBackingStore(this);
}

PictureWidget::~PictureWidget() {
    if (drawsItself) CloseX11Picture();
}

int PictureWidget::Scale() const {
    return LayoutOf(this).scale;
}

QRectF PictureWidget::Target() const {
    const PictureLayout l = LayoutOf(this);
    return QRectF(l.left / l.ratio, l.top / l.ratio, kWindowScreenWidth * l.scale / l.ratio,
                  kWindowViewHeight * l.scale / l.ratio);
}

QPaintEngine* PictureWidget::paintEngine() const {
    return drawsItself ? nullptr : QWidget::paintEngine();
}

bool PictureWidget::ReadyToDrawItself() {
    if (!drawsItself) return false;
    if (X11PictureOpen()) return true;
    ShownView.serverStale = true;
    if (OpenX11Picture(static_cast<uint32_t>(winId()))) return true;
    drawsItself = false;
    PaintThroughBackingStore(this);
    return false;
}

bool PictureWidget::event(QEvent* event) {
    // A new X window (Qt made the picture's again) needs pictures of its own.
    if (event->type() == QEvent::WinIdChange && drawsItself) CloseX11Picture();
    return QWidget::event(event);
}

void PictureWidget::showEvent(QShowEvent* event) {
    ReadyToDrawItself();
    QWidget::showEvent(event);
}

// A new scale or place moves every pixel: the whole widget is painted again.
void PictureWidget::resizeEvent(QResizeEvent* event) {
    if (drawsItself) update();
    QWidget::resizeEvent(event);
}

// Exposed or resized, the picture composites the view from its pixmap where it was asked to
// (whole view pixels around it) and paints its margins black.
void PictureWidget::PaintItself(const QRegion& region) {
    if (ShownView.serverStale) {
        PutOnServer(kWholeView);
        ShownView.serverStale = false;
    }
    const PictureLayout l = LayoutOf(this);
    const QRect asked = region.boundingRect();
    const int left = static_cast<int>(std::floor(asked.left() * l.ratio)) - l.left;
    const int top = static_cast<int>(std::floor(asked.top() * l.ratio)) - l.top;
    const int right = static_cast<int>(std::ceil((asked.right() + 1) * l.ratio)) - 1 - l.left;
    const int bottom = static_cast<int>(std::ceil((asked.bottom() + 1) * l.ratio)) - 1 - l.top;
    const ViewPatch shown = {std::max(left / l.scale, 0), std::max(top / l.scale, 0),
                             std::min(right / l.scale, kWindowScreenWidth - 1),
                             std::min(bottom / l.scale, kWindowViewHeight - 1)};
    if (right >= 0 && bottom >= 0 && shown.left <= shown.right && shown.top <= shown.bottom)
        ShowX11View(shown, l.scale, l.left, l.top);
    PixelRect margins[4];
    const PixelRect view{l.left, l.top, kWindowScreenWidth * l.scale, kWindowViewHeight * l.scale};
    FillX11Black(margins, MarginsAround(view, l.width, l.height, margins));
    FlushX11Picture();
}

// A new frame repaints what it changed (see ScheduleChanges); the black margins are
// painted only when exposed. The rows are scaled here, by copying whole rows, straight into
// the backing store where it allows, else into a kept image that the painter copies: either
// way a fraction of the cost of letting the painter scale.
void PictureWidget::paintEvent(QPaintEvent* event) {
    if (drawsItself) {
        // Failing that, Qt paints the picture again, through its backing store.
        if (ReadyToDrawItself()) PaintItself(event->region());
        return;
    }
    QPainter painter(this);
    const PictureLayout l = LayoutOf(this);
    const int scale = l.scale;
    const qreal ratio = l.ratio;
    const QRectF target = Target();
    const QRect covered = target.toAlignedRect();
    for (const QRect& margin : event->region().subtracted(covered))
        painter.fillRect(margin, Qt::black);
    const QRect view(0, 0, kWindowScreenWidth * scale, kWindowViewHeight * scale);
    const QPoint viewOrigin(l.left, l.top);
    QImage* plain = PlainImageUnder(painter);
    const QPoint offset = plain != nullptr ? painter.deviceTransform().map(QPoint(0, 0)) : QPoint();
    for (const QRect& part : event->region()) {
        const QRect shown = part & covered;
        if (shown.isEmpty()) continue;
        const QRect device(QPoint(qRound(shown.left() * ratio), qRound(shown.top() * ratio)),
                           QPoint(qRound((shown.right() + 1) * ratio) - 1,
                                  qRound((shown.bottom() + 1) * ratio) - 1));
        const QRect area = device.translated(-viewOrigin) & view;
        if (area.isEmpty()) continue;
        if (plain != nullptr && plain->rect().contains(device.translated(offset))) {
            // Where the engine itself writes: constBits, as a write through bits would
            // detach the image from the engine.
            const QPoint at = device.topLeft() + offset;
            uchar* bits = const_cast<uchar*>(plain->constBits()) + at.y() * plain->bytesPerLine() +
                          at.x() * static_cast<qsizetype>(sizeof(QRgb));
            RenderView(scale, area, bits, plain->bytesPerLine());
            continue;
        }
        if (scaled.size() != view.size()) scaled = QImage(view.size(), QImage::Format_RGB32);
        scaled.setDevicePixelRatio(ratio);
        uchar* bits = scaled.bits() + area.top() * scaled.bytesPerLine() +
                      area.left() * static_cast<qsizetype>(sizeof(QRgb));
        RenderView(scale, area, bits, scaled.bytesPerLine());
        painter.setClipRect(shown);  // one rectangle keeps the painter on its plain copy
        painter.drawImage(target.topLeft(), scaled);
    }
}

void PictureWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && pressed != nullptr) {
        pressed(WM_LBUTTONDOWN, 1, ScreenPoint(this, event->position()));
    }
}

void PictureWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && pressed != nullptr) {
        pressed(WM_LBUTTONUP, 0, ScreenPoint(this, event->position()));
    }
}

void ShowFramesIn(PictureWidget* picture) {
    View.picture = picture;
}

bool PictureViewPoint(const QWidget* picture, const QPointF& position, int* x, int* y) {
    if (picture == nullptr) return false;
    const QPoint view = ViewPixelAt(picture, position);
    if (view.x() < 0 || view.x() >= kWindowScreenWidth || view.y() < 0 ||
        view.y() >= kWindowViewHeight) {
        return false;
    }
    *x = view.x();
    *y = view.y();
    return true;
}

int PictureScale(int deviceWidth, int deviceHeight) {
    const int scale = std::min(deviceWidth / kWindowScreenWidth, deviceHeight / kWindowViewHeight);
    return std::max(scale, 1);
}

int WindowPictureScale() {
    return View.picture != nullptr ? View.picture->Scale() : 1;
}

uint16_t WindowScreenPixel(int column, int row) {
    if (column < 0 || column >= kWindowScreenWidth || row < 0 || row >= kWindowScreenHeight) {
        return 0;
    }
    if (WindowDisplay.fixedLayout) {
        return WindowDisplay.pixels[(kWindowScreenWidth - 1 - column) * kWindowScreenHeight + row];
    }
    return WindowDisplay.pixels[row * kWindowScreenWidth + column];
}

// ---- Window display back end ----

namespace {

// ---- Window display back end ----

bool OpenWindowDisplay(void* window) {
    if (window == nullptr || View.picture == nullptr || window != View.picture->window())
        return false;
    WindowDisplay.isOpen = true;
    return true;
}

void SetWindowViewport(int top, int height) {
    WindowDisplay.viewportTop = top;
    WindowDisplay.viewportHeight = height;
}

DisplayProperties WindowProperties() {
    return {kWindowScreenWidth,  kWindowScreenHeight, 2, kWindowScreenWidth * 2, 16,
            kDisplayFormatRgb565};
}

bool WindowFrameBufferInMemory() {
    return true;
}

uint16_t* BeginWindowFrame() {
    if (!WindowDisplay.isOpen) return nullptr;
    WindowDisplay.fixedLayout = false;
    return WindowDisplay.pixels;
}

void EndWindowFrame() {
    ++WindowDisplay.framesPresented;
    ScheduleChanges();
}

void CloseWindowDisplay() {
    WindowDisplay.isOpen = false;
}

// Strides -320 and 1: screen pixel (c, r) at origin + r - 320 c, all inside the buffer. There
// is no end call on this path, so the repaint is scheduled here; it runs after the copy.
uint16_t* WindowFixedFrameBuffer() {
    if (!WindowDisplay.isOpen) return nullptr;
    WindowDisplay.fixedLayout = true;
    ScheduleRepaint();
    return WindowDisplay.pixels + (kWindowScreenWidth - 1) * kWindowScreenHeight;
}

}  // namespace

const DisplayBackEnd WindowDisplayBackEnd = {
    OpenWindowDisplay,         SetWindowViewport,      WindowProperties,
    WindowFrameBufferInMemory, BeginWindowFrame,       EndWindowFrame,
    CloseWindowDisplay,        WindowFixedFrameBuffer, ReadOemText,
};
