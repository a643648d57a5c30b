// SPDX-License-Identifier: GPL-3.0-or-later
// The level meter's drawing, and its widget in the window's bar.
#include "platform/qt/level_meter_view.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPointer>
#include <QToolBar>
#include <QWidget>
#include <algorithm>

#include "analysis/level_meter.h"
#include "platform/qt/main_window.h"

namespace {

constexpr float kBarLowDb = -60.0f;  // the bar's left end; 0 dBFS is its right end
constexpr QRgb kMeterText = 0xFFC8C8C8;
constexpr QRgb kMeterTrough = 0xFF202020;
constexpr QRgb kMeterRms = 0xFF50E650;
constexpr QRgb kMeterPeakSpan = 0xFF2C7A2C;
constexpr QRgb kMeterPeakLine = 0xFFF0F0F0;
constexpr QRgb kMeterTicks = 0xFF000000;
constexpr QRgb kClipOn = 0xFFE03030;
constexpr QRgb kClipOff = 0xFF3A3A3A;
constexpr int kFiguresCapacity = 64;  // bytes of the figures

QString ClipText() {
    return QStringLiteral("CLIP");
}

int BarX(const QRect& bar, float db) {
    const float share = std::clamp((db - kBarLowDb) / -kBarLowDb, 0.0f, 1.0f);
    return bar.left() + int(share * float(bar.width()));
}

// The widget at the end of the bar: it asks for no room, and draws itself only when the bar
// left it enough, so that it never widens the window nor hides a button.
class BarMeter : public QWidget {
  public:
    explicit BarMeter(QWidget* parent) : QWidget(parent) {
        // Of the room the buttons leave, the meter takes its width before the reading beside it.
        QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        policy.setHorizontalStretch(255);
        setSizePolicy(policy);
        setMaximumWidth(Needed());
    }
    QSize sizeHint() const override { return {0, 0}; }
    QSize minimumSizeHint() const override { return {0, 0}; }
    bool shown = false;  // the handheld picture is shown: the meter is drawn

  protected:
    void paintEvent(QPaintEvent*) override {
        if (!shown || width() < Needed()) return;
        QPainter p(this);
        const int margin = FontPixels() / 2;
        DrawLevelMeter(p, rect().adjusted(0, margin, -margin, -margin), FontPixels(), true);
    }

  private:
    int FontPixels() const { return font().pixelSize() > 0 ? font().pixelSize() : 12; }
    int Needed() const { return LevelMeterWidth(FontPixels(), true) + FontPixels() / 2; }
};

struct BarMeterRecord {
    QPointer<BarMeter> meter;  // of the newest bar
};
BarMeterRecord BarMeters;

void AppendBarMeter(QToolBar* bar) {
    if (bar == nullptr) return;
    auto* meter = new BarMeter(bar);
    QFont font = meter->font();
    font.setPixelSize(12);
    meter->setFont(font);
    meter->setToolTip(QStringLiteral("Input level: peak / RMS of the last 100 ms"));
    bar->addWidget(meter);
    BarMeters.meter = meter;
}

}  // namespace

int LevelMeterWidth(int fontPixels, bool compact) {
    QFont font;
    font.setPixelSize(fontPixels);
    const QFontMetrics metrics(font);
    char widest[kFiguresCapacity];
    FormatLevelReading({kLevelMeterFloorDb, kLevelMeterFloorDb, false}, compact, widest,
                       sizeof widest);
    return metrics.horizontalAdvance(QString::fromUtf8(widest)) +
           metrics.horizontalAdvance(ClipText()) + 2 * fontPixels;
}

void DrawLevelMeter(QPainter& p, const QRect& area, int fontPixels, bool compact) {
    if (area.width() <= 0) return;
    const LevelReading reading = ReadLevelMeter();
    QFont font = p.font();
    font.setPixelSize(fontPixels);
    font.setBold(false);
    p.setFont(font);
    const QFontMetrics metrics(font);
    const int line = metrics.height();
    // Narrower than the figures ask for: the compact ones, or none.
    if (area.width() < LevelMeterWidth(fontPixels, compact)) compact = true;
    const bool figures = area.width() >= LevelMeterWidth(fontPixels, true) - fontPixels;
    char text[kFiguresCapacity] = {};
    if (figures) FormatLevelReading(reading, compact, text, sizeof text);
    // The figures, then the clip sign at the right end of their line.
    const int clipWidth = metrics.horizontalAdvance(ClipText()) + fontPixels / 2;
    const QRect clip(area.right() + 1 - clipWidth, area.top(), clipWidth, line);
    p.setPen(QColor(kMeterText));
    p.drawText(QRect(area.left(), area.top(), area.width() - clipWidth, line),
               Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8(text));
    p.fillRect(clip, QColor(reading.clipped ? kClipOn : kClipOff));
    p.setPen(QColor(reading.clipped ? 0xFFFFFFFF : 0xFF808080));
    p.drawText(clip, Qt::AlignCenter, ClipText());
    // The bar below, as tall as the room left allows.
    const int gap = std::max(2, line / 4);
    const int height = std::clamp(area.bottom() + 1 - (area.top() + line + gap), 3, line);
    const QRect bar(area.left(), area.top() + line + gap, area.width(), height);
    p.fillRect(bar, QColor(kMeterTrough));
    const int rms = BarX(bar, reading.rmsDb);
    const int peak = BarX(bar, reading.peakDb);
    p.fillRect(QRect(QPoint(rms, bar.top()), QPoint(peak, bar.bottom())), QColor(kMeterPeakSpan));
    p.fillRect(QRect(QPoint(bar.left(), bar.top()), QPoint(rms - 1, bar.bottom())),
               QColor(kMeterRms));
    if (reading.peakDb > kBarLowDb) {
        p.fillRect(QRect(std::min(peak, bar.right() - 1), bar.top(), 2, bar.height()),
                   QColor(kMeterPeakLine));
    }
    // Marks every 12 dB.
    p.setPen(QColor(kMeterTicks));
    for (float db = kBarLowDb + 12.0f; db < 0.0f; db += 12.0f) {
        const int x = BarX(bar, db);
        p.drawLine(x, bar.top(), x, bar.top() + bar.height() / 3);
    }
}

void AttachBarLevelMeter() {
    AddWindowHooks({nullptr, nullptr, AppendBarMeter});
}

void ShowBarLevelMeter(bool handheldShown) {
    BarMeter* meter = BarMeters.meter;
    if (meter == nullptr) return;
    if (!handheldShown && !meter->shown) return;  // stays blank
    meter->shown = handheldShown;
    meter->update();
}
