// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's widget: painting, the wheel, drags and keys, and the operations of
// full_view.h. Layout, drawing and the spectrogram's ring are in the full_view_* files beside.
#include "platform/qt/full_view.h"

#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTransform>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "fullview/full_analysis.h"
#include "fullview/full_colours.h"
#include "fullview/full_options.h"
#include "platform/qt/full_view_drawing.h"
#include "platform/qt/full_view_gauge.h"
#include "platform/qt/full_view_layout.h"
#include "platform/qt/full_view_waterfall.h"
#include "platform/qt/level_meter_view.h"

namespace {

constexpr float kWheelZoom = 1.25f;  // per notch of the wheel, and per + or - key
// The spectrogram's peak mark and its tag fit this many font sizes left of the plot's edge.
constexpr int kPeakMarkWidthInFonts = 16;

// The newest spectrum becomes the one the plot, its peak and the pointer's reading show.
void KeepShownSpectrum() {
    const int bins = FullSpectrum.binCount;
    if (FullHost.shownDb.size() != size_t(bins)) FullHost.shownDb.resize(size_t(bins));
    std::copy_n(FullSpectrum.levelDb, bins, FullHost.shownDb.data());
}

// The picture, or with `movingOnly` only the parts that change with every frame, of the
// spectrogram only what lies within `dirty` (device pixels).
void PaintFullView(QPainter& p, QSize device, qreal ratio, bool movingOnly, const QRegion& dirty) {
    const FullLayout l = LayOut(device, ratio);
    FitAxis(l);
    QFont font = p.font();
    font.setPixelSize(l.fontPixels);
    p.setFont(font);
    if (!movingOnly) p.fillRect(QRect(QPoint(0, 0), device), kBackground);
    if (!FullHost.frozen) KeepShownSpectrum();
    DrawStrip(p, l);
    p.fillRect(l.meter, kBackground);
    DrawLevelMeter(p, l.meter, l.fontPixels, false);
    if (FullHost.spectrogram) {
        DrawSpectrogram(p, l, dirty, !movingOnly);
    } else {
        DrawSpectrum(p, l, !movingOnly);
    }
    DrawReadout(p, l, movingOnly);  // first: the marks show the reading's peak
    DrawPeakMarks(p, l);
    if (!l.gauge.isEmpty()) DrawGauge(p, l);
}

class FullViewWidgetImpl : public QWidget {
  public:
    explicit FullViewWidgetImpl(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFocusPolicy(Qt::StrongFocus);
        setMouseTracking(true);
        setMinimumSize(320, 240);
    }
    QSize sizeHint() const override { return QSize(960, 640); }

    QSize DeviceSize() const {
        const qreal r = devicePixelRatioF();
        return QSize(qRound(width() * r), qRound(height() * r));
    }
    FullLayout Layout() const { return LayOut(DeviceSize(), devicePixelRatioF()); }
    QPointF Device(QPointF logical) const { return logical * devicePixelRatioF(); }

  protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter p(this);
        const qreal r = devicePixelRatioF();
        p.scale(1.0 / r, 1.0 / r);  // device pixels: one position is one pixel of the screen
        const QRegion device = QTransform::fromScale(r, r).map(event->region());
        const bool movingOnly = WithinMovingParts(Layout(), device, r);
        PaintFullView(p, DeviceSize(), r, movingOnly, device);
    }
    void wheelEvent(QWheelEvent* event) override {
        const FullLayout l = Layout();
        const QPointF at = Device(event->position());
        const float notches = float(event->angleDelta().y()) / 120.0f;
        if (notches == 0.0f) return;
        if (!l.plot.contains(at.toPoint())) return;
        Zoom(PositionAt(l, at), std::pow(kWheelZoom, notches));
        event->accept();
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) return;
        const FullLayout l = Layout();
        const QPointF at = Device(event->position());
        const bool onDbScale =
            FullHost.spectrogram
                ? l.legend.adjusted(0, 0, l.fontPixels * 4, 0).contains(at.toPoint())
                : l.scale.contains(at.toPoint());
        FullHost.drag = onDbScale                       ? FullViewHostRecord::Drag::Db
                        : l.plot.contains(at.toPoint()) ? FullViewHostRecord::Drag::Band
                                                        : FullViewHostRecord::Drag::None;
        FullHost.dragLast = at;
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        const FullLayout l = Layout();
        const QPointF at = Device(event->position());
        const QPointF moved = at - FullHost.dragLast;
        FullHost.dragLast = at;
        if (FullHost.drag == FullViewHostRecord::Drag::Band) {
            // The band follows the pointer: dragging right (or down) shows lower frequencies.
            const float pixels = FullHost.spectrogram ? float(moved.y()) : float(-moved.x());
            SetAxis(PanFullAxis(FullHost.axis, pixels));
        } else if (FullHost.drag == FullViewHostRecord::Drag::Db) {
            const float height = float(std::max(l.plot.height(), 1));
            const float db =
                float(moved.y()) / height * (FullViewOptions.dbHigh - FullViewOptions.dbLow);
            float low = FullViewOptions.dbLow + db, high = FullViewOptions.dbHigh + db;
            LimitFullDbRange(&low, &high);
            FullViewOptions.dbLow = low;
            FullViewOptions.dbHigh = high;
            FullHost.ringStale = true;
        }
        FullHost.pointerInside = l.plot.contains(at.toPoint());
        FullHost.pointer = at.toPoint();
        FullHost.snap = event->modifiers().testFlag(Qt::ShiftModifier);
        if (FullHost.drag == FullViewHostRecord::Drag::None) {
            update(LogicalMovingParts(this));  // the reading only
        } else {
            update();
        }
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) FullHost.drag = FullViewHostRecord::Drag::None;
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) ShowWholeBand();
    }
    void leaveEvent(QEvent*) override {
        FullHost.pointerInside = false;
        update();
    }
    void keyPressEvent(QKeyEvent* event) override {
        const FullLayout l = Layout();
        const float middle = float(Positions(l)) / 2.0f;
        switch (event->key()) {
            case Qt::Key_Home:
                ShowWholeBand();
                break;
            case Qt::Key_Shift:
                SetSnap(true);
                break;
            case Qt::Key_Plus:
            case Qt::Key_Equal:
                Zoom(middle, kWheelZoom);
                break;
            case Qt::Key_Minus:
            case Qt::Key_Underscore:
                Zoom(middle, 1.0f / kWheelZoom);
                break;
            default:
                QWidget::keyPressEvent(event);
                return;
        }
        event->accept();
    }
    void keyReleaseEvent(QKeyEvent* event) override {
        if (event->key() != Qt::Key_Shift) {
            QWidget::keyReleaseEvent(event);
            return;
        }
        SetSnap(false);
        event->accept();
    }
    void resizeEvent(QResizeEvent*) override { FullHost.ringStale = true; }

  private:
    void SetSnap(bool snap) {
        FullHost.snap = snap;
        if (FullHost.pointerInside) update(LogicalMovingParts(this));
    }
    void SetAxis(const FullAxis& axis) {
        if (axis.lowHz == FullHost.axis.lowHz && axis.highHz == FullHost.axis.highHz) return;
        FullHost.axis = axis;
        FullHost.mapStale = FullHost.ringStale = true;
        update();
    }
    void Zoom(float position, float factor) {
        SetAxis(ZoomFullAxis(FullHost.axis, position, factor));
    }
    void ShowWholeBand() {
        const FullAxis& a = FullHost.axis;
        SetAxis(WholeFullAxis(a.positions, a.log, a.nyquistHz));
    }
};

}  // namespace

// ---- Operations -----------------------------------------------------------------------------

QWidget* CreateFullView(QWidget* parent) {
    if (FullHost.widget == nullptr) {
        // A new widget shows the whole band and draws everything anew; the plot stays.
        const bool spectrogram = FullHost.spectrogram;
        FullHost = FullViewHostRecord();
        FullHost.spectrogram = spectrogram;
        FullHost.widget = new FullViewWidgetImpl(parent);
        QObject::connect(FullHost.widget, &QObject::destroyed, [] { FullHost.widget = nullptr; });
    } else {
        FullHost.widget->setParent(parent);
    }
    BuildFullColours(FullViewOptions.colours);
    return FullHost.widget;
}

QWidget* FullViewWidget() {
    return FullHost.widget;
}

void SetFullViewSpectrogram(bool spectrogram) {
    if (FullHost.spectrogram == spectrogram) return;
    FullHost.spectrogram = spectrogram;
    FullHost.mapStale = FullHost.ringStale = true;
    if (FullHost.widget) FullHost.widget->update();
}

void SetFullViewPitch(float hz, bool locked, const FullTunerRecord& tuner) {
    if (FullHost.frozen) return;
    FullHost.pitchHz = hz;
    FullHost.pitchLocked = locked;
    FullHost.tuner = tuner;
}

void FullViewFramesAnalysed() {
    if (FullSpectrum.frames == 0) FullHost.mapStale = FullHost.ringStale = true;
    QWidget* widget = FullHost.widget;
    if (!widget || FullHost.frozen || !widget->isVisible()) return;
    // Not shown (minimised, covered): the expose paints everything when it is shown again.
    const QWindow* window = widget->window()->windowHandle();
    if (window && !window->isExposed()) return;
    // A new rate (a file at its own, after a switch) moves the band's end: the axis and its
    // labels, outside the moving parts, are drawn anew.
    if (float(FullSpectrum.config.sampleRate) / 2.0f != FullHost.axis.nyquistHz) {
        widget->update();
        return;
    }
    if (widget->devicePixelRatioF() != 1.0 || FullHost.mapStale || FullHost.ringStale) {
        widget->update(LogicalMovingParts(widget));
        return;
    }
    // Device pixels are the widget's own: the plot's new spectrogram columns are scrolled
    // in (by the X server, where the backing store allows it) and only they are drawn.
    const FullLayout l = LayOut(widget->size(), 1.0);
    QRegion changed = QRegion(l.strip) | QRegion(l.meter) | QRegion(l.readout) | QRegion(l.gauge);
    if (!FullHost.spectrogram) {
        changed |= l.plot;
    } else {
        const int added = AdvanceSpectrogramRing(l);
        if (added == kRingRedrawn) {
            changed |= l.plot;
        } else if (added > 0) {
            widget->scroll(-added, 0, l.plot);
            // The new columns, and the strongest peak's mark and tag at the plot's right edge,
            // which the scroll carried left with the rest.
            const int redrawn =
                std::min(added + kPeakMarkWidthInFonts * l.fontPixels, l.plot.width());
            changed |= QRect(l.plot.right() + 1 - redrawn, l.plot.top(), redrawn, l.plot.height());
        }
    }
    widget->update(changed);
}

void FullViewLevelMeasured() {
    QWidget* w = FullHost.widget;
    if (w == nullptr || !w->isVisible()) return;
    const qreal r = w->devicePixelRatioF();
    const QSize device(qRound(w->width() * r), qRound(w->height() * r));
    const QRect meter = LayOut(device, r).meter;
    w->update(QRectF(QPointF(meter.topLeft()) / r, QSizeF(meter.size()) / r)
                  .toAlignedRect()
                  .adjusted(-1, -1, 1, 1));
}

void FullViewOptionsChanged() {
    BuildFullColours(FullViewOptions.colours);
    FullHost.mapStale = FullHost.ringStale = true;
    if (FullHost.widget) FullHost.widget->update();
}

void SetFullViewFrozen(bool frozen) {
    if (FullHost.frozen == frozen) return;
    FullHost.frozen = frozen;
    if (FullHost.widget) FullHost.widget->update();
}

QImage RenderFullView(const QSize& size) {
    BuildFullColours(FullViewOptions.colours);
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    PaintFullView(p, size, 1.0, false, QRegion(QRect(QPoint(0, 0), size)));
    // The ring may have taken columns the window has not scrolled in: drawn whole next.
    if (FullHost.widget) FullHost.widget->update();
    return image;
}

bool FullViewPointerReading(float* hz, float* levelDb) {
    *hz = FullHost.readingHz;
    *levelDb = FullHost.readingDb;
    return FullHost.readingShown;
}

FullAxis FullViewBand() {
    return FullHost.axis;
}

QRect FullViewPlot(const QSize& size) {
    return LayOut(size, 1.0).plot;
}
