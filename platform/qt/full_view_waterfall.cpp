// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's spectrogram ring, time axis and legend.
#include "platform/qt/full_view_waterfall.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

#include "fullview/full_analysis.h"
#include "fullview/full_colours.h"
#include "fullview/full_options.h"
#include "platform/qt/full_view_drawing.h"

namespace {

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

}  // namespace

int AdvanceSpectrogramRing(const FullLayout& l) {
    if (FullSpectrum.binCount == 0) return 0;
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
        return kRingRedrawn;
    }
    const int added = int(columns - FullHost.columnsDrawn);
    for (long long c = FullHost.columnsDrawn; c < columns; c++) {
        DrawRingColumn(c, FullHost.ringNext);
        FullHost.ringNext = (FullHost.ringNext + 1) % width;
    }
    FullHost.columnsDrawn = columns;
    return added;
}

namespace {

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
        p.drawLine(x, l.plot.bottom() + 1, x, l.plot.bottom() + l.tick);
        const QString label = s == 0 ? QStringLiteral("0 s") : QStringLiteral("-%1 s").arg(s);
        const int w = metrics.horizontalAdvance(label);
        p.drawText(QPoint(std::clamp(x - w / 2, l.plot.left(), l.plot.right() + 1 - w),
                          l.plot.bottom() + l.tick + 1 + metrics.ascent()),
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

}  // namespace

void DrawSpectrogram(QPainter& p, const FullLayout& l, const QRegion& dirty, bool labels) {
    const QRect part = (dirty & l.plot).boundingRect();
    // Columns are added to the ring only with the whole plot drawn: a part drawn alone
    // joins the rest as the window shows it.
    if (!FullHost.frozen && part == l.plot) AdvanceSpectrogramRing(l);
    const QImage& ring = FullHost.ring;
    if (ring.isNull() || ring.size() != l.plot.size()) {
        p.fillRect(part, kBackground);
    } else if (!part.isEmpty()) {
        // The ring's columns from ringNext on are the plot's left part, the rest its right.
        const int next = FullHost.ringNext;
        const int width = ring.width();
        const QRect wanted = part.translated(-l.plot.topLeft());
        p.setClipRect(part);  // as the strip's
        const QRect older = wanted & QRect(0, 0, width - next, ring.height());
        const QRect newer = wanted & QRect(width - next, 0, next, ring.height());
        if (!older.isEmpty())
            p.drawImage(l.plot.topLeft() + older.topLeft(), ring, older.translated(next, 0));
        if (!newer.isEmpty())
            p.drawImage(l.plot.topLeft() + newer.topLeft(), ring,
                        newer.translated(next - width, 0));
        p.setClipping(false);
    }
    if (!labels) return;
    DrawFrequencyTicks(p, l, true);
    DrawTimeAxis(p, l);
    DrawLegend(p, l);
}
