// SPDX-License-Identifier: GPL-3.0-or-later
// The level meter's drawing, and its widget in the window's bar.
#include "platform/qt/level_meter_view.h"

#include <QFont>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QToolBar>
#include <QWidget>
#include <algorithm>
#include <cstring>

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

// The sizes of the meter's texts in one font. Shaping text is most of what drawing the meter
// costs, and the bar draws it anew with every block, so each font is measured once.
struct MeterTextSizesRecord {
    QFont font;
    int figures = 0;  // the widest figures, with words and compact
    int compactFigures = 0;
    int clip = 0;  // the clip sign
    int line = 0;  // the height of a line
};
constexpr int kKeptMeterFonts = 4;  // the bar's, the full view's and room for a change of size
struct MeterFontsRecord {
    MeterTextSizesRecord kept[kKeptMeterFonts];
    int count = 0;
    int next = 0;  // the one replaced when all are taken
};
MeterFontsRecord MeterFonts;

// The sizes in `font`, measured at its first use; valid until the next call.
const MeterTextSizesRecord& MeterTextSizes(const QFont& font) {
    for (int i = 0; i < MeterFonts.count; i++) {
        if (MeterFonts.kept[i].font == font) return MeterFonts.kept[i];
    }
    int slot = MeterFonts.count;
    if (MeterFonts.count < kKeptMeterFonts) {
        MeterFonts.count++;
    } else {
        slot = MeterFonts.next;
        MeterFonts.next = (MeterFonts.next + 1) % kKeptMeterFonts;
    }
    const QFontMetrics metrics(font);
    char widest[kFiguresCapacity];
    MeterTextSizesRecord& sizes = MeterFonts.kept[slot];
    sizes.font = font;
    FormatLevelReading({kLevelMeterFloorDb, kLevelMeterFloorDb, false}, false, widest,
                       sizeof widest);
    sizes.figures = metrics.horizontalAdvance(QString::fromUtf8(widest));
    FormatLevelReading({kLevelMeterFloorDb, kLevelMeterFloorDb, false}, true, widest,
                       sizeof widest);
    sizes.compactFigures = metrics.horizontalAdvance(QString::fromUtf8(widest));
    sizes.clip = metrics.horizontalAdvance(ClipText());
    sizes.line = metrics.height();
    return sizes;
}

int BarX(const QRect& bar, float db) {
    const float share = std::clamp((db - kBarLowDb) / -kBarLowDb, 0.0f, 1.0f);
    return bar.left() + int(share * float(bar.width()));
}

// The meter's parts in an area, and what each shows of a reading. The parts do not overlap.
struct MeterLook {
    QRect figures;  // the figures' line, left of the clip sign
    QRect clip;     // the clip sign
    QRect bar;
    char text[kFiguresCapacity];
    bool clipped;
    int rms;        // where the RMS ends on the bar
    int peak;       // where the peak span ends
    bool peakLine;  // the peak is above the bar's left end: its line is drawn
};

MeterLook LookOfLevelMeter(const QFont& font, const QRect& area, int fontPixels, bool compact,
                           const LevelReading& reading);
// Draws the parts of `look` that meet `only`; every part when it is null.
void PaintLevelMeter(QPainter& p, const QFont& font, const MeterLook& look, const QRegion* only);

// The widget at the end of the bar: it asks for no room, and draws itself only when the bar
// left it enough, so that it never widens the window nor hides a button. A new reading draws
// again only the parts it changes, and nothing when it changes none; a block that completes
// no span of samples changes nothing but the clip sign.
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

    void Show(bool handheldShown) {
        if (handheldShown != shown) {
            shown = handheldShown;
            TakeReading(true);
            update();
            return;
        }
        if (!shown) return;
        TakeReading(false);
        // Too narrow, it draws nothing: a resize that makes room draws it whole.
        if (width() < Needed()) return;
        if (!drawn.figures || !drawn.clip || !drawn.bar) {
            update();
            return;
        }
        const MeterLook now = Look();
        const MeterLook& was = drawn.look;
        if (now.figures != was.figures || now.clip != was.clip || now.bar != was.bar) {
            update();
            return;
        }
        if (std::strcmp(now.text, was.text) != 0) update(now.figures);
        if (now.clipped != was.clipped) update(now.clip);
        if (now.rms != was.rms || now.peak != was.peak || now.peakLine != was.peakLine)
            update(now.bar);
    }

  protected:
    void paintEvent(QPaintEvent* event) override {
        const QRegion& region = event->region();
        if (!shown || width() < Needed()) {
            drawn = {};
            return;
        }
        QPainter p(this);
        const MeterLook look = Look();
        PaintLevelMeter(p, Font(), look, &region);
        // A part counts as drawn when all of it was; one drawn in part is drawn again next time.
        const auto whole = [&](const QRect& part, bool* drawnWhole) {
            if (!region.intersects(part)) return false;
            *drawnWhole = QRegion(part).subtracted(region).isEmpty();
            return *drawnWhole;
        };
        if (whole(look.figures, &drawn.figures))
            std::memcpy(drawn.look.text, look.text, sizeof look.text);
        if (whole(look.clip, &drawn.clip)) drawn.look.clipped = look.clipped;
        if (whole(look.bar, &drawn.bar)) {
            drawn.look.rms = look.rms;
            drawn.look.peak = look.peak;
            drawn.look.peakLine = look.peakLine;
        }
        drawn.look.figures = look.figures;
        drawn.look.clip = look.clip;
        drawn.look.bar = look.bar;
    }

  private:
    // Figures that change twenty times a second cannot be read, and shaping them is most of
    // what the meter costs: they take a new reading every third span of samples.
    static constexpr long long kFiguresSpans = 3;

    bool shown = false;  // the handheld picture is shown: the meter is drawn
    // The readings the parts show: the bar's is at most a span old (a span is the meter's own
    // window, so a bar that moved faster would show little more), the figures' at most
    // kFiguresSpans, the clip sign's the newest. Paced by the samples, so that no timer runs.
    LevelReading barReading{};
    LevelReading figuresReading{};
    bool clipped = false;
    long long barSpan = -1;
    long long figuresSpan = -kFiguresSpans;

    // `all`: every part takes the newest reading, due or not. The meter restarting at a new
    // rate counts as due.
    void TakeReading(bool all) {
        const long long spans = LevelMeterSpansTaken();
        const LevelReading reading = ReadLevelMeter();
        if (all || spans != barSpan) {
            barReading = reading;
            barSpan = spans;
        }
        if (all || spans < figuresSpan || spans - figuresSpan >= kFiguresSpans) {
            figuresReading = reading;
            figuresSpan = spans;
        }
        clipped = reading.clipped;
    }
    // What the widget shows: each part's look, valid where its flag says all of it was drawn.
    struct DrawnRecord {
        MeterLook look{};
        bool figures = false;
        bool clip = false;
        bool bar = false;
    } drawn;

    int FontPixels() const { return font().pixelSize() > 0 ? font().pixelSize() : 12; }
    int Needed() const { return LevelMeterWidth(FontPixels(), true) + FontPixels() / 2; }
    QFont Font() const {
        QFont meterFont = font();
        meterFont.setPixelSize(FontPixels());
        meterFont.setBold(false);
        return meterFont;
    }
    MeterLook Look() const {
        const int margin = FontPixels() / 2;
        const QRect area = rect().adjusted(0, margin, -margin, -margin);
        MeterLook look = LookOfLevelMeter(Font(), area, FontPixels(), true, barReading);
        const MeterLook figures =
            LookOfLevelMeter(Font(), area, FontPixels(), true, figuresReading);
        std::memcpy(look.text, figures.text, sizeof look.text);
        look.clipped = clipped;
        return look;
    }
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
    const MeterTextSizesRecord& sizes = MeterTextSizes(font);
    return (compact ? sizes.compactFigures : sizes.figures) + sizes.clip + 2 * fontPixels;
}

namespace {

MeterLook LookOfLevelMeter(const QFont& font, const QRect& area, int fontPixels, bool compact,
                           const LevelReading& reading) {
    MeterLook look{};
    const int line = MeterTextSizes(font).line;
    const int clipWidth = MeterTextSizes(font).clip + fontPixels / 2;
    // Narrower than the figures ask for: the compact ones, or none.
    if (area.width() < LevelMeterWidth(fontPixels, compact)) compact = true;
    if (area.width() >= LevelMeterWidth(fontPixels, true) - fontPixels)
        FormatLevelReading(reading, compact, look.text, sizeof look.text);
    // The figures, then the clip sign at the right end of their line.
    look.clip = QRect(area.right() + 1 - clipWidth, area.top(), clipWidth, line);
    look.figures = QRect(area.left(), area.top(), area.width() - clipWidth, line);
    look.clipped = reading.clipped;
    // The bar below, as tall as the room left allows.
    const int gap = std::max(2, line / 4);
    const int height = std::clamp(area.bottom() + 1 - (area.top() + line + gap), 3, line);
    look.bar = QRect(area.left(), area.top() + line + gap, area.width(), height);
    look.rms = BarX(look.bar, reading.rmsDb);
    look.peak = BarX(look.bar, reading.peakDb);
    look.peakLine = reading.peakDb > kBarLowDb;
    return look;
}

void PaintLevelMeter(QPainter& p, const QFont& font, const MeterLook& look, const QRegion* only) {
    p.setFont(font);
    if (only == nullptr || only->intersects(look.figures)) {
        p.setPen(QColor(kMeterText));
        p.drawText(look.figures, Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8(look.text));
    }
    if (only == nullptr || only->intersects(look.clip)) {
        p.fillRect(look.clip, QColor(look.clipped ? kClipOn : kClipOff));
        p.setPen(QColor(look.clipped ? 0xFFFFFFFF : 0xFF808080));
        p.drawText(look.clip, Qt::AlignCenter, ClipText());
    }
    if (only != nullptr && !only->intersects(look.bar)) return;
    const QRect& bar = look.bar;
    p.fillRect(bar, QColor(kMeterTrough));
    p.fillRect(QRect(QPoint(look.rms, bar.top()), QPoint(look.peak, bar.bottom())),
               QColor(kMeterPeakSpan));
    p.fillRect(QRect(QPoint(bar.left(), bar.top()), QPoint(look.rms - 1, bar.bottom())),
               QColor(kMeterRms));
    if (look.peakLine) {
        p.fillRect(QRect(std::min(look.peak, bar.right() - 1), bar.top(), 2, bar.height()),
                   QColor(kMeterPeakLine));
    }
    // Marks every 12 dB.
    p.setPen(QColor(kMeterTicks));
    for (float db = kBarLowDb + 12.0f; db < 0.0f; db += 12.0f) {
        const int x = BarX(bar, db);
        p.drawLine(x, bar.top(), x, bar.top() + bar.height() / 3);
    }
}

}  // namespace

void DrawLevelMeter(QPainter& p, const QRect& area, int fontPixels, bool compact) {
    if (area.width() <= 0) return;
    QFont font = p.font();
    font.setPixelSize(fontPixels);
    font.setBold(false);
    PaintLevelMeter(p, font, LookOfLevelMeter(font, area, fontPixels, compact, ReadLevelMeter()),
                    nullptr);
}

void AttachBarLevelMeter() {
    AddWindowHooks({nullptr, nullptr, AppendBarMeter});
}

void ShowBarLevelMeter(bool handheldShown) {
    BarMeter* meter = BarMeters.meter;
    if (meter == nullptr) return;
    meter->Show(handheldShown);
}
