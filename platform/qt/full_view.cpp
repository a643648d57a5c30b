// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's widget: layout, painting, the spectrogram's image ring and the pointer.
//
// Sections:
//   Record      FullViewHost: the widget, the band, the ring, the pointer
//   Layout      where strip, readout, plot and axes go at a size
//   Drawing     strip, readout, spectrum, spectrogram, axes, legend
//   Widget      events: paint, wheel, drag, keys
//   Operations  the functions of full_view.h
#include "platform/qt/full_view.h"

#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QTransform>
#include <QWheelEvent>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <vector>

#include "fullview/full_analysis.h"
#include "fullview/full_axis.h"
#include "fullview/full_colours.h"
#include "fullview/full_options.h"
#include "fullview/full_readout.h"
#include "fullview/full_spectrogram.h"

namespace {

constexpr QRgb kBackground = 0xFF000000;
constexpr QRgb kGrid = 0xFF2A2A2A;
constexpr QRgb kAxisText = 0xFFC8C8C8;
constexpr QRgb kTrace = 0xFFFFD23C;
constexpr QRgb kPeakTrace = 0xFFFF5A5A;
constexpr QRgb kWaveform = 0xFF50E650;
constexpr QRgb kLockedText = 0xFFFFFFFF;
constexpr QRgb kUnlockedText = 0xFF8C8C8C;
constexpr double kStripSeconds = 0.05;  // the waveform strip shows the newest 50 ms
constexpr float kWheelZoom = 1.25f;     // per notch of the wheel, and per + or - key
constexpr float kReferencePitch = 440.0f;

class FullViewWidgetImpl;

// Where the parts of the picture go, in device pixels.
struct FullLayout {
    QRect strip;    // waveform strip
    QRect readout;  // pitch, note and the pointer's reading
    QRect plot;     // spectrum or spectrogram
    QRect scale;    // the dB scale (spectrum) or frequency labels (spectrogram) left of it
    QRect legend;   // spectrogram: the colour bar right of the plot
    int fontPixels;
};

// ---- Record ---------------------------------------------------------------------------------

struct FullViewHostRecord {
    FullViewWidgetImpl* widget = nullptr;
    FullAxis axis = WholeFullAxis(1, true, 24000.0f);  // the band; positions follow the plot
    bool spectrogram = true;                           // which plot is shown
    bool frozen = false;  // the pause button: the picture stays as it is
    float pitchHz = 0.0f;
    bool pitchLocked = false;
    // The spectrogram's ring: one column per timeline column, column ringNext the oldest.
    QImage ring;
    int ringNext = 0;
    long long columnsDrawn = 0;  // timeline columns drawn into the ring
    FullTimeline timeline = {};
    bool ringStale = true;         // drawn anew from the history at the next paint
    bool mapStale = true;          // FullPositionMap to be built for the plot
    float mappedBinHz = 0.0f;      // the analysis's bins when the map was built
    std::vector<float> levels;     // per position: the spectrum's levels, or a column's
    std::vector<float> peaks;      // per position: held peaks
    std::vector<float> low, high;  // per strip column: the waveform
    std::vector<QLineF> strokes;   // per strip column: its stroke
    QPolygonF line, peakLine;      // per position: the spectrum's and the held peaks' points
    // The pointer over the plot, in device pixels; none when outside.
    bool pointerInside = false;
    QPoint pointer;
    // A drag: of the band (plot) or of the dB scale, from the last position seen.
    enum class Drag { None, Band, Db } drag = Drag::None;
    QPointF dragLast;
};
FullViewHostRecord FullHost;

FullLayout LayOut(QSize device, qreal ratio) {
    FullLayout l;
    l.fontPixels = std::max(9, int(std::lround(12.0 * ratio)));
    QFont font;
    font.setPixelSize(l.fontPixels);
    const QFontMetrics metrics(font);
    const int line = metrics.height();
    const int w = device.width();
    const int h = device.height();
    const int stripHeight = std::clamp(h / 8, 3 * line, 8 * line);
    l.strip = QRect(0, 0, w, stripHeight);
    l.readout = QRect(0, stripHeight, w, 2 * line + line / 2);
    const int top = l.readout.bottom() + 1 + line / 2;
    const int labelWidth =
        metrics.horizontalAdvance(FullHost.spectrogram ? "00.000 kHz" : "-150 dB");
    const int left = labelWidth + line;
    const int right = FullHost.spectrogram ? metrics.horizontalAdvance("-150 dB") + 2 * line : line;
    const int bottom = line * 2;
    l.plot = QRect(QPoint(left, top),
                   QPoint(std::max(left, w - right - 1), std::max(top, h - bottom - 1)));
    l.scale = QRect(0, l.plot.top(), left, l.plot.height());
    l.legend = FullHost.spectrogram
                   ? QRect(l.plot.right() + line / 2, l.plot.top(), line / 2 + 4, l.plot.height())
                   : QRect();
    return l;
}

// Positions along the band: the plot's columns (spectrum) or rows (spectrogram).
int Positions(const FullLayout& l) {
    return FullHost.spectrogram ? l.plot.height() : l.plot.width();
}

// The position under a device point, fractional, and the point's distance along the band.
float PositionAt(const FullLayout& l, QPointF point) {
    return FullHost.spectrogram ? float(l.plot.bottom() + 1 - point.y())
                                : float(point.x() - l.plot.left());
}

// The band for this layout: its positions follow the plot, and the analysis's Nyquist.
void FitAxis(const FullLayout& l) {
    FullAxis& a = FullHost.axis;
    const float nyquist = float(FullSpectrum.config.sampleRate) / 2.0f;
    if (nyquist > 0.0f && a.nyquistHz != nyquist) {
        a = WholeFullAxis(Positions(l), FullViewOptions.logAxis, nyquist);
        FullHost.mapStale = FullHost.ringStale = true;
    }
    if (a.log != FullViewOptions.logAxis) {
        a = RescaledFullAxis(a, FullViewOptions.logAxis);
        FullHost.mapStale = FullHost.ringStale = true;
    }
    if (a.positions != Positions(l)) {
        a = ResizedFullAxis(a, Positions(l));
        FullHost.mapStale = FullHost.ringStale = true;
    }
    if (FullHost.mappedBinHz != FullSpectrum.binHz) FullHost.mapStale = FullHost.ringStale = true;
    if (FullHost.mapStale && FullSpectrum.binCount > 0) {
        BuildFullPositionMap(a, FullSpectrum.binHz, FullSpectrum.binCount, FullPeakExponent());
        FullHost.levels.assign(size_t(a.positions), kFullFloorDb);
        FullHost.peaks.assign(size_t(a.positions), kFullFloorDb);
        FullHost.mappedBinHz = FullSpectrum.binHz;
        FullHost.mapStale = false;
    }
}

// ---- Drawing --------------------------------------------------------------------------------

void DrawStrip(QPainter& p, const FullLayout& l) {
    const QRect r = l.strip;
    p.fillRect(r, kBackground);
    const int columns = std::min(r.width(), kFullMaxPositions);
    FullHost.low.resize(size_t(columns));
    FullHost.high.resize(size_t(columns));
    const int samples = int(FullSpectrum.config.sampleRate * kStripSeconds);
    FullWaveformColumns(samples, columns, FullHost.low.data(), FullHost.high.data());
    const float middle = float(r.center().y());
    const float half = float(r.height()) / 2.0f - 1.0f;
    p.setPen(QColor(kGrid));
    p.drawLine(r.left(), int(middle), r.right(), int(middle));
    p.setPen(QColor(kWaveform));
    std::vector<QLineF>& lines = FullHost.strokes;
    lines.resize(size_t(columns));
    for (int c = 0; c < columns; c++) {
        const qreal x = r.left() + c + 0.5;
        lines[size_t(c)] = QLineF(x, middle - FullHost.high[size_t(c)] * half, x,
                                  middle - FullHost.low[size_t(c)] * half);
    }
    p.drawLines(lines.data(), int(lines.size()));
}

void DrawReadout(QPainter& p, const FullLayout& l) {
    const QRect r = l.readout;
    p.fillRect(r, kBackground);
    QFont big = p.font();
    big.setPixelSize(l.fontPixels * 3 / 2);
    big.setBold(true);
    char text[64];
    if (FormatFullPitch(FullHost.pitchHz, kReferencePitch, text, sizeof text) > 0) {
        p.setFont(big);
        p.setPen(QColor(FullHost.pitchLocked ? kLockedText : kUnlockedText));
        p.drawText(r.adjusted(l.fontPixels, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
                   QString::fromUtf8(text));
    }
    QFont normal = p.font();
    normal.setPixelSize(l.fontPixels);
    normal.setBold(false);
    p.setFont(normal);
    if (!FullHost.pointerInside) return;
    const int position = int(PositionAt(l, FullHost.pointer));
    if (position < 0 || position >= FullHost.axis.positions) return;
    const float hz = FullAxisFrequency(FullHost.axis, float(position) + 0.5f);
    const float resolution = FullAxisFrequency(FullHost.axis, float(position) + 1.0f) -
                             FullAxisFrequency(FullHost.axis, float(position));
    if (FullHost.spectrogram) {
        const double age = FullColumnAge(FullHost.timeline, FullHost.pointer.x() - l.plot.left());
        if (age < 0.0) return;
        FormatFullAgeReading(hz, age, resolution, text, sizeof text);
    } else {
        FormatFullLevelReading(hz, FullHost.levels[size_t(position)], resolution, text,
                               sizeof text);
    }
    p.setPen(QColor(kAxisText));
    p.drawText(r.adjusted(0, 0, -l.fontPixels, 0), Qt::AlignVCenter | Qt::AlignRight,
               QString::fromUtf8(text));
}

float DbRow(const FullLayout& l, float db) {
    const float share =
        (db - FullViewOptions.dbLow) / (FullViewOptions.dbHigh - FullViewOptions.dbLow);
    return float(l.plot.bottom() + 1) - std::clamp(share, -0.01f, 1.01f) * float(l.plot.height());
}

// A tick's pixel: its position's pixel, counted from the low end of the band.
int TickPixel(const FullLayout& l, const FullTick& tick) {
    const int position = int(std::floor(tick.position));
    return FullHost.spectrogram ? l.plot.bottom() - position : l.plot.left() + position;
}

// The band's ticks: the grid in the spectrum's plot, and with `labels` the marks and labels.
void DrawFrequencyTicks(QPainter& p, const FullLayout& l, bool labels) {
    const QFontMetrics metrics(p.font());
    FullTickList ticks;
    const float spacing = FullHost.spectrogram ? float(metrics.height() * 3)
                                               : float(metrics.horizontalAdvance("00.000 kHz"));
    BuildFullFrequencyTicks(FullHost.axis, spacing, &ticks);
    for (int i = 0; i < ticks.count; i++) {
        const FullTick& tick = ticks.ticks[i];
        const int at = TickPixel(l, tick);
        const QString label = QString::fromUtf8(tick.label);
        if (FullHost.spectrogram) {
            if (!labels) continue;
            p.setPen(QColor(kAxisText));
            p.drawLine(l.plot.left() - 5, at, l.plot.left() - 1, at);
            p.drawText(QRect(0, at - metrics.height(), l.plot.left() - 8, 2 * metrics.height()),
                       Qt::AlignRight | Qt::AlignVCenter, label);
        } else {
            p.setPen(QColor(kGrid));
            p.drawLine(at, l.plot.top(), at, l.plot.bottom());
            if (!labels) continue;
            p.setPen(QColor(kAxisText));
            p.drawLine(at, l.plot.bottom() + 1, at, l.plot.bottom() + 5);
            const int w = metrics.horizontalAdvance(label);
            p.drawText(QPoint(std::clamp(at - w / 2, 0, l.plot.right() + 1 - w),
                              l.plot.bottom() + 6 + metrics.ascent()),
                       label);
        }
    }
}

// The dB ticks along `along`: the grid across the spectrum's plot (labels left of it), or the
// labels right of the legend; labels only with `labels`.
void DrawDbScale(QPainter& p, const FullLayout& l, const QRect& along, bool labelsRight,
                 bool labels) {
    const QFontMetrics metrics(p.font());
    FullTickList ticks;
    BuildFullDbTicks(FullViewOptions.dbLow, FullViewOptions.dbHigh, along.height(),
                     float(metrics.height()) * 2.0f, &ticks);
    for (int i = 0; i < ticks.count; i++) {
        const FullTick& tick = ticks.ticks[i];
        const int y = along.bottom() - int(std::floor(tick.position));
        if (!labelsRight) {
            p.setPen(QColor(kGrid));
            p.drawLine(l.plot.left(), y, l.plot.right(), y);
        }
        if (!labels) continue;
        p.setPen(QColor(kAxisText));
        const QString label = QString::fromUtf8(tick.label);
        if (labelsRight) {
            p.drawText(QPoint(along.right() + 4, y + metrics.ascent() / 2), label);
        } else {
            p.drawText(QRect(0, y - metrics.height(), l.plot.left() - 6, 2 * metrics.height()),
                       Qt::AlignRight | Qt::AlignVCenter, label);
        }
    }
}

void DrawSpectrum(QPainter& p, const FullLayout& l, bool labels) {
    p.fillRect(l.plot, kBackground);
    DrawDbScale(p, l, l.plot, false, labels);
    DrawFrequencyTicks(p, l, labels);
    if (FullSpectrum.binCount == 0) return;
    const int n = FullHost.axis.positions;
    if (!FullHost.frozen) {
        FullPositionLevels(FullSpectrum.levelDb, FullHost.levels.data());
        if (FullSpectrum.config.peakHold)
            FullPositionLevels(FullSpectrum.peakDb, FullHost.peaks.data());
    }
    QPolygonF& line = FullHost.line;
    line.resize(n);
    for (int i = 0; i < n; i++)
        line[i] = QPointF(l.plot.left() + i + 0.5, DbRow(l, FullHost.levels[size_t(i)]));
    p.setClipRect(l.plot);
    if (FullViewOptions.filled) {
        line << QPointF(l.plot.right() + 0.5, l.plot.bottom() + 1)
             << QPointF(l.plot.left() + 0.5, l.plot.bottom() + 1);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xFF, 0xD2, 0x3C, 80));
        p.drawPolygon(line);
        p.setBrush(Qt::NoBrush);
        line.resize(n);
    }
    if (FullSpectrum.config.peakHold) {
        QPolygonF& peaks = FullHost.peakLine;
        peaks.resize(n);
        for (int i = 0; i < n; i++)
            peaks[i] = QPointF(l.plot.left() + i + 0.5, DbRow(l, FullHost.peaks[size_t(i)]));
        p.setPen(QColor(kPeakTrace));
        p.drawPolyline(peaks);
    }
    p.setPen(QColor(kTrace));
    p.drawPolyline(line);
    p.setClipping(false);
}

// One timeline column into ring column x: the colours of its levels, the lowest at the bottom.
void DrawRingColumn(long long column, int x) {
    QImage& ring = FullHost.ring;
    const int rows = ring.height();
    const auto bpl = ring.bytesPerLine();
    uchar* bits = ring.bits() + qsizetype(x) * qsizetype(sizeof(QRgb));
    if (column < 0 || !FullSpectrogramColumn(FullHost.timeline, column, FullHost.levels.data())) {
        for (int r = 0; r < rows; r++)
            *reinterpret_cast<QRgb*>(bits + r * bpl) = kBackground;
        return;
    }
    const float low = FullViewOptions.dbLow, high = FullViewOptions.dbHigh;
    for (int r = 0; r < rows; r++) {
        const int index = FullColourIndex(FullHost.levels[size_t(rows - 1 - r)], low, high);
        *reinterpret_cast<QRgb*>(bits + r * bpl) = FullColours[index];
    }
}

// Brings the ring up to the analysis: new columns at its end, or all anew when stale.
void UpdateRing(const FullLayout& l) {
    if (FullSpectrum.binCount == 0) return;
    const QSize size = l.plot.size();
    if (FullHost.ring.size() != size) {
        FullHost.ring = QImage(size, QImage::Format_RGB32);
        FullHost.ringStale = true;
    }
    const int width = size.width();
    if (FullHost.ringStale) {
        FullHost.timeline = MakeFullTimeline(width);
        BuildFullColours(FullViewOptions.colours);  // the handheld's map may be newer
    }
    const long long columns = FullTimelineColumns(FullHost.timeline, FullSpectrum.frames);
    // Stale, too far behind to scroll, or the analysis started anew.
    if (FullHost.ringStale || columns - FullHost.columnsDrawn >= width ||
        columns < FullHost.columnsDrawn) {
        for (int x = 0; x < width; x++)
            DrawRingColumn(columns - width + x, x);
        FullHost.ringNext = 0;
        FullHost.columnsDrawn = columns;
        FullHost.ringStale = false;
        return;
    }
    for (long long c = FullHost.columnsDrawn; c < columns; c++) {
        DrawRingColumn(c, FullHost.ringNext);
        FullHost.ringNext = (FullHost.ringNext + 1) % width;
    }
    FullHost.columnsDrawn = columns;
}

void DrawTimeAxis(QPainter& p, const FullLayout& l) {
    const QFontMetrics metrics(p.font());
    const int seconds = FullSpectrum.config.historySeconds;
    const double pixelsPerSecond = double(l.plot.width()) / std::max(seconds, 1);
    int step = 1;
    for (int s : {1, 2, 5, 10, 20, 30, 60}) {
        step = s;
        if (s * pixelsPerSecond >= metrics.horizontalAdvance("-60 s") * 2) break;
    }
    p.setPen(QColor(kAxisText));
    for (int s = 0; s <= seconds; s += step) {
        const int x = l.plot.right() - int(std::lround(s * pixelsPerSecond));
        p.drawLine(x, l.plot.bottom() + 1, x, l.plot.bottom() + 5);
        const QString label = s == 0 ? QStringLiteral("0 s") : QStringLiteral("-%1 s").arg(s);
        const int w = metrics.horizontalAdvance(label);
        p.drawText(QPoint(std::clamp(x - w / 2, l.plot.left(), l.plot.right() + 1 - w),
                          l.plot.bottom() + 6 + metrics.ascent()),
                   label);
    }
}

void DrawLegend(QPainter& p, const FullLayout& l) {
    const QRect bar = l.legend;
    for (int y = bar.top(); y <= bar.bottom(); y++) {
        const int index =
            (bar.bottom() - y) * (kFullColourCount - 1) / std::max(bar.height() - 1, 1);
        p.setPen(QColor(FullColours[index]));
        p.drawLine(bar.left(), y, bar.right(), y);
    }
    DrawDbScale(p, l, bar, true, true);
}

void DrawSpectrogram(QPainter& p, const FullLayout& l, bool labels) {
    if (!FullHost.frozen) UpdateRing(l);
    const QImage& ring = FullHost.ring;
    if (ring.isNull() || ring.size() != l.plot.size()) {
        p.fillRect(l.plot, kBackground);
    } else {
        const int next = FullHost.ringNext;
        const int width = ring.width();
        p.drawImage(QPoint(l.plot.left(), l.plot.top()), ring,
                    QRect(next, 0, width - next, ring.height()));
        if (next > 0)
            p.drawImage(QPoint(l.plot.left() + width - next, l.plot.top()), ring,
                        QRect(0, 0, next, ring.height()));
    }
    if (!labels) return;
    DrawFrequencyTicks(p, l, true);
    DrawTimeAxis(p, l);
    DrawLegend(p, l);
}

// The parts that change with every frame; the rest (axes, labels, legend) changes only with
// the size, the band or the options.
QRegion MovingParts(const FullLayout& l) {
    return QRegion(l.strip) | QRegion(l.readout) | QRegion(l.plot);
}

// The picture, or with `movingOnly` only the parts that change with every frame.
void PaintFullView(QPainter& p, QSize device, qreal ratio, bool movingOnly) {
    const FullLayout l = LayOut(device, ratio);
    FitAxis(l);
    QFont font = p.font();
    font.setPixelSize(l.fontPixels);
    p.setFont(font);
    if (!movingOnly) p.fillRect(QRect(QPoint(0, 0), device), kBackground);
    DrawStrip(p, l);
    if (FullHost.spectrogram) {
        DrawSpectrogram(p, l, !movingOnly);
    } else {
        DrawSpectrum(p, l, !movingOnly);
    }
    DrawReadout(p, l);
}

// The moving parts in the widget's own (logical) coordinates.
QRegion LogicalMovingParts(const QWidget* widget) {
    const qreal r = widget->devicePixelRatioF();
    const QSize device(qRound(widget->width() * r), qRound(widget->height() * r));
    return QTransform::fromScale(1.0 / r, 1.0 / r)
        .map(MovingParts(LayOut(device, r)))
        .boundingRect()
        .adjusted(-1, -1, 1, 1);
}

// ---- Widget ---------------------------------------------------------------------------------

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
        const bool movingOnly = device.subtracted(MovingParts(Layout())).isEmpty();
        PaintFullView(p, DeviceSize(), r, movingOnly);
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
    void resizeEvent(QResizeEvent*) override { FullHost.ringStale = true; }

  private:
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

void SetFullViewPitch(float hz, bool locked) {
    FullHost.pitchHz = hz;
    FullHost.pitchLocked = locked;
}

void FullViewFramesAnalysed() {
    if (FullSpectrum.frames == 0) FullHost.mapStale = FullHost.ringStale = true;
    if (FullHost.widget && !FullHost.frozen && FullHost.widget->isVisible())
        FullHost.widget->update(LogicalMovingParts(FullHost.widget));
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
    PaintFullView(p, size, 1.0, false);
    return image;
}

FullAxis FullViewBand() {
    return FullHost.axis;
}

QRect FullViewPlot(const QSize& size) {
    return LayOut(size, 1.0).plot;
}
