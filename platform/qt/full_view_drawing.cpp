// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's strip, readout and spectrum, painted in device pixels.
#include "platform/qt/full_view_drawing.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "fullview/full_analysis.h"
#include "fullview/full_options.h"
#include "fullview/full_peaks.h"
#include "fullview/full_readout.h"
#include "views/note_scale.h"

void DrawStrip(QPainter& p, const FullLayout& l) {
    const QRect r = l.strip;
    const int columns = std::min(r.width(), kFullMaxPositions);
    FullHost.low.resize(size_t(columns));
    FullHost.high.resize(size_t(columns));
    const int samples = int(FullSpectrum.config.sampleRate * kStripSeconds);
    FullWaveformColumns(samples, columns, FullHost.low.data(), FullHost.high.data());
    // Drawn into a kept image pixel by pixel, as the painter draws a one-pixel line from
    // (x + 0.5, top) to (x + 0.5, bottom): the rows of its ends in 1/64 pixel, nothing when
    // they are the same 1/64, and a line of no length as the point it rounds to (one column
    // right). The painter's own lines cost most of a frame.
    QImage& image = FullHost.stripImage;
    if (image.size() != r.size()) image = QImage(r.size(), QImage::Format_RGB32);
    image.fill(kBackground);
    const float middle = float(r.center().y());
    const float half = float(r.height()) / 2.0f - 1.0f;
    const int rows = image.height();
    const int gridRow = int(middle) - r.top();
    if (gridRow >= 0 && gridRow < rows) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(gridRow));
        std::fill_n(line, r.width(), kGrid);
    }
    uchar* bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    for (int c = 0; c < columns; c++) {
        const float top = middle - FullHost.high[size_t(c)] * half;
        const float bottom = middle - FullHost.low[size_t(c)] * half;
        if (top == bottom) {
            const int y = int(std::floor(double(top) + 0.5)) - r.top();
            if (c + 1 < r.width() && y >= 0 && y < rows)
                reinterpret_cast<QRgb*>(bits + y * stride)[c + 1] = kWaveform;
            continue;
        }
        const long long from = (long long)std::floor(double(top) * 64.0);
        const long long to = (long long)std::floor(double(bottom) * 64.0);
        if (from == to) continue;
        const int first = std::max(int(from >> 6) - r.top(), 0);
        const int last = std::min(int(to >> 6) - r.top(), rows - 1);
        for (int y = first; y <= last; y++)
            reinterpret_cast<QRgb*>(bits + y * stride)[c] = kWaveform;
    }
    // One rectangle of clip keeps the painter on its plain copy (a paint's region of several
    // rectangles sends every row through the blending, on worker threads).
    p.setClipRect(r);
    p.drawImage(r.topLeft(), image);
    p.setClipping(false);
}

namespace {

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

// The decimals a peak's frequency is given with: its top is placed within a twentieth of a bin.
float PeakResolution() {
    return FullSpectrum.binHz * 0.05f;
}

// The strongest peak of the shown spectrum inside the band, when it shows above the dB scale's
// bottom.
bool StrongestShownPeak(FullPeak* peak) {
    const FullAxis& a = FullHost.axis;
    const float binHz = FullSpectrum.binHz;
    if (FullHost.shownDb.empty() || !(binHz > 0.0f)) return false;
    return FindFullPeak(FullHost.shownDb.data(), int(FullHost.shownDb.size()), a.lowHz / binHz,
                        a.highHz / binHz, FullPeakExponent(), FullViewOptions.dbLow, peak);
}

// The peak near a position of the band: the strongest within two characters either side of it
// (and within a bin, where a bin spans more pixels than that).
bool PeakNear(const FullLayout& l, int position, FullPeak* peak) {
    const FullAxis& a = FullHost.axis;
    const float binHz = FullSpectrum.binHz;
    if (FullHost.shownDb.empty() || !(binHz > 0.0f)) return false;
    const float reach = 2.0f * float(l.fontPixels);
    const float middle = FullAxisFrequency(a, float(position) + 0.5f) / binHz;
    const float low =
        std::min(FullAxisFrequency(a, float(position) - reach) / binHz, middle - 1.0f);
    const float high =
        std::max(FullAxisFrequency(a, float(position + 1) + reach) / binHz, middle + 1.0f);
    return FindFullPeak(FullHost.shownDb.data(), int(FullHost.shownDb.size()), low, high,
                        FullPeakExponent(), kFullFloorDb, peak);
}

// The pixel of a frequency along the band: a spectrum's x, a spectrogram's y.
float BandPixel(const FullLayout& l, float hz) {
    const float position = FullAxisPosition(FullHost.axis, hz);
    return FullHost.spectrogram ? float(l.plot.bottom() + 1) - position
                                : float(l.plot.left()) + position;
}

// A text on a dark box, kept inside the plot.
void DrawTag(QPainter& p, const FullLayout& l, QPoint anchor, bool leftOfAnchor,
             const QString& text) {
    const QFontMetrics metrics(p.font());
    const int pad = l.fontPixels / 4 + 1;
    QRect box(0, 0, metrics.horizontalAdvance(text) + 2 * pad, metrics.height());
    box.moveTop(anchor.y() - box.height() / 2);
    if (leftOfAnchor) {
        box.moveRight(anchor.x());
    } else {
        box.moveLeft(anchor.x());
    }
    if (box.right() > l.plot.right()) box.moveRight(l.plot.right());
    if (box.left() < l.plot.left()) box.moveLeft(l.plot.left());
    if (box.top() < l.plot.top()) box.moveTop(l.plot.top());
    if (box.bottom() > l.plot.bottom()) box.moveBottom(l.plot.bottom());
    p.fillRect(box, QColor(0, 0, 0, 190));
    p.setPen(QColor(kPeakText));
    p.drawText(box, Qt::AlignCenter, text);
}

QString PeakText(float hz, float levelDb) {
    char text[64];
    FormatFullLevelReading(hz, levelDb, PeakResolution(), text, sizeof text);
    return QString::fromUtf8(text);
}

// The readout's texts as last drawn, and where (the widget, or a picture being saved), so
// that a frame that changes neither draws nothing.
struct ReadoutTextRecord {
    char pitch[64];
    char reading[64];
    bool locked;
    const QPaintDevice* device;
};
ReadoutTextRecord ReadoutShown;

// The pointer's reading: frequency and level (spectrum) or age (spectrogram); empty when
// the pointer is not over the plot or the column is still empty.
void FormatReading(const FullLayout& l, char* text, int capacity) {
    text[0] = '\0';
    FullHost.readingShown = FullHost.readingSnapped = false;
    if (!FullHost.pointerInside) return;
    const int position = int(PositionAt(l, FullHost.pointer));
    if (position < 0 || position >= FullHost.axis.positions) return;
    float hz = FullAxisFrequency(FullHost.axis, float(position) + 0.5f);
    float resolution = FullAxisFrequency(FullHost.axis, float(position) + 1.0f) -
                       FullAxisFrequency(FullHost.axis, float(position));
    if (FullHost.spectrogram) {
        const double age = FullColumnAge(FullHost.timeline, FullHost.pointer.x() - l.plot.left());
        if (age < 0.0) return;
        FormatFullAgeReading(hz, age, resolution, text, capacity);
    } else {
        if (FullHost.shownDb.empty() || !(FullSpectrum.binHz > 0.0f)) return;
        // The trace's level at the pointer's frequency, or the peak near it with Shift held.
        float level = FullLevelAtBin(FullHost.shownDb.data(), int(FullHost.shownDb.size()),
                                     hz / FullSpectrum.binHz, FullPeakExponent());
        FullPeak peak{};
        if (FullHost.snap && PeakNear(l, position, &peak)) {
            hz = peak.bin * FullSpectrum.binHz;
            level = peak.levelDb;
            resolution = PeakResolution();
            FullHost.readingSnapped = true;
        }
        FormatFullLevelReading(hz, level, resolution, text, capacity);
        FullHost.readingShown = true;
        FullHost.readingHz = hz;
        FullHost.readingDb = level;
    }
}

}  // namespace

void DrawReadout(QPainter& p, const FullLayout& l, bool changedOnly) {
    ReadoutTextRecord now = {};
    // With the gauge shown, the pitch is there, larger.
    if (!l.gauge.isEmpty() ||
        FormatFullPitch(FullHost.pitchHz, NoteScale.referenceHz, now.pitch, sizeof now.pitch) <= 0)
        now.pitch[0] = '\0';
    now.locked = FullHost.pitchLocked;
    FormatReading(l, now.reading, sizeof now.reading);
    now.device = p.device();
    ReadoutTextRecord& shown = ReadoutShown;
    if (changedOnly && std::strcmp(now.pitch, shown.pitch) == 0 &&
        std::strcmp(now.reading, shown.reading) == 0 && now.locked == shown.locked &&
        now.device == shown.device) {
        return;
    }
    shown = now;
    const QRect r = l.readout;
    p.setClipRect(r);  // as the strip's
    p.fillRect(r, kBackground);
    QFont big = p.font();
    big.setPixelSize(l.fontPixels * 3 / 2);
    big.setBold(true);
    if (now.pitch[0] != '\0') {
        p.setFont(big);
        p.setPen(QColor(now.locked ? kLockedText : kUnlockedText));
        p.drawText(r.adjusted(l.fontPixels, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
                   QString::fromUtf8(now.pitch));
    }
    QFont normal = p.font();
    normal.setPixelSize(l.fontPixels);
    normal.setBold(false);
    p.setFont(normal);
    if (now.reading[0] != '\0') {
        p.setPen(QColor(kAxisText));
        p.drawText(r.adjusted(0, 0, -l.fontPixels, 0), Qt::AlignVCenter | Qt::AlignRight,
                   QString::fromUtf8(now.reading));
    }
    p.setClipping(false);
}

void DrawPeakMarks(QPainter& p, const FullLayout& l) {
    if (FullHost.readingSnapped) {
        // A ring round the peak the reading snapped to.
        p.setClipRect(l.plot);
        p.setPen(QColor(kPeakText));
        p.setBrush(Qt::NoBrush);
        const qreal radius = l.fontPixels / 3.0;
        p.drawEllipse(QPointF(BandPixel(l, FullHost.readingHz), DbRow(l, FullHost.readingDb)),
                      radius, radius);
        p.setClipping(false);
    }
    FullPeak peak{};
    if (!StrongestShownPeak(&peak)) return;
    const float hz = peak.bin * FullSpectrum.binHz;
    const qreal size = l.fontPixels / 2.0;
    const qreal along = BandPixel(l, hz);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(kPeakText));
    if (FullHost.spectrogram) {
        // The newest frame's peak, at the plot's right edge where that frame is drawn.
        const qreal tip = l.plot.right() - 1;
        const QPolygonF marker({QPointF(tip, along), QPointF(tip + size, along - size / 1.5),
                                QPointF(tip + size, along + size / 1.5)});
        p.drawPolygon(marker.translated(-size, 0));
        p.setBrush(Qt::NoBrush);
        // Above the peak's row, so that the tone's newest history stays in sight.
        DrawTag(p, l, QPoint(int(tip - size), int(along) - l.fontPixels), true,
                PeakText(hz, peak.levelDb));
        return;
    }
    const qreal top = DbRow(l, peak.levelDb) - 2.0;
    const QPolygonF marker({QPointF(along, top), QPointF(along - size / 1.5, top - size),
                            QPointF(along + size / 1.5, top - size)});
    p.setClipRect(l.plot);
    p.drawPolygon(marker);
    p.setBrush(Qt::NoBrush);
    DrawTag(p, l, QPoint(int(along + size), int(top - size)), false, PeakText(hz, peak.levelDb));
    p.setClipping(false);
}

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
            p.drawLine(l.plot.left() - l.tick, at, l.plot.left() - 1, at);
            p.drawText(
                QRect(0, at - metrics.height(), l.plot.left() - l.tick - 3, 2 * metrics.height()),
                Qt::AlignRight | Qt::AlignVCenter, label);
        } else {
            p.setPen(QColor(kGrid));
            p.drawLine(at, l.plot.top(), at, l.plot.bottom());
            if (!labels) continue;
            p.setPen(QColor(kAxisText));
            p.drawLine(at, l.plot.bottom() + 1, at, l.plot.bottom() + l.tick);
            const int w = metrics.horizontalAdvance(label);
            p.drawText(QPoint(std::clamp(at - w / 2, 0, l.plot.right() + 1 - w),
                              l.plot.bottom() + l.tick + 1 + metrics.ascent()),
                       label);
        }
    }
}

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
