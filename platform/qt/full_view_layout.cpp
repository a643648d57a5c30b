// SPDX-License-Identifier: GPL-3.0-or-later
// Where the full view's parts go, and the band fitted to the plot.
#include "platform/qt/full_view_layout.h"

#include <QFont>
#include <QFontMetrics>
#include <QTransform>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "fullview/full_analysis.h"
#include "fullview/full_options.h"
#include "platform/qt/level_meter_view.h"

FullViewHostRecord FullHost;

namespace {

FullLayout ComputeLayout(QSize device, qreal ratio) {
    FullLayout l;
    l.fontPixels = std::max(9, int(std::lround(12.0 * ratio)));
    l.tick = std::max(5, int(std::lround(5.0 * ratio)));
    QFont font;
    font.setPixelSize(l.fontPixels);
    const QFontMetrics metrics(font);
    const int line = metrics.height();
    const int w = device.width();
    const int h = device.height();
    const int stripHeight = std::clamp(h / 8, 3 * line, 8 * line);
    const int readoutHeight = 2 * line + line / 2;
    // The gauge takes the right of the strip and the readout, never the plot's room: three
    // times as wide as it is high, within two fifths of the width (half in a small window).
    const int gaugeHeight = stripHeight + readoutHeight;
    const int gaugeWidth =
        FullViewOptions.tuner
            ? std::min(3 * gaugeHeight, std::max(w * 2 / 5, std::min(w / 2, 14 * line)))
            : 0;
    // The meter between the strip and the gauge, its two lines in the middle of the strip's
    // height.
    // The strip keeps half the width: where the meter has less than it asks for, it shows
    // fewer words (DrawLevelMeter).
    const int meterWidth =
        std::clamp(w - gaugeWidth - w / 2, 0, LevelMeterWidth(l.fontPixels, false) + line);
    l.strip = QRect(0, 0, w - gaugeWidth - meterWidth, stripHeight);
    l.meter = QRect(l.strip.right() + 1 + line / 2, (stripHeight - 2 * line) / 2,
                    std::max(meterWidth - line, 0), 2 * line);
    l.readout = QRect(0, stripHeight, w - gaugeWidth, readoutHeight);
    l.gauge = gaugeWidth > 0 ? QRect(w - gaugeWidth, 0, gaugeWidth, gaugeHeight) : QRect();
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

// The last layout and what it was made for: every paint and frame asks for it, and measuring
// the font each time cost more than drawing the readout.
struct LayoutCacheRecord {
    QSize device;
    qreal ratio = 0.0;
    bool spectrogram = false;
    bool tuner = false;
    FullLayout layout;
};
LayoutCacheRecord LayoutCache;

// The rectangle around the moving parts, in device pixels.
QRect MovingParts(const FullLayout& l) {
    return l.strip | l.meter | l.readout | l.gauge | l.plot;
}

}  // namespace

FullLayout LayOut(QSize device, qreal ratio) {
    LayoutCacheRecord& c = LayoutCache;
    if (c.device != device || c.ratio != ratio || c.spectrogram != FullHost.spectrogram ||
        c.tuner != FullViewOptions.tuner) {
        c.layout = ComputeLayout(device, ratio);
        c.device = device;
        c.ratio = ratio;
        c.spectrogram = FullHost.spectrogram;
        c.tuner = FullViewOptions.tuner;
    }
    return c.layout;
}

int Positions(const FullLayout& l) {
    return FullHost.spectrogram ? l.plot.height() : l.plot.width();
}

float PositionAt(const FullLayout& l, QPointF point) {
    return FullHost.spectrogram ? float(l.plot.bottom() + 1 - point.y())
                                : float(point.x() - l.plot.left());
}

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

QRect LogicalMovingParts(const QWidget* widget) {
    const qreal r = widget->devicePixelRatioF();
    const QSize device(qRound(widget->width() * r), qRound(widget->height() * r));
    return QTransform::fromScale(1.0 / r, 1.0 / r)
        .mapRect(MovingParts(LayOut(device, r)))
        .adjusted(-1, -1, 1, 1);
}

bool WithinMovingParts(const FullLayout& l, const QRegion& device, qreal ratio) {
    // The logical rectangle, grown by a pixel to cover rounding, comes back as device pixels
    // up to ceil(ratio) beyond the moving parts; those pixels are drawn by no part and keep
    // what they show.
    const int margin = int(std::ceil(ratio)) + 1;
    return MovingParts(l)
        .adjusted(-margin, -margin, margin, margin)
        .contains(device.boundingRect());
}
