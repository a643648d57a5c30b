// SPDX-License-Identifier: GPL-3.0-or-later
// The level meter at the end of the window's bar on Qt's offscreen platform: a reading draws
// again only the parts of the meter it changes, at the pace of the samples, and what the
// window then shows is the bar drawn whole.
#include <QApplication>
#include <QFont>
#include <QImage>
#include <QPaintEvent>
#include <QScreen>
#include <QTest>
#include <QToolBar>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "analysis/level_meter.h"
#include "platform/qt/level_meter_view.h"
#include "platform/qt/qt_host.h"
#include "resources/resources.h"
#include "shell/host.h"

namespace {

intptr_t PlainProc(void* window, unsigned message, uintptr_t wParam, intptr_t lParam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefaultWindowProc(window, message, wParam, lParam);
}

// Records the regions a widget is asked to paint.
class PaintRecorder : public QObject {
  public:
    std::vector<QRegion> regions;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            regions.push_back(static_cast<QPaintEvent*>(event)->region());
        return false;
    }
};

// 100 ms at 22050 Hz, the meter's whole window: every sample at `level`, one at `peak`.
void Feed(int16_t level, int16_t peak) {
    std::vector<int16_t> block(2205, level);
    block[1000] = peak;
    FeedLevelMeter(block.data(), int(block.size()));
    ShowBarLevelMeter(true);
}

class LevelMeterBarTest : public testing::Test {
  protected:
    void SetUp() override {
        AttachBarLevelMeter();
        window = CreateMainWindow("Tavo", "Quillo-SA", PlainProc);
        ASSERT_NE(window, nullptr);
        void* made = CreateMenuBar(window, kMenuBarResource);
        ASSERT_NE(made, nullptr);
        ASSERT_TRUE(AddMenuBarBitmap(made, kBitmapSpectrumNoiseOff, kSpectrumImageCount));
        ASSERT_TRUE(AddMenuBarButtons(made, SpectrumButtons, kSpectrumButtonCount));
        bar = MainWindowWidget()->findChild<QToolBar*>();
        ASSERT_NE(bar, nullptr);
        for (QWidget* child : bar->findChildren<QWidget*>()) {
            if (child->toolTip().startsWith("Input level")) meter = child;
        }
        ASSERT_NE(meter, nullptr);
        MainWindowWidget()->resize(240 * 3, 268 * 3 + bar->sizeHint().height());
        MainWindowWidget()->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(MainWindowWidget()));
        ConfigureLevelMeter(22050);
    }
    void TearDown() override {
        if (MainWindowWidget() != nullptr) {
            DefaultWindowProc(MainWindowWidget(), WM_CLOSE, 0, 0);
            RunMessageLoop(nullptr, 0);  // takes the pending quit at once
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // What the window shows of the bar (on the offscreen platform, its backing store).
    QImage ShownBar() const {
        const QImage shown =
            MainWindowWidget()->screen()->grabWindow(MainWindowWidget()->winId()).toImage();
        return shown.copy(QRect(bar->mapTo(MainWindowWidget(), QPoint()), bar->size()))
            .convertToFormat(QImage::Format_RGB32);
    }
    QImage WholeBar() const { return bar->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    void* window = nullptr;
    QToolBar* bar = nullptr;
    QWidget* meter = nullptr;
};

TEST_F(LevelMeterBarTest, AReadingDrawsOnlyThePartsItChangesAndTheBarShowsTheMeterWhole) {
    ASSERT_GT(meter->width(), 100) << "the bar left the meter no room";
    Feed(3000, 6000);
    QCoreApplication::processEvents();
    EXPECT_EQ(ShownBar(), WholeBar());
    PaintRecorder recorder;
    meter->installEventFilter(&recorder);
    // The clip sign ends the figures' line, half the 12-pixel font inside the meter's edges.
    const QPoint clipSign(meter->width() - 8, 8);

    Feed(3000, 6000);  // the same reading: nothing to draw
    QCoreApplication::processEvents();
    EXPECT_TRUE(recorder.regions.empty());

    // What one new reading of a window of samples repaints: one region, after which the bar
    // shows the meter as drawn whole.
    const auto repaintedBy = [&](int16_t level, int16_t peak) {
        recorder.regions.clear();
        Feed(level, peak);
        QCoreApplication::processEvents();
        EXPECT_EQ(recorder.regions.size(), 1u);
        // Taken first: drawing the bar whole paints the meter again.
        const QRegion repainted = recorder.regions.size() == 1 ? recorder.regions[0] : QRegion();
        EXPECT_EQ(ShownBar(), WholeBar());
        return repainted;
    };

    // Louder: the bar at once, the figures when their third span since they last changed
    // ends; a block that ends no span draws nothing.
    const QPoint figures(4, 8);
    const QRegion louder = repaintedBy(9000, 20000);
    EXPECT_FALSE(louder.contains(clipSign));
    EXPECT_FALSE(louder.contains(figures));
    recorder.regions.clear();
    const std::vector<int16_t> half(1100, 30000);
    FeedLevelMeter(half.data(), int(half.size()));
    ShowBarLevelMeter(true);
    QCoreApplication::processEvents();
    EXPECT_TRUE(recorder.regions.empty());
    const QRegion thirdSpan = repaintedBy(9000, 20000);
    EXPECT_TRUE(thirdSpan.contains(figures));
    EXPECT_FALSE(thirdSpan.contains(clipSign));

    // A clipping sample raises the sign.
    EXPECT_TRUE(repaintedBy(9000, 32767).contains(clipSign));

    // Parts drawn again for another reason count as drawn; hidden, the meter is blank.
    meter->repaint(QRect(0, 0, meter->width() / 3, meter->height() / 2));
    Feed(3000, 6000);
    QCoreApplication::processEvents();
    EXPECT_EQ(ShownBar(), WholeBar());
    const QImage shown = ShownBar();
    ShowBarLevelMeter(false);
    QCoreApplication::processEvents();
    EXPECT_NE(ShownBar(), shown);
    EXPECT_EQ(ShownBar(), WholeBar());
    meter->removeEventFilter(&recorder);
}

TEST_F(LevelMeterBarTest, TheClipSignFollowsEveryBlockAndAChangeOfFontPlacesThePartsAnew) {
    Feed(3000, 6000);
    QCoreApplication::processEvents();
    const int narrower = meter->width();
    PaintRecorder recorder;
    meter->installEventFilter(&recorder);
    const auto feedFew = [](int16_t peak) {  // a block that ends no span
        std::vector<int16_t> block(100, 3000);
        block[50] = peak;
        FeedLevelMeter(block.data(), int(block.size()));
        ShowBarLevelMeter(true);
        QCoreApplication::processEvents();
    };
    // A clipping sample raises the sign with its block, and draws nothing else.
    feedFew(-32768);
    ASSERT_EQ(recorder.regions.size(), 1u);
    EXPECT_TRUE(recorder.regions[0].contains(QPoint(meter->width() - 8, 8)));
    EXPECT_FALSE(recorder.regions[0].contains(QPoint(4, 8)));
    EXPECT_FALSE(recorder.regions[0].contains(QPoint(meter->width() / 2, meter->height() - 8)));
    recorder.regions.clear();
    feedFew(3000);
    EXPECT_TRUE(recorder.regions.empty());

    // A larger font: the meter takes the room it needs, and the sign going draws the sign where
    // the new font puts it, below where the old one did.
    QFont font = meter->font();
    font.setPixelSize(20);
    meter->setFont(font);
    MainWindowWidget()->resize(240 * 5, MainWindowWidget()->height());  // room for it
    QCoreApplication::processEvents();
    ASSERT_GT(meter->width(), narrower);
    recorder.regions.clear();
    const std::vector<int16_t> quiet(2 * 22050, 3000);
    FeedLevelMeter(quiet.data(), int(quiet.size()));
    ShowBarLevelMeter(true);
    QCoreApplication::processEvents();
    ASSERT_EQ(recorder.regions.size(), 1u);
    EXPECT_TRUE(recorder.regions[0].contains(QPoint(meter->width() - 12, 28)));
    EXPECT_EQ(ShownBar(), WholeBar());
    meter->removeEventFilter(&recorder);
}

}  // namespace
