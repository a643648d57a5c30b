// SPDX-License-Identifier: GPL-3.0-or-later
// The picture: the frame buffer behind the window, the display back end that fills it, and
// the widget that shows it scaled by whole factors.
//
//   frame calls --> WindowDisplay.pixels --(changed rows)--> PictureWidget::update
//   paint event --> RenderView (widened, scaled) --> the backing store, or a kept image
#include "platform/qt/picture_view.h"

#include <QMouseEvent>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/qt/qt_host.h"

WindowDisplayRecord WindowDisplay;

namespace {

// The picture frames are shown in, as the window host last said. Main thread only.
struct ViewRecord {
    PictureWidget* picture = nullptr;
};
ViewRecord View;

// An RGB565 pixel with each channel widened to 8 bits by repeating its top bits.
inline QRgb WidenRgb565(unsigned pixel) {
    const unsigned red = pixel >> 11;
    const unsigned green = (pixel >> 5) & 0x3F;
    const unsigned blue = pixel & 0x1F;
    return 0xFF000000u | ((red << 3 | red >> 2) << 16) | ((green << 2 | green >> 4) << 8) |
           (blue << 3 | blue >> 2);
}

// Each pixel of `in` as `scale` pixels of `out`; the usual scales unrolled.
template <int kScale>
void WidenRow(const QRgb* in, QRgb* out, int scale = kScale) {
    for (int x = 0; x < kWindowScreenWidth; x++) {
        for (int i = 0; i < (kScale > 0 ? kScale : scale); i++)
            *out++ = in[x];
    }
}

}  // namespace

// Each screen row is widened once into `line`, which every device row it covers copies.
void RenderView(int scale, const QRect& area, uchar* bits, qsizetype bytesPerLine,
                std::vector<QRgb>& line) {
    const uint16_t* pixels = WindowDisplay.pixels;
    line.resize(static_cast<size_t>(kWindowScreenWidth) * scale);
    QRgb row[kWindowScreenWidth];
    for (int y = area.top() / scale; y <= area.bottom() / scale; y++) {
        const int screenRow = kWindowViewTop + y;
        if (WindowDisplay.fixedLayout) {
            for (int x = 0; x < kWindowScreenWidth; x++)
                row[x] = WidenRgb565(
                    pixels[(kWindowScreenWidth - 1 - x) * kWindowScreenHeight + screenRow]);
        } else {
            const uint16_t* source = pixels + screenRow * kWindowScreenWidth;
            for (int x = 0; x < kWindowScreenWidth; x++)
                row[x] = WidenRgb565(source[x]);
        }
        switch (scale) {
            case 1:
                std::copy(std::begin(row), std::end(row), line.begin());
                break;
            case 2:
                WidenRow<2>(row, line.data());
                break;
            case 3:
                WidenRow<3>(row, line.data());
                break;
            default:
                WidenRow<0>(row, line.data(), scale);
                break;
        }
        const int from = std::max(y * scale, area.top());
        const int to = std::min(y * scale + scale - 1, area.bottom());
        for (int r = from; r <= to; r++) {
            std::memcpy(bits + (r - area.top()) * bytesPerLine, line.data() + area.left(),
                        sizeof(QRgb) * area.width());
        }
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
    uint16_t rows[kWindowViewHeight][kWindowScreenWidth];
    bool valid = false;  // false: compare nothing, repaint every row
};
ShownViewRecord ShownView;

// Repaints the whole view; the next frame is compared with nothing.
void ScheduleRepaint() {
    ShownView.valid = false;
    if (View.picture != nullptr) View.picture->update(View.picture->Target().toAlignedRect());
}

// Repaints the rows that differ from what the picture shows: the colour legend, the axes and
// the quiet parts of a frame are neither scaled nor sent to the X server again.
void ScheduleChangedRows() {
    // A picture that takes no updates (a headless run's) is not compared row by row.
    if (View.picture == nullptr || !View.picture->updatesEnabled()) {
        ShownView.valid = false;
        return;
    }
    constexpr size_t kRowBytes = sizeof ShownView.rows[0];
    int changedFrom = -1;
    for (int y = 0; y <= kWindowViewHeight; y++) {
        bool changed = false;
        if (y < kWindowViewHeight) {
            const uint16_t* row = WindowDisplay.pixels + (kWindowViewTop + y) * kWindowScreenWidth;
            changed = !ShownView.valid || std::memcmp(row, ShownView.rows[y], kRowBytes) != 0;
            if (changed) std::memcpy(ShownView.rows[y], row, kRowBytes);
        }
        if (changed && changedFrom < 0) changedFrom = y;
        if (!changed && changedFrom >= 0) {
            View.picture->update(View.picture->RowsRect(changedFrom, y - 1));
            changedFrom = -1;
        }
    }
    ShownView.valid = true;
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

QRect PictureWidget::RowsRect(int first, int last) const {
    const QRectF target = Target();
    const qreal rowHeight = target.height() / kWindowViewHeight;
    return QRectF(target.left(), target.top() + first * rowHeight, target.width(),
                  (last - first + 1) * rowHeight)
        .toAlignedRect();
}

// A new frame repaints the rows it changed (see ScheduleChangedRows); the black margins are
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
            RenderView(scale, area, bits, plain->bytesPerLine(), line);
            continue;
        }
        if (scaled.size() != view.size()) scaled = QImage(view.size(), QImage::Format_RGB32);
        scaled.setDevicePixelRatio(ratio);
        uchar* bits = scaled.bits() + area.top() * scaled.bytesPerLine() +
                      area.left() * static_cast<qsizetype>(sizeof(QRgb));
        RenderView(scale, area, bits, scaled.bytesPerLine(), line);
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
    ScheduleChangedRows();
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
