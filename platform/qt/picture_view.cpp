// SPDX-License-Identifier: GPL-3.0-or-later
// The picture: the frame buffer behind the window, the display back end that fills it, and
// the widget that shows it scaled by whole factors.
//
//   frame calls --> WindowDisplay.pixels --(changed blocks)--> PictureWidget::update
//   paint event --> RenderView (widened, scaled) --> the backing store, or a kept image
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
#include "platform/qt/view_changes.h"

WindowDisplayRecord WindowDisplay;

namespace {

// The picture frames are shown in, as the window host last said. Main thread only.
struct ViewRecord {
    PictureWidget* picture = nullptr;
};
ViewRecord View;

// An RGB565 pixel with each channel widened to 8 bits by repeating its top bits, as two
// table lookups: red and green's top three bits are in the high byte, blue and green's low
// three bits in the low byte, and each widened channel is an OR of parts of the two.
struct WideningRecord {
    QRgb high[256];
    QRgb low[256];
};
constexpr WideningRecord MakeWidening() {
    WideningRecord w{};
    for (unsigned byte = 0; byte < 256; byte++) {
        const unsigned red = byte >> 3;
        const unsigned greenHigh = byte & 7;  // green's bits 5 to 3
        w.high[byte] =
            0xFF000000u | (red << 3 | red >> 2) << 16 | (greenHigh << 5 | greenHigh >> 1) << 8;
        const unsigned greenLow = byte >> 5;  // green's bits 2 to 0
        const unsigned blue = byte & 0x1F;
        w.low[byte] = greenLow << 2 << 8 | (blue << 3 | blue >> 2);
    }
    return w;
}
constexpr WideningRecord Widening = MakeWidening();

inline QRgb WidenRgb565(unsigned pixel) {
    return Widening.high[pixel >> 8] | Widening.low[pixel & 0xFF];
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
    const qreal ratio = picture->devicePixelRatioF();
    const int deviceWidth = qRound(picture->width() * ratio);
    const int deviceHeight = qRound(picture->height() * ratio);
    const int scale = PictureScale(deviceWidth, deviceHeight);
    const QPointF device = position * ratio;
    const int left = (deviceWidth - kWindowScreenWidth * scale) / 2;
    const int top = (deviceHeight - kWindowViewHeight * scale) / 2;
    return QPoint(static_cast<int>(std::floor((device.x() - left) / scale)),
                  static_cast<int>(std::floor((device.y() - top) / scale)));
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
};
ShownViewRecord ShownView;

// Repaints the whole view; the next frame is compared with nothing.
void ScheduleRepaint() {
    ShownView.valid = false;
    if (View.picture != nullptr) View.picture->update(View.picture->Target().toAlignedRect());
}

// Repaints what differs from what the picture shows: the colour legend, the axes and the
// quiet parts of a frame are neither scaled nor sent to the X server again.
void ScheduleChanges() {
    PictureWidget* picture = View.picture;
    // A picture that takes no updates (a headless run's) is not compared.
    if (picture == nullptr || !picture->updatesEnabled()) {
        ShownView.valid = false;
        return;
    }
    if (!ShownView.valid) {
        std::memcpy(ShownView.rows, WindowDisplay.pixels + kWindowViewTop * kWindowScreenWidth,
                    sizeof ShownView.rows);
        ShownView.valid = true;
        picture->update(picture->Target().toAlignedRect());
        return;
    }
    ViewChangesRecord& changes = ShownView.changes;
    FindViewChanges(WindowDisplay.pixels, ShownView.rows, &changes);
    QRegion region;
    for (int i = 0; i < changes.patchCount; i++) {
        const ViewPatch& p = changes.patches[i];
        region += picture->ViewRect(QRect(QPoint(p.left, p.top), QPoint(p.right, p.bottom)));
    }
    if (!region.isEmpty()) picture->update(region);
}

}  // namespace

PictureWidget::PictureWidget(QWidget* parent)
    : QWidget(parent), preferred(kWindowScreenWidth * 2, kWindowViewHeight * 2) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    // However small the user makes the window, the bar keeps its place below a whole view.
    setMinimumSize(kWindowScreenWidth, kWindowViewHeight);
}

int PictureWidget::Scale() const {
    const qreal ratio = devicePixelRatioF();
    return PictureScale(qRound(width() * ratio), qRound(height() * ratio));
}

QRectF PictureWidget::Target() const {
    const qreal ratio = devicePixelRatioF();
    const int deviceWidth = qRound(width() * ratio);
    const int deviceHeight = qRound(height() * ratio);
    const int w = kWindowScreenWidth * Scale();
    const int h = kWindowViewHeight * Scale();
    return QRectF((deviceWidth - w) / 2 / ratio, (deviceHeight - h) / 2 / ratio, w / ratio,
                  h / ratio);
}

QRect PictureWidget::ViewRect(const QRect& view) const {
    const QRectF target = Target();
    const qreal pixel = target.width() / kWindowScreenWidth;
    return QRectF(target.left() + view.left() * pixel, target.top() + view.top() * pixel,
                  view.width() * pixel, view.height() * pixel)
        .toAlignedRect();
}

// A new frame repaints what it changed (see ScheduleChanges); the black margins are
// painted only when exposed. The rows are scaled here, by copying whole rows, straight into
// the backing store where it allows, else into a kept image that the painter copies: either
// way a fraction of the cost of letting the painter scale.
void PictureWidget::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRectF target = Target();
    const QRect covered = target.toAlignedRect();
    for (const QRect& margin : event->region().subtracted(covered))
        painter.fillRect(margin, Qt::black);
    const int scale = Scale();
    const qreal ratio = devicePixelRatioF();
    const QRect view(0, 0, kWindowScreenWidth * scale, kWindowViewHeight * scale);
    const QPoint viewOrigin(qRound(target.left() * ratio), qRound(target.top() * ratio));
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
