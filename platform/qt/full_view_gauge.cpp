// SPDX-License-Identifier: GPL-3.0-or-later
// The tuner gauge, painted in device pixels.
#include "platform/qt/full_view_gauge.h"

#include <QFontMetrics>
#include <QPainter>
#include <QtMath>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "views/note_scale.h"

namespace {

// A point at `radius` from `pivot`, `degrees` clockwise from upright.
QPointF Along(QPointF pivot, double radius, double degrees) {
    const double a = qDegreesToRadians(degrees);
    return QPointF(pivot.x() + radius * std::sin(a), pivot.y() - radius * std::cos(a));
}

// The arc of `radius` around `pivot` from `from` to `to` degrees (clockwise from upright).
void Arc(QPainter& p, QPointF pivot, double radius, double from, double to) {
    const QRectF box(pivot.x() - radius, pivot.y() - radius, 2 * radius, 2 * radius);
    // Qt counts from three o'clock, anticlockwise, in sixteenths of a degree.
    p.drawArc(box, int(std::lround((90.0 - to) * 16.0)), int(std::lround((to - from) * 16.0)));
}

// The note's and the needle's colour: green in tune, white locked, grey otherwise.
QColor ReadingColour(const FullTunerRecord& t) {
    if (!t.shown) return QColor(kRestingNeedle);
    if (!t.locked) return QColor(kUnlockedText);
    return QColor(TunerInTune(t) ? kInTune : kLockedText);
}

// The note, large, over the frequency and the deviation.
void DrawTexts(QPainter& p, const QRect& r, int fontPixels, const FullTunerRecord& t) {
    QFont small = p.font();
    small.setPixelSize(fontPixels);
    small.setBold(false);
    const int line = QFontMetrics(small).height();
    QFont big = small;
    big.setBold(true);
    // "C#4" fills about two of its heights across.
    big.setPixelSize(
        std::max(fontPixels, std::min((r.height() - 2 * line) * 9 / 10, r.width() * 10 / 21)));
    const QRect noteBox(r.left(), r.top(), r.width(), r.height() - 2 * line);
    p.setFont(big);
    p.setPen(ReadingColour(t));
    p.drawText(noteBox, Qt::AlignLeft | Qt::AlignVCenter,
               t.shown ? QString::fromUtf8(t.noteText) : QStringLiteral("\u2013"));
    p.setFont(small);
    p.setPen(QColor(t.shown ? kAxisText : kRestingNeedle));
    char frequency[32];
    char cents[32];
    if (t.shown) {
        std::snprintf(frequency, sizeof frequency, "%.1f Hz", double(t.hz));
        const long rounded = std::lround(t.cents);
        std::snprintf(cents, sizeof cents, "%+ld cents", rounded);
    } else {
        std::snprintf(frequency, sizeof frequency, "no pitch");
        cents[0] = '\0';
    }
    p.drawText(QRect(r.left(), noteBox.bottom() + 1, r.width(), line), Qt::AlignLeft,
               QString::fromUtf8(frequency));
    p.drawText(QRect(r.left(), noteBox.bottom() + 1 + line, r.width(), line), Qt::AlignLeft,
               QString::fromUtf8(cents));
}

// The scale from -50 to +50 cents, its in-tune zone and the needle.
void DrawDial(QPainter& p, const QRect& r, int fontPixels, const FullTunerRecord& t) {
    QFont small = p.font();
    small.setPixelSize(fontPixels);
    small.setBold(false);
    p.setFont(small);
    const QFontMetrics metrics(small);
    const double sweep = std::sin(qDegreesToRadians(double(kTunerSweepDegrees)));
    const double labelHalf = metrics.horizontalAdvance(QStringLiteral("+50")) / 2.0;
    // The scale's labels where they leave it room enough; without them in a small window.
    const double labelRoom = metrics.height() * 1.3;
    const double labelled =
        std::min(r.height() - labelRoom, (r.width() / 2.0 - labelHalf * 2.0) / sweep);
    const bool labels = labelled >= 3.0 * fontPixels;
    const double radius =
        labels ? labelled
               : std::max(4.0, std::min(r.height() - 2.0, (r.width() / 2.0 - 2.0) / sweep));
    const QPointF pivot(r.left() + r.width() / 2.0, r.top() + (labels ? labelRoom : 2.0) + radius);

    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QPen zone(QColor(TunerInTune(t) ? kInTune : kInTuneZone), radius * 0.25);
    zone.setCapStyle(Qt::FlatCap);
    p.setPen(zone);
    Arc(p, pivot, radius * 0.86, double(TunerNeedleDegrees(-kTunerInTuneCents)),
        double(TunerNeedleDegrees(kTunerInTuneCents)));
    p.setPen(QPen(QColor(kAxisText), 1.0));
    Arc(p, pivot, radius, -kTunerSweepDegrees, kTunerSweepDegrees);
    for (int cents = -50; cents <= 50; cents += 10) {
        const double degrees = TunerNeedleDegrees(float(cents));
        const double inner = cents % 50 == 0 ? 0.8 : 0.9;
        p.drawLine(Along(pivot, radius * inner, degrees), Along(pivot, radius, degrees));
    }
    // The labels centred a little beyond the scale's ends and its middle.
    const double labelRadius = radius + metrics.height() * 0.7;
    for (int cents : {-50, 0, 50}) {
        if (!labels) break;
        const QString label = cents > 0 ? QStringLiteral("+%1").arg(cents) : QString::number(cents);
        const QPointF at = Along(pivot, labelRadius, TunerNeedleDegrees(float(cents)));
        p.drawText(QRectF(at.x() - labelHalf * 2, at.y() - metrics.height(), labelHalf * 4,
                          2 * metrics.height()),
                   Qt::AlignCenter, label);
    }
    const QColor needle = ReadingColour(t);
    p.setPen(QPen(needle, std::max(2.0, fontPixels / 6.0), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(pivot, Along(pivot, radius * 0.95, TunerShownDegrees(t)));
    p.setPen(Qt::NoPen);
    p.setBrush(needle);
    p.drawEllipse(pivot, fontPixels / 3.0, fontPixels / 3.0);
    p.restore();
    // The reference pitch in the corner right of the pivot, where it fits.
    char reference[kReferencePitchTextSize];
    FormatReferencePitch(NoteScale.referenceHz, reference);
    const QString caption = QStringLiteral("A4 = %1 Hz").arg(QString::fromUtf8(reference));
    if (metrics.horizontalAdvance(caption) < r.width() / 2 - fontPixels) {
        p.setPen(QColor(kUnlockedText));
        p.drawText(r, Qt::AlignRight | Qt::AlignBottom, caption);
    }
}

}  // namespace

void DrawGauge(QPainter& p, const FullLayout& l) {
    const QRect g = l.gauge;
    p.fillRect(g, kBackground);
    p.setPen(QColor(kGrid));
    p.drawLine(g.left(), g.top(), g.left(), g.bottom());  // apart from the strip and readout
    const FullTunerRecord& t = FullHost.tuner;
    const int pad = l.fontPixels / 2;
    const QRect inner = g.adjusted(pad + 1, pad, -pad, -pad);
    // The texts' column as wide as their lines need, the note's letters larger where there is
    // room; the dial takes the rest.
    QFont font = p.font();
    font.setPixelSize(l.fontPixels);
    const QFontMetrics metrics(font);
    const int lines = std::max(metrics.horizontalAdvance(QStringLiteral("0000.0 Hz")),
                               metrics.horizontalAdvance(QStringLiteral("+00 cents")));
    const int textWidth =
        std::clamp(inner.width() * 2 / 5, std::min(lines, inner.width() / 2), inner.width() / 2);
    DrawTexts(p, QRect(inner.left(), inner.top(), textWidth, inner.height()), l.fontPixels, t);
    DrawDial(p,
             QRect(inner.left() + textWidth + pad, inner.top(), inner.width() - textWidth - pad,
                   inner.height()),
             l.fontPixels, t);
}
