// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's picture on Qt's offscreen platform: where a tone is drawn against the
// axis at several sizes and zooms, the spectrogram's rows and history, the colour legend,
// zoom, pan and reset under scripted wheel, drag, clicks and keys, the tuner gauge, and the
// View Options dialog's reference pitch and gauge switch.
#include <gtest/gtest.h>

#include <unistd.h>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QRect>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <QWidget>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "analysis/level_meter.h"
#include "fullview/full_analysis.h"
#include "fullview/full_axis.h"
#include "fullview/full_colours.h"
#include "fullview/full_options.h"
#include "fullview/full_peaks.h"
#include "fullview/full_tuner.h"
#include "platform/qt/full_view.h"
#include "platform/qt/full_view_dialog.h"
#include "platform/qt/full_view_layout.h"
#include "shell/choices.h"
#include "shell/reference_pitch.h"
#include "tests/fullview/full_view_test_support.h"
#include "views/level_tables.h"
#include "views/note_scale.h"
#include "views/readout.h"

// The choices the dialog stores live beside a settings file that is never written here.
const char* SettingsFilePath() {
    static const std::string path =
        "/tmp/quillo-full-view-qt-test-" + std::to_string(getpid()) + "/setting.txt";
    return path.c_str();
}

namespace {

constexpr QRgb kTickColour = 0xFFC8C8C8;  // axis marks and labels
constexpr QRgb kTraceColour = 0xFFFFD23C;

class FullViewTest : public testing::Test {
  protected:
    void SetUp() override {
        BuildColourMap(256, 0.3f, 0.2f, 0.2f);  // the handheld's, as start-up builds it
        FullViewOptions = DefaultFullViewOptions();
        widget.reset(CreateFullView(nullptr));
        FullViewOptionsChanged();
    }
    void TearDown() override { widget.reset(); }

    // Renders once at the widget's size so that the band fits the plot, then again.
    QImage Render(QSize size) {
        widget->resize(size);
        RenderFullView(size);
        return RenderFullView(size);
    }
    void Send(QEvent* event) { QApplication::sendEvent(widget.get(), event); }
    void Wheel(QPointF at, int notches) {
        QWheelEvent e(at, widget->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        Send(&e);
    }
    void Mouse(QEvent::Type type, QPointF at, Qt::MouseButtons buttons) {
        QMouseEvent e(type, at, widget->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        Send(&e);
    }
    void Key(int key, QEvent::Type type = QEvent::KeyPress) {
        QKeyEvent e(type, key, Qt::NoModifier);
        Send(&e);
    }
    void Move(QPointF at, Qt::KeyboardModifiers modifiers) {
        QMouseEvent e(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                      modifiers);
        Send(&e);
    }
    std::unique_ptr<QWidget> widget;
};

// What the window shows now, read back from the screen.
QImage ShownInWindow(QWidget* widget) {
    return widget->screen()
        ->grabWindow(widget->winId())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// The column of the trace's highest point in the plot: the middle of its highest row, as a
// peak's top is flat to within a pixel over several columns.
int TracePeakColumn(const QImage& image, const QRect& plot) {
    for (int y = plot.top(); y <= plot.bottom(); y++) {
        int first = -1, last = -1;
        for (int x = plot.left(); x <= plot.right(); x++) {
            if (image.pixel(x, y) != kTraceColour) continue;
            if (first < 0) first = x;
            last = x;
        }
        if (first >= 0) return (first + last) / 2;
    }
    return -1;
}

TEST_F(FullViewTest, AOneKilohertzPeakIsDrawnAtTheOneKilohertzMark) {
    SetFullViewSpectrogram(false);
    FeedTones(48000, 8192, {1000.0f}, 0.5f, 0.5);
    for (QSize size : {QSize(800, 500), QSize(1280, 720), QSize(1920, 1080)}) {
        const QRect plot = FullViewPlot(size);
        for (int zoom = 0; zoom < 3; zoom++) {
            FullViewOptions.logAxis = zoom == 0;  // the whole band on a log axis, then linear
            FullViewOptionsChanged();
            Render(size);
            Key(Qt::Key_Home);
            Render(size);
            const float mark = std::floor(FullAxisPosition(FullViewBand(), 1000.0f));
            for (int notch = 0; notch < zoom * 10; notch++)
                Wheel(QPointF(plot.left() + mark, plot.center().y()), 1);
            const QImage image = Render(size);
            const FullAxis band = FullViewBand();
            const int tick = plot.left() + int(std::floor(FullAxisPosition(band, 1000.0f)));
            EXPECT_EQ(image.pixel(tick, plot.bottom() + 3), kTickColour)
                << size.width() << " zoom " << zoom << ": no mark at 1 kHz";
            EXPECT_NEAR(TracePeakColumn(image, plot), tick, 1)
                << size.width() << " zoom " << zoom << " " << band.lowHz << " .. " << band.highHz;
        }
    }
}

TEST_F(FullViewTest, AToneDrawsItsSpectrogramRowWhereTheAxisPutsItAndResizingKeepsIt) {
    FullViewOptions.colours = FullColourMapKind::Grey;
    FullViewOptionsChanged();
    SetFullViewSpectrogram(true);
    FeedTones(48000, 8192, {440.0f}, 0.5f, 3.0);  // 3 of the history's 10 s
    for (QSize size : {QSize(800, 600), QSize(1300, 760)}) {
        const QImage image = Render(size);
        const QRect plot = FullViewPlot(size);
        const int expected =
            plot.bottom() - int(std::floor(FullAxisPosition(FullViewBand(), 440.0f)));
        int brightest = plot.top();
        for (int y = plot.top(); y <= plot.bottom(); y++)
            if (qRed(image.pixel(plot.right(), y)) > qRed(image.pixel(plot.right(), brightest)))
                brightest = y;
        EXPECT_NEAR(brightest, expected, 1) << size.width();
        EXPECT_GT(qRed(image.pixel(plot.right(), brightest)), 200);
        // The tone's 3 s fill the right three tenths of the history's width.
        int toneColumns = 0;
        for (int x = plot.left(); x <= plot.right(); x++)
            toneColumns += qRed(image.pixel(x, brightest)) > 200;
        EXPECT_NEAR(double(toneColumns) / plot.width(), 0.3, 0.03) << size.width();
    }
}

TEST_F(FullViewTest, TheLegendRunsFromTheMapsDarkEndToItsBrightEnd) {
    SetFullViewSpectrogram(true);
    FeedTones(48000, 8192, {440.0f}, 0.5f, 0.2);
    const QSize size(900, 600);
    const QRect plot = FullViewPlot(size);
    for (FullColourMapKind kind :
         {FullColourMapKind::Handheld, FullColourMapKind::Viridis, FullColourMapKind::Grey}) {
        FullViewOptions.colours = kind;
        FullViewOptionsChanged();
        const QImage image = Render(size);
        // The legend is the first column right of the plot that is not black all the way.
        int legend = plot.right() + 1;
        while (legend < size.width() && image.pixel(legend, plot.top()) == 0xFF000000)
            legend++;
        ASSERT_LT(legend, size.width());
        EXPECT_EQ(image.pixel(legend, plot.top()), FullColours[255]) << int(kind);
        EXPECT_EQ(image.pixel(legend, plot.bottom()), FullColours[0]) << int(kind);
    }
}

TEST_F(FullViewTest, WheelDragClicksAndKeysZoomPanAndReset) {
    SetFullViewSpectrogram(false);
    FullViewOptions.logAxis = false;
    FullViewOptionsChanged();
    FeedTones(48000, 8192, {1000.0f}, 0.5f, 0.2);
    const QSize size(1000, 600);
    Render(size);
    const QRect plot = FullViewPlot(size);
    const QPointF pointer(plot.left() + 300.5, plot.center().y());
    const float underPointer = FullAxisFrequency(FullViewBand(), 300.5f);
    Wheel(pointer, 3);
    FullAxis band = FullViewBand();
    EXPECT_NEAR(band.highHz - band.lowHz, 24000.0f / std::pow(1.25f, 3.0f), 1.0f);
    EXPECT_NEAR(FullAxisFrequency(band, 300.5f), underPointer, 1.0f);

    // A drag 100 pixels to the right shows 100 pixels' worth of lower frequencies.
    const float hzPerPixel = (band.highHz - band.lowHz) / float(band.positions);
    Wheel(pointer, 2);  // away from the band's low end, so the pan is not stopped there
    band = FullViewBand();
    Mouse(QEvent::MouseButtonPress, pointer, Qt::LeftButton);
    Mouse(QEvent::MouseMove, pointer + QPointF(100, 7), Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, pointer + QPointF(100, 7), Qt::NoButton);
    const FullAxis panned = FullViewBand();
    EXPECT_NEAR(band.lowHz - panned.lowHz,
                100.0f * (band.highHz - band.lowHz) / float(band.positions), 0.5f);
    EXPECT_LT(hzPerPixel, 24000.0f / float(band.positions));

    Mouse(QEvent::MouseButtonDblClick, pointer, Qt::LeftButton);
    EXPECT_EQ(FullViewBand().lowHz, 0.0f);
    EXPECT_EQ(FullViewBand().highHz, 24000.0f);
    Key(Qt::Key_Plus);
    Key(Qt::Key_Plus);
    EXPECT_NEAR(FullViewBand().highHz - FullViewBand().lowHz, 24000.0f / 1.5625f, 1.0f);
    EXPECT_NEAR(FullAxisFrequency(FullViewBand(), float(band.positions) / 2.0f), 12000.0f, 1.0f);
    Key(Qt::Key_Minus);
    EXPECT_NEAR(FullViewBand().highHz - FullViewBand().lowHz, 24000.0f / 1.25f, 1.0f);
    Key(Qt::Key_Home);
    EXPECT_EQ(FullViewBand().highHz - FullViewBand().lowHz, 24000.0f);
    // A drag on the dB scale moves the scale, keeping its range.
    const float range = FullViewOptions.dbHigh - FullViewOptions.dbLow;
    Mouse(QEvent::MouseButtonPress, QPointF(5, plot.center().y()), Qt::LeftButton);
    Mouse(QEvent::MouseMove, QPointF(5, plot.center().y() - plot.height() / 4), Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, QPointF(5, plot.center().y()), Qt::NoButton);
    EXPECT_NEAR(FullViewOptions.dbHigh - FullViewOptions.dbLow, range, 1e-3f);
    EXPECT_NE(FullViewOptions.dbHigh, DefaultFullViewOptions().dbHigh + 1.0f);
}

// The gauge's reading of `hz` as the program hands it over, locked.
void ShowPitch(float hz, int lockState) {
    ResetFullTuner();
    UpdateFullTuner(hz, lockState, 440.0f);
    SetFullViewPitch(hz, lockState == kPitchLocked, FullTuner);
}

// Pixels of `colour` in `r`, and the mean of their columns (-1 without any).
struct Found {
    int count = 0;
    double meanX = -1.0;
};
Found Find(const QImage& image, const QRect& r, QRgb colour) {
    Found f;
    double sum = 0.0;
    for (int y = r.top(); y <= r.bottom(); y++)
        for (int x = r.left(); x <= r.right(); x++)
            if (image.pixel(x, y) == colour) {
                f.count++;
                sum += x;
            }
    if (f.count > 0) f.meanX = sum / f.count;
    return f;
}

TEST_F(FullViewTest, TheGaugeTakesNoRoomFromThePlotAtAnySize) {
    for (bool spectrogram : {true, false}) {
        SetFullViewSpectrogram(spectrogram);
        for (QSize size : {QSize(320, 240), QSize(800, 500), QSize(1920, 1080)}) {
            FullViewOptions.tuner = false;
            const QRect without = FullViewPlot(size);
            FullViewOptions.tuner = true;
            const FullLayout l = LayOut(size, 1.0);
            EXPECT_EQ(l.plot, without) << size.width();
            EXPECT_FALSE(l.gauge.isEmpty()) << size.width();
            EXPECT_LT(l.gauge.bottom(), l.plot.top()) << size.width();
            EXPECT_EQ(l.gauge.right(), size.width() - 1) << size.width();
            EXPECT_FALSE(l.gauge.intersects(l.strip) || l.gauge.intersects(l.readout));
            EXPECT_GE(l.strip.width(), size.width() / 2) << size.width();
        }
    }
}

TEST_F(FullViewTest, TheGaugesNeedleLeansWithTheCentsIsGreenInTuneAndRestsGreyWithoutAPitch) {
    const QSize size(1280, 720);
    Render(size);
    const QRect gauge = LayOut(size, 1.0).gauge;
    // The dial is the gauge's right part; its middle is the needle's pivot.
    const QRect dial(gauge.left() + gauge.width() / 2, gauge.top(), gauge.width() / 2,
                     gauge.height());
    ShowPitch(float(440.0 * std::pow(2.0, -25.0 / 1200.0)), kPitchLocked);
    Found needle = Find(Render(size), dial, kLockedText);
    EXPECT_GT(needle.count, 20);
    const double flat = needle.meanX;
    ShowPitch(float(440.0 * std::pow(2.0, 25.0 / 1200.0)), kPitchLocked);
    needle = Find(Render(size), dial, kLockedText);
    EXPECT_GT(needle.count, 20);
    EXPECT_GT(needle.meanX - flat, 20.0);  // leans right, as far as it leaned left
    EXPECT_EQ(Find(Render(size), gauge, kInTune).count, 0);

    ShowPitch(441.0f, kPitchLocked);                           // 4 cents sharp: in tune
    EXPECT_GT(Find(Render(size), gauge, kInTune).count, 100);  // the note, zone and needle
    ShowPitch(441.0f, kPitchNotLocked);
    EXPECT_EQ(Find(Render(size), gauge, kInTune).count, 0);

    ShowPitch(0.0f, kPitchLost);
    const QImage rest = Render(size);
    EXPECT_EQ(Find(rest, gauge, kLockedText).count, 0);
    EXPECT_EQ(Find(rest, gauge, kInTune).count, 0);
    const Found grey = Find(rest, dial, kRestingNeedle);
    EXPECT_GT(grey.count, 20);
    EXPECT_LT(grey.meanX, flat);  // at rest at the low end, beyond -25 cents

    // Switched off, the readout shows the pitch and the strip the whole width again.
    FullViewOptions.tuner = false;
    ShowPitch(441.0f, kPitchLocked);
    const QImage off = Render(size);
    EXPECT_EQ(Find(off, gauge, kInTune).count, 0);
    EXPECT_GT(Find(off, LayOut(size, 1.0).readout, kLockedText).count, 50);
}

// Opens View Options; `user` acts on it once it shows.
bool RunDialog(const std::function<void(QDialog*)>& user) {
    QTimer::singleShot(0, [&user] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        user(dialog);
    });
    return RunFullViewOptionsDialog(nullptr);
}

TEST_F(FullViewTest, ViewOptionsSetsAndKeepsTheReferencePitchAndSwitchesTheGauge) {
    ResetChoices();
    ResetReferencePitch();
    ASSERT_TRUE(RunDialog([](QDialog* dialog) {
        auto* reference = dialog->findChild<QDoubleSpinBox*>("referencePitch");
        ASSERT_NE(reference, nullptr);
        EXPECT_EQ(reference->value(), 440.0);
        EXPECT_EQ(reference->minimum(), 400.0);
        EXPECT_EQ(reference->maximum(), 480.0);
        reference->setValue(445.5);
        for (QCheckBox* box : dialog->findChildren<QCheckBox*>())
            if (box->text() == "Tuner gauge") box->setChecked(false);
        dialog->accept();
    }));
    EXPECT_EQ(NoteScale.referenceHz, 445.5f);
    EXPECT_STREQ(GetChoice(kChoiceReferencePitch), "445.5");
    EXPECT_FALSE(FullViewOptions.tuner);

    // Shown again; cancelled, nothing changes.
    EXPECT_FALSE(RunDialog([](QDialog* dialog) {
        auto* reference = dialog->findChild<QDoubleSpinBox*>("referencePitch");
        EXPECT_EQ(reference->value(), 445.5);
        reference->setValue(470.0);
        dialog->reject();
    }));
    EXPECT_EQ(NoteScale.referenceHz, 445.5f);

    // A pitch given on the command line is not kept by a dialog accepted without changing it.
    GiveReferencePitch(432.0f);
    ASSERT_TRUE(RunDialog([](QDialog* dialog) { dialog->accept(); }));
    EXPECT_EQ(NoteScale.referenceHz, 432.0f);
    EXPECT_STREQ(GetChoice(kChoiceReferencePitch), "445.5");
    ResetReferencePitch();
    ResetChoices();
}

TEST_F(FullViewTest, ThePointerReadsTheTracesLevelAndShiftSnapsToThePeakNearIt) {
    SetFullViewSpectrogram(false);
    FullViewOptions.logAxis = false;
    FullViewOptionsChanged();
    FeedTones(48000, 8192, {1000.0f, 3000.0f}, 0.25f, 0.5);
    const QSize size(1000, 600);
    Render(size);
    const QRect plot = FullViewPlot(size);
    const FullAxis band = FullViewBand();
    const float binHz = FullSpectrum.binHz;
    const auto peakNear = [&](float hz) {
        FullPeak peak{};
        EXPECT_TRUE(FindFullPeak(FullSpectrum.levelDb, FullSpectrum.binCount, (hz - 100.0f) / binHz,
                                 (hz + 100.0f) / binHz, FullPeakExponent(), kFullFloorDb, &peak));
        return peak;
    };
    // Six pixels right of the 1 kHz tone: the trace's level at the pointer's frequency.
    const float pointerAt = std::floor(FullAxisPosition(band, 1000.0f)) + 6.0f;
    Move(QPointF(plot.left() + pointerAt, plot.center().y()), Qt::NoModifier);
    Render(size);
    float hz = 0.0f, db = 0.0f;
    ASSERT_TRUE(FullViewPointerReading(&hz, &db));
    EXPECT_EQ(hz, FullAxisFrequency(band, pointerAt + 0.5f));
    EXPECT_EQ(db, FullLevelAtBin(FullSpectrum.levelDb, FullSpectrum.binCount, hz / binHz,
                                 FullPeakExponent()));
    EXPECT_LT(db, -40.0f);
    // Shift pressed with the pointer still: the peak's frequency and level; released: back.
    Key(Qt::Key_Shift);
    Render(size);
    ASSERT_TRUE(FullViewPointerReading(&hz, &db));
    EXPECT_EQ(hz, peakNear(1000.0f).bin * binHz);
    EXPECT_EQ(db, peakNear(1000.0f).levelDb);
    EXPECT_NEAR(hz, 1000.0f, 0.05f * binHz);
    EXPECT_NEAR(db, -12.04f, 0.05f);
    Key(Qt::Key_Shift, QEvent::KeyRelease);
    Render(size);
    ASSERT_TRUE(FullViewPointerReading(&hz, &db));
    EXPECT_LT(db, -40.0f);
    // Moved with Shift held, left of the 3 kHz tone: that tone's peak.
    Move(QPointF(plot.left() + FullAxisPosition(band, 3000.0f) - 5.0f, plot.center().y()),
         Qt::ShiftModifier);
    Render(size);
    ASSERT_TRUE(FullViewPointerReading(&hz, &db));
    EXPECT_EQ(hz, peakNear(3000.0f).bin * binHz);
    // Outside the plot nothing is read.
    Move(QPointF(2, 2), Qt::NoModifier);
    Render(size);
    EXPECT_FALSE(FullViewPointerReading(&hz, &db));
}

TEST_F(FullViewTest, TheStrongestPeakIsMarkedAboveItsTopAndTheMeterSignsClipping) {
    SetFullViewSpectrogram(false);
    FeedTones(48000, 8192, {440.0f, 2000.0f}, 0.25f, 0.5);
    const QSize size(1000, 600);
    const QRect plot = FullViewPlot(size);
    const auto clipShown = [&](const QImage& image) {
        for (int y = 0; y < plot.top(); y++)
            for (int x = 0; x < size.width(); x++)
                if (image.pixel(x, y) == 0xFFE03030) return true;
        return false;
    };
    ConfigureLevelMeter(48000);
    std::vector<int16_t> loud(4800, 32767);
    FeedLevelMeter(loud.data(), int(loud.size()));
    QImage image = Render(size);
    EXPECT_TRUE(clipShown(image));
    // The marker is white, in the column of the higher of the two peaks.
    FullPeak peak{};
    ASSERT_TRUE(FindFullPeak(FullSpectrum.levelDb, FullSpectrum.binCount, 0.0f, 4096.0f,
                             FullPeakExponent(), kFullFloorDb, &peak));
    const int x =
        plot.left() + int(FullAxisPosition(FullViewBand(), peak.bin * FullSpectrum.binHz));
    int white = 0;
    for (int y = plot.top(); y <= plot.bottom(); y++)
        white += image.pixel(x, y) == 0xFFFFFFFF;
    EXPECT_GT(white, 2);
    ConfigureLevelMeter(48000);
    std::vector<int16_t> quiet(4800, 3277);
    FeedLevelMeter(quiet.data(), int(quiet.size()));
    EXPECT_FALSE(clipShown(Render(size)));
}

}  // namespace

// The strip is set pixel by pixel; it shows what the painter's one-pixel lines from each
// column's highest to its lowest sample show, flat (silent) columns and all.
TEST_F(FullViewTest, TheWaveformStripIsWhatThePaintersLinesDraw) {
    FeedTones(48000, 8192, {440.0f, 2500.0f}, 0.45f, 0.2);
    int16_t silence[1024] = {};
    FeedFullAnalysis(silence, 1024);  // the newest fifth of the strip is flat
    for (QSize size : {QSize(640, 480), QSize(1333, 701), QSize(1920, 1080)}) {
        const QImage image = Render(size);
        const QRect strip = LayOut(size, 1.0).strip;
        const int columns = strip.width();
        std::vector<float> low(static_cast<size_t>(columns)), high(static_cast<size_t>(columns));
        FullWaveformColumns(48000 / 20, columns, low.data(), high.data());
        QImage expected(size, QImage::Format_RGB32);
        expected.fill(0xFF000000);
        QPainter p(&expected);
        const float middle = float(strip.center().y());
        const float half = float(strip.height()) / 2.0f - 1.0f;
        p.setPen(QColor(0xFF2A2A2A));
        p.drawLine(strip.left(), int(middle), strip.right(), int(middle));
        p.setPen(QColor(0xFF50E650));
        for (int c = 0; c < columns; c++) {
            const qreal x = strip.left() + c + 0.5;
            p.drawLine(
                QLineF(x, middle - high[size_t(c)] * half, x, middle - low[size_t(c)] * half));
        }
        p.end();
        EXPECT_EQ(image.copy(strip), expected.copy(strip)) << size.width();
    }
}

// A new rate (a file at its own after a switch) ends the band elsewhere: the window shows the
// axis labelled anew, as the whole picture draws it, not the old rate's labels.
TEST_F(FullViewTest, ANewRateRedrawsTheAxisLabelsTheWindowShows) {
    SetFullViewSpectrogram(true);
    FeedTones(48000, 8192, {440.0f}, 0.5f, 1.0);
    const QSize size(900, 600);
    widget->resize(size);
    widget->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(widget.get()));
    FullViewFramesAnalysed();
    QApplication::processEvents();
    FeedTones(22050, 8192, {440.0f}, 0.5f, 1.0);
    FullViewFramesAnalysed();
    QApplication::processEvents();
    const QImage shown = ShownInWindow(widget.get());
    EXPECT_EQ(FullViewBand().nyquistHz, 11025.0f);
    EXPECT_EQ(shown, RenderFullView(size));
}

// Frames shown live scroll the plot and draw only the new columns; what the window then shows
// is the picture drawn whole, a readout and strip of each frame included.
TEST_F(FullViewTest, ScrolledFramesShowWhatAWholePictureDraws) {
    SetFullViewSpectrogram(true);
    FeedTones(48000, 8192, {440.0f}, 0.5f, 2.0);
    const QSize size(900, 600);
    widget->resize(size);
    widget->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(widget.get()));
    std::vector<int16_t> block(1024);
    for (int b = 0; b < 40; b++) {
        // A tone gliding upwards, so that every column differs from its neighbours.
        for (int i = 0; i < 1024; i++) {
            const double t = double(b * 1024 + i) / 48000.0;
            block[size_t(i)] = int16_t(12000.0 * std::sin(2.0 * M_PI * (500.0 + 800.0 * t) * t));
        }
        FeedFullAnalysis(block.data(), 1024);
        UpdateFullTuner(440.0f + float(b), kPitchLocked, 440.0f);
        SetFullViewPitch(440.0f + float(b), true, FullTuner);
        FullViewFramesAnalysed();
        QApplication::processEvents();
    }
    const QImage shown = ShownInWindow(widget.get());
    const QImage whole = RenderFullView(size);
    ASSERT_EQ(shown.size(), size);
    EXPECT_EQ(shown, whole);
}
