// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's picture on Qt's offscreen platform: where a tone is drawn against the
// axis at several sizes and zooms, the spectrogram's rows and history, the colour legend,
// and zoom, pan and reset under scripted wheel, drag, clicks and keys.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QRect>
#include <QScreen>
#include <QTest>
#include <QWheelEvent>
#include <QWidget>
#include <cmath>
#include <memory>
#include <vector>

#include "fullview/full_analysis.h"
#include "fullview/full_axis.h"
#include "fullview/full_colours.h"
#include "fullview/full_options.h"
#include "platform/qt/full_view.h"
#include "platform/qt/full_view_layout.h"
#include "tests/fullview/full_view_test_support.h"
#include "views/level_tables.h"

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
    void Key(int key) {
        QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
        Send(&e);
    }
    std::unique_ptr<QWidget> widget;
};

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
        SetFullViewPitch(440.0f + float(b), true);
        FullViewFramesAnalysed();
        QApplication::processEvents();
    }
    const QImage shown = widget->screen()
                             ->grabWindow(widget->winId())
                             .toImage()
                             .convertToFormat(QImage::Format_RGB32);
    const QImage whole = RenderFullView(size);
    ASSERT_EQ(shown.size(), size);
    EXPECT_EQ(shown, whole);
}
