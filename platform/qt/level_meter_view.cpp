// SPDX-License-Identifier: GPL-3.0-or-later
// The level meter's drawing, and its widget in the window's bar.
#include "platform/qt/level_meter_view.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QToolBar>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "analysis/level_meter.h"
#include "platform/qt/main_window.h"
#include "platform/qt/x11_picture.h"

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
    bool figuresShown;  // the area has room for figures
    bool compact;       // and for the compact ones only
    char text[kFiguresCapacity];
    bool clipped;
    int rms;        // where the RMS ends on the bar
    int peak;       // where the peak span ends
    bool peakLine;  // the peak is above the bar's left end: its line is drawn
};

// The parts placed in `area`, showing no reading yet.
MeterLook PlaceLevelMeter(const QFont& font, const QRect& area, int fontPixels, bool compact);
void ShowFiguresOfReading(MeterLook* look, const LevelReading& reading);
void ShowBarOfReading(MeterLook* look, const LevelReading& reading);
// Draws the parts of `look` that meet `only`; every part when it is null.
void PaintLevelMeter(QPainter& p, const QFont& font, const MeterLook& look, const QRegion* only);

// The widget at the end of the bar: it asks for no room, and draws itself only when the bar
// left it enough, so that it never widens the window nor hides a button. A new reading draws
// again only the parts it changes, and nothing when it changes none; a block that completes
// no span of samples changes nothing but the clip sign, and costs nothing when that stays.
class BarMeter : public QWidget {
  public:
    explicit BarMeter(QWidget* parent) : QWidget(parent) {
        // Of the room the buttons leave, the meter takes its width before the reading beside it.
        QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        policy.setHorizontalStretch(255);
        setSizePolicy(policy);
        PlaceForFont();
        // A repaint through Qt's backing store costs more than drawing the meter, and waits
        // for the X server on every other one.
        drawsItself = DrawPastBackingStore(this);
    }
    ~BarMeter() override { CloseX11WindowPuts(gc); }
    QSize sizeHint() const override { return {0, 0}; }
    QSize minimumSizeHint() const override { return {0, 0}; }
    QPaintEngine* paintEngine() const override {
        return drawsItself ? nullptr : QWidget::paintEngine();
    }

    void Show(bool handheldShown) {
        if (handheldShown != shown) {
            shown = handheldShown;
            TakeReading(true);
            update();
            return;
        }
        if (!shown) return;
        if (LevelMeterSpansTaken() == barSpan && LevelMeterClipping() == look.clipped) return;
        TakeReading(false);
        // Too narrow, it draws nothing: a resize that makes room draws it whole.
        if (width() < needed) return;
        if (!drawn.figures || !drawn.clip || !drawn.bar) {
            Redraw(rect());
            return;
        }
        const MeterLook& now = look;
        const MeterLook& was = drawn.look;
        if (now.figures != was.figures || now.clip != was.clip || now.bar != was.bar) {
            Redraw(rect());
            return;
        }
        QRegion changed;
        if (std::strcmp(now.text, was.text) != 0) changed += now.figures;
        if (now.clipped != was.clipped) changed += now.clip;
        if (now.rms != was.rms || now.peak != was.peak || now.peakLine != was.peakLine)
            changed += now.bar;
        if (!changed.isEmpty()) Redraw(changed);
    }

  protected:
    void paintEvent(QPaintEvent* event) override {
        if (!drawsItself) {
            QPainter p(this);
            PaintParts(p, event->region());
        } else if (ReadyToDrawItself()) {
            DrawItself(event->region());
        }
    }
    bool event(QEvent* event) override {
        // A new X window (Qt made the meter's again) needs a graphics context of its own.
        if (event->type() == QEvent::WinIdChange && gc != 0) {
            CloseX11WindowPuts(gc);
            gc = 0;
        }
        return QWidget::event(event);
    }
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::FontChange) PlaceForFont();
        QWidget::changeEvent(event);
    }

  private:
    // Figures that change twenty times a second cannot be read, and shaping them is most of
    // what the meter costs: they take a new reading every third span of samples.
    static constexpr long long kFiguresSpans = 3;

    // Drawn past Qt's backing store: set when made on a capable X server, cleared if the
    // window's setup fails. `canvas` holds the widget's device pixels as last drawn.
    bool drawsItself = false;
    uint32_t gc = 0;
    QImage canvas;

    // `region` (widget pixels) drawn again: at once when the meter draws itself and can be
    // seen, else by Qt when it paints (a minimised window is exposed whole when restored).
    void Redraw(const QRegion& region) {
        const QWindow* shownIn = window()->windowHandle();
        if (drawsItself && isVisible() && shownIn != nullptr && shownIn->isExposed() &&
            ReadyToDrawItself()) {
            DrawItself(region);
            return;
        }
        update(region);
    }
    bool ReadyToDrawItself() {
        if (!drawsItself) return false;
        if (gc != 0) return true;
        gc = OpenX11WindowPuts(static_cast<uint32_t>(winId()));
        if (gc != 0) return true;
        drawsItself = false;
        PaintThroughBackingStore(this);
        return false;
    }
    // The bar's background under `region`, the parts that meet it over that, then the rows it
    // spans put onto the meter's window.
    void DrawItself(const QRegion& region) {
        const qreal ratio = devicePixelRatioF();
        const QSize pixels = (QSizeF(size()) * ratio).toSize();
        if (pixels.isEmpty()) return;
        if (canvas.size() != pixels) {
            canvas = QImage(pixels, QImage::Format_RGB32);
            canvas.setDevicePixelRatio(ratio);
        }
        const QRegion area = region.intersected(rect());
        {
            QPainter p(&canvas);
            p.setClipRegion(area);
            p.fillRect(rect(), QColor(kBarBackground));
            PaintParts(p, area);
        }
        const QRect bounds = area.boundingRect();
        const int top = std::max(static_cast<int>(std::floor(bounds.top() * ratio)), 0);
        const int bottom =
            std::min(static_cast<int>(std::ceil((bounds.bottom() + 1) * ratio)), canvas.height());
        if (top >= bottom) return;
        PutX11WindowRows(static_cast<uint32_t>(winId()), gc, canvas.width(), top, bottom - top,
                         reinterpret_cast<const uint32_t*>(canvas.constScanLine(top)));
    }

    // Paints the parts that meet `region` and notes which were drawn whole.
    void PaintParts(QPainter& p, const QRegion& region) {
        Place();
        if (!shown || width() < needed) {
            drawn = {};
            return;
        }
        PaintLevelMeter(p, meterFont, look, &region);
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

    bool shown = false;  // the handheld picture is shown: the meter is drawn
    // The readings the parts show: the bar's is at most a span old (a span is the meter's own
    // window, so a bar that moved faster would show little more), the figures' at most
    // kFiguresSpans, the clip sign's the newest. Paced by the samples, so that no timer runs.
    LevelReading barReading{};
    LevelReading figuresReading{};
    long long barSpan = -1;
    long long figuresSpan = -kFiguresSpans;

    // What the parts show now, placed for the widget's size and font, which are measured only
    // when either changes: shaping text is most of what the meter costs.
    MeterLook look{};
    QSize placedFor;  // the size the parts are placed for; invalid after a change of font
    QFont meterFont;
    int needed = 0;  // the width below which the meter draws nothing

    // A new font changes the width the meter needs, which is also the most it takes.
    void PlaceForFont() {
        placedFor = QSize();
        Place();
        setMaximumWidth(needed);
    }
    void Place() {
        if (placedFor == size()) return;
        placedFor = size();
        const int fontPixels = font().pixelSize() > 0 ? font().pixelSize() : 12;
        meterFont = font();
        meterFont.setPixelSize(fontPixels);
        meterFont.setBold(false);
        needed = LevelMeterWidth(fontPixels, true) + fontPixels / 2;
        const int margin = fontPixels / 2;
        const bool clipped = look.clipped;
        look = PlaceLevelMeter(meterFont, rect().adjusted(0, margin, -margin, -margin), fontPixels,
                               true);
        ShowBarOfReading(&look, barReading);
        ShowFiguresOfReading(&look, figuresReading);
        look.clipped = clipped;
    }
    // `all`: every part takes the newest reading, due or not. The meter restarting at a new
    // rate counts as due.
    void TakeReading(bool all) {
        Place();
        const long long spans = LevelMeterSpansTaken();
        const LevelReading reading = ReadLevelMeter();
        if (all || spans != barSpan) {
            barReading = reading;
            barSpan = spans;
            ShowBarOfReading(&look, reading);
        }
        if (all || spans < figuresSpan || spans - figuresSpan >= kFiguresSpans) {
            figuresReading = reading;
            figuresSpan = spans;
            ShowFiguresOfReading(&look, reading);
        }
        look.clipped = reading.clipped;
    }
    // What the widget shows: each part's look, valid where its flag says all of it was drawn.
    struct DrawnRecord {
        MeterLook look{};
        bool figures = false;
        bool clip = false;
        bool bar = false;
    } drawn;
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

MeterLook PlaceLevelMeter(const QFont& font, const QRect& area, int fontPixels, bool compact) {
    MeterLook look{};
    const int line = MeterTextSizes(font).line;
    const int clipWidth = MeterTextSizes(font).clip + fontPixels / 2;
    // Narrower than the figures ask for: the compact ones, or none.
    look.compact = compact || area.width() < LevelMeterWidth(fontPixels, compact);
    look.figuresShown = area.width() >= LevelMeterWidth(fontPixels, true) - fontPixels;
    // The figures, then the clip sign at the right end of their line.
    look.clip = QRect(area.right() + 1 - clipWidth, area.top(), clipWidth, line);
    look.figures = QRect(area.left(), area.top(), area.width() - clipWidth, line);
    // The bar below, as tall as the room left allows.
    const int gap = std::max(2, line / 4);
    const int height = std::clamp(area.bottom() + 1 - (area.top() + line + gap), 3, line);
    look.bar = QRect(area.left(), area.top() + line + gap, area.width(), height);
    return look;
}

void ShowFiguresOfReading(MeterLook* look, const LevelReading& reading) {
    if (look->figuresShown)
        FormatLevelReading(reading, look->compact, look->text, sizeof look->text);
}

void ShowBarOfReading(MeterLook* look, const LevelReading& reading) {
    look->rms = BarX(look->bar, reading.rmsDb);
    look->peak = BarX(look->bar, reading.peakDb);
    look->peakLine = reading.peakDb > kBarLowDb;
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
    MeterLook look = PlaceLevelMeter(font, area, fontPixels, compact);
    const LevelReading reading = ReadLevelMeter();
    ShowFiguresOfReading(&look, reading);
    ShowBarOfReading(&look, reading);
    look.clipped = reading.clipped;
    PaintLevelMeter(p, font, look, nullptr);
}

void AttachBarLevelMeter() {
    AddWindowHooks({nullptr, nullptr, AppendBarMeter});
}

void ShowBarLevelMeter(bool handheldShown) {
    BarMeter* meter = BarMeters.meter;
    if (meter == nullptr) return;
    meter->Show(handheldShown);
}
