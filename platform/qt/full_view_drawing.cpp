// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's strip, readout and spectrum, painted in device pixels.
#include "platform/qt/full_view_drawing.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "fullview/full_analysis.h"
#include "fullview/full_options.h"
#include "fullview/full_readout.h"

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

}  // namespace

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
