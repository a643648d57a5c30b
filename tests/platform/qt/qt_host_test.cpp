// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt host on Qt's offscreen platform: messages in order on the main thread, the
// window's end, the menu bar, the picture's pixels, the dialogs and the message box.
#include <QApplication>
#include <QButtonGroup>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "capture/audio_source.h"
#include "platform/qt/main_window.h"
#include "platform/qt/qt_host.h"
#include "raster/display_backend.h"
#include "resources/resources.h"
#include "shell/host.h"

namespace {

struct Delivered {
    unsigned message;
    uintptr_t wParam;
    bool onMainThread;
    intptr_t lParam;
};

// The window procedure under test records every message; what it does beyond the default
// handling is set per test.
struct ProcRecord {
    std::vector<Delivered> log;
    int quitCode = 0;
    std::function<void(void* window)> onCreate;
    std::function<void(unsigned message, uintptr_t wParam)> onMessage;
} Proc;

intptr_t RecordingProc(void* window, unsigned message, uintptr_t wParam, intptr_t lParam) {
    Proc.log.push_back({message, wParam, QThread::currentThread() == qApp->thread(), lParam});
    if (message == WM_CREATE && Proc.onCreate) Proc.onCreate(window);
    if (Proc.onMessage) Proc.onMessage(message, wParam);
    if (message == WM_DESTROY) {
        PostQuitMessage(Proc.quitCode);
        return 0;
    }
    return DefaultWindowProc(window, message, wParam, lParam);
}

std::vector<unsigned> Messages() {
    std::vector<unsigned> messages;
    for (const Delivered& d : Proc.log)
        messages.push_back(d.message);
    return messages;
}

std::vector<uintptr_t> Commands() {
    std::vector<uintptr_t> commands;
    for (const Delivered& d : Proc.log) {
        if (d.message == WM_COMMAND) commands.push_back(d.wParam);
    }
    return commands;
}

// Runs the loop until the window procedure quits, with a watchdog so that a lost message
// fails the test instead of hanging it.
int RunLoopWithWatchdog() {
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        ADD_FAILURE() << "the message loop did not end";
        if (QWidget* active = QApplication::activeModalWidget()) active->close();
        if (MainWindowWidget() != nullptr) DefaultWindowProc(MainWindowWidget(), WM_CLOSE, 0, 0);
    });
    watchdog.start(30000);
    return RunMessageLoop(AcceleratorTable, kAcceleratorCount);
}

class QtHostTest : public testing::Test {
  protected:
    void SetUp() override {
        Proc = ProcRecord();
        SetHeadlessRun(false);
    }
    void TearDown() override {
        if (MainWindowWidget() != nullptr) {
            DefaultWindowProc(MainWindowWidget(), WM_CLOSE, 0, 0);
            RunMessageLoop(nullptr, 0);  // takes the pending quit at once
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        SetHeadlessRun(false);
        Proc = ProcRecord();
    }
    void* Create() {
        void* window = CreateMainWindow("Tavo", "Quillo-SA", RecordingProc);
        EXPECT_NE(window, nullptr);
        return window;
    }
};

// ---- Messages ----

TEST(QtHostThreads, MessagesPostedFromAnotherThreadArriveInOrderOnTheMainThread) {
    Proc = ProcRecord();
    Proc.quitCode = 3;
    ASSERT_NE(CreateMainWindow("Tavo", "Quillo-SA", RecordingProc), nullptr);
    constexpr int kCount = 2000;
    PostMainWindowMessage(WM_PAINT);
    std::thread poster([] {
        for (int i = 0; i < kCount; i++)
            PostMainWindowMessage(kWaveInDataMessage, static_cast<uintptr_t>(i));
        PostMainWindowMessage(WM_CLOSE);
    });
    const int code = RunLoopWithWatchdog();
    poster.join();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    EXPECT_EQ(code, 3);
    ASSERT_EQ(Proc.log.size(), static_cast<size_t>(kCount + 4));
    EXPECT_EQ(Proc.log[0].message, WM_CREATE);
    EXPECT_EQ(Proc.log[1].message, WM_PAINT);
    for (int i = 0; i < kCount; i++) {
        const Delivered& d = Proc.log[2 + i];
        ASSERT_EQ(d.message, kWaveInDataMessage);
        ASSERT_EQ(d.wParam, static_cast<uintptr_t>(i));
    }
    EXPECT_EQ(Proc.log[kCount + 2].message, WM_CLOSE);
    EXPECT_EQ(Proc.log[kCount + 3].message, WM_DESTROY);
    for (const Delivered& d : Proc.log)
        ASSERT_TRUE(d.onMainThread);
    Proc = ProcRecord();
}

TEST_F(QtHostTest, CloseDestroysTheWindowAndTheLoopEndsWithTheQuitCodeDeliveringNothingAfter) {
    Proc.quitCode = 7;
    Proc.onMessage = [](unsigned message, uintptr_t) {
        // Posted after the quit: never delivered, neither now nor to a later window.
        if (message == WM_DESTROY) PostMainWindowMessage(kWaveInDataMessage);
    };
    Create();
    EXPECT_EQ(Messages(), std::vector<unsigned>{WM_CREATE});  // before CreateMainWindow returns
    PostMainWindowMessage(WM_CLOSE);
    EXPECT_EQ(RunLoopWithWatchdog(), 7);
    EXPECT_EQ(Messages(), (std::vector<unsigned>{WM_CREATE, WM_CLOSE, WM_DESTROY}));
    EXPECT_EQ(MainWindowWidget(), nullptr);

    Proc = ProcRecord();
    Create();
    QCoreApplication::processEvents();
    EXPECT_EQ(Messages(), std::vector<unsigned>{WM_CREATE});
}

TEST_F(QtHostTest, TheCloseButtonIsExitAndTheFirstShowPaintsOnce) {
    Proc.onMessage = [](unsigned message, uintptr_t wParam) {
        if (message == WM_PAINT) MainWindowWidget()->close();
        // As the window procedure answers Exit: it saves, then closes.
        if (message == WM_COMMAND && wParam == kCommandExit) PostMainWindowMessage(WM_CLOSE);
    };
    Create();
    ShowMainWindow();
    EXPECT_EQ(RunLoopWithWatchdog(), 0);
    const std::vector<unsigned> messages = Messages();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), WM_PAINT), 1);
    EXPECT_EQ(Commands(), std::vector<uintptr_t>{kCommandExit});
    const auto close = std::find(messages.begin(), messages.end(), WM_CLOSE);
    ASSERT_NE(close, messages.end());
    EXPECT_EQ(*(close - 1), WM_COMMAND);  // the close came from Exit, not the button itself
    EXPECT_EQ(messages.back(), WM_DESTROY);
}

TEST_F(QtHostTest, CtrlQAndCtrlAAreAcceleratorsButNotWithShiftOrAnotherLetter) {
    Proc.onMessage = [](unsigned message, uintptr_t wParam) {
        if (message == WM_COMMAND && wParam == kCommandQuit) PostMainWindowMessage(WM_CLOSE);
    };
    Create();
    ShowMainWindow();
    QTimer::singleShot(0, [] {
        QWidget* picture = MainWindowPicture();
        for (const auto& [key, modifiers] :
             {std::pair{Qt::Key_Q, Qt::ControlModifier | Qt::ShiftModifier},
              std::pair{Qt::Key_B, Qt::KeyboardModifiers(Qt::ControlModifier)},
              std::pair{Qt::Key_A, Qt::KeyboardModifiers(Qt::ControlModifier)},
              std::pair{Qt::Key_Q, Qt::KeyboardModifiers(Qt::ControlModifier)}}) {
            QKeyEvent press(QEvent::KeyPress, key, modifiers);
            QApplication::sendEvent(picture, &press);
        }
    });
    RunLoopWithWatchdog();
    EXPECT_EQ(Commands(), (std::vector<uintptr_t>{kCommandAbout, kCommandQuit}));
}

TEST_F(QtHostTest, OnlyAWindowThatCannotBeSeenIsInactiveAndTheMouseBecomesMessages) {
    auto seen = [] {
        std::vector<std::pair<unsigned, uintptr_t>> seen;
        for (const Delivered& d : Proc.log) {
            if (d.message == WM_ACTIVATE || d.message == WM_KILLFOCUS)
                seen.push_back({d.message, d.wParam});
        }
        Proc.log.clear();
        return seen;
    };
    using Seen = std::vector<std::pair<unsigned, uintptr_t>>;
    Create();
    ShowMainWindow();
    QCoreApplication::processEvents();
    EXPECT_EQ(seen(), (Seen{{WM_ACTIVATE, 1}}));
    // Another window takes the focus: the picture goes on.
    QWidget other;
    other.show();
    other.activateWindow();
    QCoreApplication::processEvents();
    ASSERT_FALSE(MainWindowWidget()->isActiveWindow());
    MainWindowWidget()->activateWindow();
    QCoreApplication::processEvents();
    EXPECT_EQ(seen(), Seen{});
    // Minimised, restored, hidden, shown.
    MainWindowWidget()->showMinimized();
    QCoreApplication::processEvents();
    EXPECT_EQ(seen(), (Seen{{WM_ACTIVATE, 0}}));
    MainWindowWidget()->showNormal();
    QCoreApplication::processEvents();
    EXPECT_EQ(seen(), (Seen{{WM_ACTIVATE, 1}}));
    MainWindowWidget()->hide();
    MainWindowWidget()->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(seen(), (Seen{{WM_ACTIVATE, 0}, {WM_ACTIVATE, 1}}));

    Proc.log.clear();
    QWidget* picture = MainWindowPicture();
    const QPointF centre(picture->width() / 2.0, picture->height() / 2.0);
    const QPointF beyond(picture->width() + 50.0, picture->height() + 50.0);
    QMouseEvent press(QEvent::MouseButtonPress, centre, picture->mapToGlobal(centre),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, beyond, picture->mapToGlobal(beyond),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(picture, &press);
    QApplication::sendEvent(picture, &release);
    EXPECT_EQ(Messages(), (std::vector<unsigned>{WM_LBUTTONDOWN, WM_LBUTTONUP}));
    // The screen point, x in the low and y in the high word: the view's centre, then its
    // bottom-right pixel for a release beyond it.
    ASSERT_EQ(Proc.log.size(), 2u);
    EXPECT_EQ(Proc.log[0].lParam, 120 | (26 + 134) << 16);
    EXPECT_EQ(Proc.log[1].lParam, 239 | (26 + 267) << 16);
}

// ---- Menu bar ----

void BuildSpectrumBar(void* window) {
    void* bar = CreateMenuBar(window, kMenuBarResource);
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(AddMenuBarBitmap(bar, kBitmapSpectrumNoiseOff, kSpectrumImageCount));
    EXPECT_TRUE(AddMenuBarButtons(bar, SpectrumButtons, kSpectrumButtonCount));
}

std::vector<QToolButton*> BarButtons() {
    std::vector<QToolButton*> buttons;
    for (QToolBar* bar : MainWindowWidget()->findChildren<QToolBar*>()) {
        if (!bar->isVisibleTo(MainWindowWidget())) continue;
        for (QToolButton* button : bar->findChildren<QToolButton*>()) {
            if (button->isVisibleTo(bar) && button->objectName() != "qt_toolbar_ext_button") {
                buttons.push_back(button);
            }
        }
    }
    std::sort(buttons.begin(), buttons.end(),
              [](QToolButton* a, QToolButton* b) { return a->x() < b->x(); });
    return buttons;
}

TEST_F(QtHostTest, TheMenuBarHasTheThreeDropDownsAndImageButtonsThatSendTheirIds) {
    Proc.onCreate = BuildSpectrumBar;
    void* window = Create();
    MainWindowWidget()->show();
    std::vector<QToolButton*> buttons = BarButtons();
    ASSERT_EQ(buttons.size(), static_cast<size_t>(kMenuBarMenuCount + kSpectrumButtonCount));
    for (int m = 0; m < kMenuBarMenuCount; m++) {
        const DropDownResource& dropDown = MenuBarMenus[m];
        EXPECT_EQ(buttons[m]->text().toStdString(), dropDown.text);
        ASSERT_NE(buttons[m]->menu(), nullptr);
        const QList<QAction*> actions = buttons[m]->menu()->actions();
        ASSERT_EQ(actions.size(), dropDown.count);
        for (int i = 0; i < dropDown.count; i++) {
            EXPECT_EQ(actions[i]->isSeparator(), dropDown.items[i].command == 0);
            if (dropDown.items[i].command == 0) continue;
            EXPECT_EQ(actions[i]->text().toStdString(), dropDown.items[i].text);
            actions[i]->trigger();
        }
    }
    for (int i = 0; i < kSpectrumButtonCount; i++) {
        QToolButton* button = buttons[kMenuBarMenuCount + i];
        EXPECT_TRUE(button->text().isEmpty() ||
                    button->toolButtonStyle() == Qt::ToolButtonIconOnly);
        EXPECT_FALSE(button->icon().isNull()) << i;
        button->click();
    }
    QCoreApplication::processEvents();
    std::vector<uintptr_t> expected;
    for (const DropDownResource& dropDown : MenuBarMenus) {
        for (int i = 0; i < dropDown.count; i++) {
            if (dropDown.items[i].command != 0) expected.push_back(dropDown.items[i].command);
        }
    }
    for (const MenuBarButton& button : SpectrumButtons)
        expected.push_back(static_cast<uintptr_t>(button.command));
    EXPECT_EQ(Commands(), expected);

    // Images cut from different places of the strip differ.
    const QImage pause = buttons[kMenuBarMenuCount]->icon().pixmap(32, 32).toImage();
    const QImage grid = buttons[kMenuBarMenuCount + 1]->icon().pixmap(32, 32).toImage();
    EXPECT_NE(pause, grid);

    // A rebuilt bar replaces the old one: still one set of buttons.
    Proc.log.clear();
    void* old = MainWindowWidget()->findChild<QToolBar*>();
    DestroyMenuBar(old);
    void* bar = CreateMenuBar(window, kMenuBarResource);
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(AddMenuBarBitmap(bar, kBitmapSpectrogramNoiseOn, kSpectrogramImageCount));
    EXPECT_TRUE(AddMenuBarButtons(bar, SpectrogramButtons, kSpectrogramButtonCount));
    QCoreApplication::processEvents();
    buttons = BarButtons();
    ASSERT_EQ(buttons.size(), static_cast<size_t>(kMenuBarMenuCount + kSpectrogramButtonCount));
    buttons.back()->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(Commands(),
              std::vector<uintptr_t>{static_cast<uintptr_t>(SpectrogramButtons[3].command)});

    EXPECT_EQ(CreateMenuBar(window, kMenuBarResource + 1), nullptr);
    EXPECT_FALSE(AddMenuBarBitmap(bar, 124, 4));
    DestroyMenuBar(nullptr);
}

// ---- Hooks of the window's additions ----

// Two sets of hooks, each adding a Control item and a bar button named after itself, while
// `HooksOn` (the other tests' bars are the plain ones).
bool HooksOn = false;
QMenu* ControlMenuOf(QToolBar* bar) {
    for (QMenu* menu : bar->findChildren<QMenu*>()) {
        for (QAction* action : menu->actions())
            if (action->data().toInt() == kCommandOption) return menu;
    }
    return nullptr;
}
void AddItem(QToolBar* bar, const char* name) {
    if (!HooksOn) return;
    if (QMenu* control = ControlMenuOf(bar)) control->addAction(QString::fromLatin1(name));
}
void AddButton(QToolBar* bar, const char* name) {
    if (HooksOn) bar->addAction(QString::fromLatin1(name));
}
void FirstMenus(QToolBar* bar) {
    AddItem(bar, "First item");
}
void FirstButtons(QToolBar* bar) {
    AddButton(bar, "First button");
}
void SecondMenus(QToolBar* bar) {
    AddItem(bar, "Second item");
}
void SecondButtons(QToolBar* bar) {
    AddButton(bar, "Second button");
}

// The texts of the Control menu's items and the bar's buttons, in order.
std::vector<std::string> AddedTexts() {
    std::vector<std::string> texts;
    for (QToolBar* bar : MainWindowWidget()->findChildren<QToolBar*>()) {
        if (!bar->isVisibleTo(MainWindowWidget())) continue;
        if (QMenu* control = ControlMenuOf(bar)) {
            for (QAction* action : control->actions())
                if (action->text().endsWith(" item")) texts.push_back(action->text().toStdString());
        }
        for (QAction* action : bar->actions())
            if (action->text().endsWith(" button")) texts.push_back(action->text().toStdString());
    }
    return texts;
}

TEST_F(QtHostTest, EveryHookSetAddsItsItemsAndNoneReplacesAnother) {
    // The second set added before the first: each still adds its own, the menus' items in
    // the order added, the buttons in the reverse order; a set added twice counts once.
    ASSERT_TRUE(AddWindowHooks({nullptr, SecondMenus, SecondButtons}));
    ASSERT_TRUE(AddWindowHooks({nullptr, FirstMenus, FirstButtons}));
    ASSERT_TRUE(AddWindowHooks({nullptr, SecondMenus, SecondButtons}));
    HooksOn = true;
    Proc.onCreate = BuildSpectrumBar;
    Create();
    MainWindowWidget()->show();
    HooksOn = false;
    EXPECT_EQ(AddedTexts(), (std::vector<std::string>{"Second item", "First item", "First button",
                                                      "Second button"}));
}

TEST_F(QtHostTest, AMenuItemTakesAndLosesItsCheckMark) {
    Proc.onCreate = BuildSpectrumBar;
    Create();
    auto* bar = MainWindowWidget()->findChild<QToolBar*>();
    ASSERT_NE(bar, nullptr);
    auto accurate = [bar]() -> QAction* {
        for (QMenu* menu : bar->findChildren<QMenu*>()) {
            for (QAction* action : menu->actions()) {
                if (action->data().toInt() == kCommandAccuratePitch) return action;
            }
        }
        return nullptr;
    };
    ASSERT_NE(accurate(), nullptr);
    EXPECT_FALSE(accurate()->isChecked());
    CheckMenuBarItem(bar, kCommandAccuratePitch, true);
    EXPECT_TRUE(accurate()->isCheckable());
    EXPECT_TRUE(accurate()->isChecked());
    CheckMenuBarItem(bar, kCommandAccuratePitch, false);
    EXPECT_FALSE(accurate()->isChecked());
    // A null bar is ignored.
    CheckMenuBarItem(nullptr, kCommandAccuratePitch, true);
    EXPECT_FALSE(accurate()->isChecked());

    // An image button shows its switch pressed in; its image stays.
    MainWindowWidget()->show();
    const std::vector<QToolButton*> buttons = BarButtons();
    QToolButton* grid = buttons[kMenuBarMenuCount + 1];
    const QImage image = grid->icon().pixmap(32, 32).toImage();
    EXPECT_FALSE(grid->isChecked());
    CheckMenuBarItem(bar, kCommandDbGrid, true);
    EXPECT_TRUE(grid->isCheckable());
    EXPECT_TRUE(grid->isChecked());
    EXPECT_EQ(grid->icon().pixmap(32, 32).toImage(), image);
    const QImage pressed = grid->grab().toImage();
    CheckMenuBarItem(bar, kCommandDbGrid, false);
    EXPECT_FALSE(grid->isChecked());
    EXPECT_NE(grid->grab().toImage(), pressed) << "on and off look alike";
    for (QToolButton* other : buttons)
        EXPECT_TRUE(other == grid || !other->isChecked());
}

TEST_F(QtHostTest, AltAndAMenusFirstLetterOrF10OpenTheMenus) {
    Proc.onCreate = BuildSpectrumBar;
    Create();
    ShowMainWindow();
    QCoreApplication::processEvents();
    MainWindowWidget()->activateWindow();
    QCoreApplication::processEvents();
    const std::vector<QToolButton*> buttons = BarButtons();
    const std::pair<std::pair<Qt::Key, Qt::KeyboardModifiers>, int> keys[] = {
        {{Qt::Key_S, Qt::AltModifier}, 0},
        {{Qt::Key_C, Qt::AltModifier}, 1},
        {{Qt::Key_H, Qt::AltModifier}, 2},
        {{Qt::Key_F10, Qt::NoModifier}, 0},
    };
    for (const auto& [key, menu] : keys) {
        SCOPED_TRACE(menu);
        // The menu that shows, closed as soon as it does.
        QMenu* opened = nullptr;
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, [&] {
            for (QToolButton* button : buttons) {
                QMenu* shown = button->menu();
                if (shown == nullptr || !shown->isVisible()) continue;
                opened = shown;
                shown->close();
            }
        });
        look.start(5);
        // A closed menu hands the activation back through posted events; a shortcut goes
        // only to the active window.
        MainWindowWidget()->activateWindow();
        QElapsedTimer activated;
        activated.start();
        while (QApplication::activeWindow() != MainWindowWidget() && activated.elapsed() < 5000)
            QTest::qWait(5);
        // As the window system delivers a key: the shortcuts see it first.
        QTest::keyClick(MainWindowPicture(), key.first, key.second);
        // The menu opens from a posted event: wait for it rather than for a fixed time, which
        // a loaded machine overran.
        QElapsedTimer waited;
        waited.start();
        while (opened == nullptr && waited.elapsed() < 5000)
            QTest::qWait(5);
        look.stop();
        EXPECT_EQ(opened, buttons[menu]->menu());
    }
    EXPECT_TRUE(Commands().empty());
}

void BuildSpectrogramBar(void* window) {
    void* bar = CreateMenuBar(window, kMenuBarResource);
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(AddMenuBarBitmap(bar, kBitmapSpectrogramNoiseOff, kSpectrogramImageCount));
    EXPECT_TRUE(AddMenuBarButtons(bar, SpectrogramButtons, kSpectrogramButtonCount));
}

// The one bar the window shows, or null.
QToolBar* ShownBar() {
    QToolBar* shown = nullptr;
    for (QToolBar* bar : MainWindowWidget()->findChildren<QToolBar*>()) {
        if (!bar->isVisible()) continue;
        EXPECT_EQ(shown, nullptr) << "two bars are shown";
        shown = bar;
    }
    return shown;
}

// The picture fills the window above the bar, the bar spans the window's bottom, and the
// picture shows the view at `scale`; 0 stands for the opening size: exactly the view at a
// whole scale of 2 or more.
void ExpectBarBelowThePicture(int scale) {
    QCoreApplication::processEvents();
    QWidget* window = MainWindowWidget();
    QWidget* picture = MainWindowPicture();
    QToolBar* bar = ShownBar();
    ASSERT_NE(bar, nullptr);
    const QRect pictureRect = picture->geometry();
    const QRect barRect = bar->geometry();
    SCOPED_TRACE(testing::Message()
                 << "window " << window->width() << " x " << window->height() << ", bar at "
                 << barRect.y() << " height " << barRect.height());
    EXPECT_GE(barRect.height(), bar->minimumSizeHint().height());
    EXPECT_EQ(pictureRect.topLeft(), QPoint(0, 0));
    EXPECT_EQ(pictureRect.width(), window->width());
    EXPECT_EQ(barRect.top(), pictureRect.bottom() + 1);
    EXPECT_EQ(barRect.bottom(), window->height() - 1);
    EXPECT_EQ(barRect.left(), 0);
    EXPECT_EQ(barRect.width(), window->width());
    const int shown = PictureScale(pictureRect.width(), pictureRect.height());
    if (scale != 0) {
        EXPECT_EQ(shown, scale);
    } else {
        EXPECT_EQ(pictureRect.size(), QSize(kWindowScreenWidth, kWindowViewHeight) * shown);
    }
    // Every drop-down and image button lies inside the window; none is folded away.
    const std::vector<QToolButton*> buttons = BarButtons();
    EXPECT_EQ(buttons.size(), static_cast<size_t>(bar->actions().size()));
    for (QToolButton* button : buttons) {
        EXPECT_TRUE(
            window->rect().contains(QRect(button->mapTo(window, QPoint(0, 0)), button->size())))
            << button->toolTip().toStdString();
    }
    for (QToolButton* button : bar->findChildren<QToolButton*>()) {
        if (button->objectName() == "qt_toolbar_ext_button") {
            EXPECT_FALSE(button->isVisible());
        }
    }
}

TEST_F(QtHostTest, TheWindowOpensWithThePictureAtAWholeScaleAndTheBarBelowIt) {
    Proc.onCreate = BuildSpectrogramBar;
    void* window = Create();
    // Sized before it is shown, with the bar that WM_CREATE built.
    const int barHeight = MainWindowWidget()->findChild<QToolBar*>()->sizeHint().height();
    EXPECT_GT(barHeight, 0);
    EXPECT_EQ(MainWindowWidget()->sizeHint().height(),
              MainWindowPicture()->sizeHint().height() + barHeight);
    ShowMainWindow();
    ExpectBarBelowThePicture(0);
    // The largest whole scale, at most 3, at which the window and a title bar fit the screen.
    const QRect screen = MainWindowWidget()->screen()->availableGeometry();
    const int opened = PictureScale(MainWindowPicture()->width(), MainWindowPicture()->height());
    EXPECT_LE(MainWindowWidget()->height() + 40, screen.height());
    if (opened < 3) {
        EXPECT_GT(268 * (opened + 1) + barHeight + 20, screen.height()) << "opened too small";
    }

    // The user resizes: the picture takes what the bar leaves and scales by whole steps.
    MainWindowWidget()->resize(240 * 3, 268 * 3 + barHeight);
    ExpectBarBelowThePicture(3);
    MainWindowWidget()->resize(240 * 3 - 1, 268 * 3 + barHeight);
    ExpectBarBelowThePicture(2);
    MainWindowWidget()->resize(240 * 2 + 100, 268 * 2 + barHeight + 267);
    ExpectBarBelowThePicture(2);
    // Smaller than one whole view: the window stops at the view and the whole bar.
    MainWindowWidget()->resize(100, 100);
    ExpectBarBelowThePicture(1);
    EXPECT_EQ(MainWindowPicture()->height(), 268);
    EXPECT_GE(MainWindowPicture()->width(), 240);
    DestroyMenuBar(ShownBar());
    BuildSpectrumBar(window);  // the wider bar widens the window
    ExpectBarBelowThePicture(1);

    // A rebuilt bar (a view switch) takes the old one's place; the picture keeps its size.
    MainWindowWidget()->resize(240 * 3, 268 * 3 + barHeight);
    QCoreApplication::processEvents();
    DestroyMenuBar(ShownBar());
    BuildSpectrumBar(window);
    ExpectBarBelowThePicture(3);
    EXPECT_EQ(MainWindowPicture()->size(), QSize(240 * 3, 268 * 3));
    // A bar is only ever made for the main window.
    EXPECT_EQ(CreateMenuBar(nullptr, kMenuBarResource), nullptr);
}

// ---- Picture ----

uint32_t Widen(uint16_t pixel) {
    const unsigned r = pixel >> 11, g = (pixel >> 5) & 0x3F, b = pixel & 0x1F;
    return 0xFF000000u | ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
}

uint16_t PatternPixel(int column, int row) {
    return static_cast<uint16_t>((column * 7919u + row * 104729u) ^ (row << 5));
}

// Pixels of `shot` that differ from the view at `scale`, centred on black.
int WrongPixels(const QImage& shot, int scale) {
    const int width = shot.width();
    const int height = shot.height();
    const int left = (width - 240 * scale) / 2;
    const int top = (height - 268 * scale) / 2;
    int wrong = 0;
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            const int column = (x - left) >= 0 ? (x - left) / scale : -1;
            const int row = (y - top) >= 0 ? (y - top) / scale : -1;
            const bool inside = column >= 0 && column < 240 && row >= 0 && row < 268;
            const uint32_t expected = inside ? Widen(PatternPixel(column, 26 + row)) : 0xFF000000u;
            if (shot.pixel(x, y) != expected && wrong++ < 5) {
                ADD_FAILURE() << "scale " << scale << " pixel (" << x << ", " << y << ") is "
                              << std::hex << shot.pixel(x, y) << ", not " << expected;
            }
        }
    }
    return wrong;
}

// Every screen pixel of the view must cover exactly scale x scale widget pixels, centred on
// black: painted through a pixmap (the painter copies the picture) and into a plain image at
// an offset (the picture is written into the image directly), which keeps its pixels around.
void ExpectPictureShowsTheView(int width, int height, int scale) {
    QWidget* picture = MainWindowPicture();
    MainWindowWidget()->resize(width, height);  // the picture is all of this window
    MainWindowWidget()->layout()->activate();
    const QImage shot = picture->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(shot.size(), QSize(width, height));
    EXPECT_EQ(WrongPixels(shot, scale), 0);

    constexpr QRgb kAround = 0xFF123456;
    QImage plain(width + 9, height + 6, QImage::Format_RGB32);
    plain.fill(kAround);
    picture->render(&plain, QPoint(7, 5));
    EXPECT_EQ(WrongPixels(plain.copy(7, 5, width, height), scale), 0);
    int around = 0;
    for (int y = 0; y < plain.height(); y++) {
        for (int x = 0; x < plain.width(); x++) {
            const bool inside = x >= 7 && x < 7 + width && y >= 5 && y < 5 + height;
            around += !inside && plain.pixel(x, y) == kAround;
        }
    }
    EXPECT_EQ(around, plain.width() * plain.height() - width * height);
}

TEST_F(QtHostTest, ThePictureShowsTheFrameBufferScaledByTheLargestWholeFactor) {
    void* window = Create();
    ASSERT_TRUE(WindowDisplayBackEnd.open(window));
    const DisplayProperties properties = WindowDisplayBackEnd.properties();
    EXPECT_EQ(properties.cbxPitch, 2);
    EXPECT_EQ(properties.cbyPitch, 480);
    uint16_t* origin = WindowDisplayBackEnd.beginDraw();
    ASSERT_NE(origin, nullptr);
    for (int row = 0; row < 320; row++) {
        for (int column = 0; column < 240; column++)
            origin[row * 240 + column] = PatternPixel(column, row);
    }
    WindowDisplayBackEnd.endDraw();
    ExpectPictureShowsTheView(240 * 3 + 11, 268 * 3 + 5, 3);
    ExpectPictureShowsTheView(240 * 2 + 239, 268 * 3 - 1, 2);
    ExpectPictureShowsTheView(300, 268, 1);
    ExpectPictureShowsTheView(240 * 4 + 1, 268 * 5 - 1, 4);

    // The fixed-address layout (strides -320 and 1) shows the same picture.
    std::fill(std::begin(WindowDisplay.pixels), std::end(WindowDisplay.pixels), 0);
    uint16_t* fixed = WindowDisplayBackEnd.fixedFrameBuffer();
    ASSERT_NE(fixed, nullptr);
    for (int row = 0; row < 320; row++) {
        for (int column = 0; column < 240; column++)
            fixed[row - 320 * column] = PatternPixel(column, row);
    }
    ExpectPictureShowsTheView(240 * 2, 268 * 2, 2);

    // The snapshot is the view area, pixel for pixel.
    QTemporaryDir folder;
    const std::string path = (folder.path() + "/view.png").toStdString();
    char reason[256] = "";
    ASSERT_TRUE(WriteViewSnapshot(path.c_str(), reason, sizeof reason)) << reason;
    const QImage snapshot =
        QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(snapshot.size(), QSize(240, 268));
    for (int y = 0; y < 268; y++) {
        for (int x = 0; x < 240; x++)
            ASSERT_EQ(snapshot.pixel(x, y), Widen(PatternPixel(x, 26 + y))) << x << ", " << y;
    }
    const std::string unwritable = (folder.path() + "/missing/view.png").toStdString();
    EXPECT_FALSE(WriteViewSnapshot(unwritable.c_str(), reason, sizeof reason));
    EXPECT_NE(std::string(reason).find(unwritable), std::string::npos);

    WindowDisplayBackEnd.close();
    EXPECT_EQ(WindowDisplayBackEnd.beginDraw(), nullptr);
    EXPECT_FALSE(WindowDisplayBackEnd.open(nullptr));
}

// Records the regions the picture is asked to paint.
class PaintRecorder : public QObject {
  public:
    std::vector<QRegion> regions;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            regions.push_back(static_cast<QPaintEvent*>(event)->region());
        }
        return false;
    }
};

// Presents a frame of `pixel(column, row)` for every screen pixel.
void Present(const std::function<uint16_t(int column, int row)>& pixel) {
    uint16_t* origin = WindowDisplayBackEnd.beginDraw();
    ASSERT_NE(origin, nullptr);
    for (int row = 0; row < 320; row++) {
        for (int column = 0; column < 240; column++)
            origin[row * 240 + column] = pixel(column, row);
    }
    WindowDisplayBackEnd.endDraw();
}

// The pattern, with screen pixel (changedColumn, changedRow) changed (the whole row when
// changedColumn is -1).
void PresentPattern(int changedRow, int changedColumn = -1) {
    Present([&](int column, int row) {
        const uint16_t pixel = PatternPixel(column, row);
        const bool changed = row == changedRow && (changedColumn < 0 || column == changedColumn);
        return changed ? static_cast<uint16_t>(pixel ^ 0x0821) : pixel;
    });
}

// What the window shows of its picture (on the offscreen platform, its backing store).
QImage ShownPicture() {
    QWidget* picture = MainWindowPicture();
    const QImage window = picture->screen()->grabWindow(MainWindowWidget()->winId()).toImage();
    return window.copy(QRect(picture->mapTo(MainWindowWidget(), QPoint()), picture->size()))
        .convertToFormat(QImage::Format_RGB32);
}

// The picture drawn whole from the frame buffer.
QImage WholePicture() {
    return MainWindowPicture()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Shows the window with the picture at `scale` and margins of 5 and 2, the pattern on it.
void ShowPatternAtScale(int scale) {
    MainWindowWidget()->resize(240 * scale + 10, 268 * scale + 4);
    MainWindowWidget()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(MainWindowWidget()));
    PresentPattern(-1);
    QCoreApplication::processEvents();
    ASSERT_EQ(WindowPictureScale(), scale);
}

TEST_F(QtHostTest, ANewFrameRepaintsOnlyTheBlocksItChanged) {
    void* window = Create();
    ASSERT_TRUE(WindowDisplayBackEnd.open(window));
    constexpr int kScale = 2;
    ShowPatternAtScale(kScale);
    PaintRecorder recorder;
    MainWindowPicture()->installEventFilter(&recorder);

    PresentPattern(-1);  // the same frame: nothing to repaint
    QCoreApplication::processEvents();
    EXPECT_TRUE(recorder.regions.empty());

    // View pixel (50, 101): the block of columns 48 to 63 in the band of rows 100 to 103.
    PresentPattern(26 + 101, 50);
    QCoreApplication::processEvents();
    ASSERT_EQ(recorder.regions.size(), 1u);
    EXPECT_EQ(recorder.regions[0],
              QRegion(5 + 48 * kScale, 2 + 100 * kScale, 16 * kScale, 4 * kScale));
    QImage shot = MainWindowPicture()->grab().toImage();
    EXPECT_NE(shot.pixel(5 + 50 * kScale, 2 + 101 * kScale), Widen(PatternPixel(50, 26 + 101)));
    EXPECT_EQ(shot.pixel(5 + 51 * kScale, 2 + 101 * kScale), Widen(PatternPixel(51, 26 + 101)));

    // A whole row: the whole band. Rows above and below the view are not shown, so they
    // repaint nothing; the pixel that changed back does.
    recorder.regions.clear();
    PresentPattern(26 + 100);
    QCoreApplication::processEvents();
    PresentPattern(3);
    QCoreApplication::processEvents();
    ASSERT_EQ(recorder.regions.size(), 2u);
    EXPECT_EQ(recorder.regions[0], QRegion(5, 2 + 100 * kScale, 240 * kScale, 4 * kScale));
    EXPECT_EQ(recorder.regions[1], QRegion(5, 2 + 100 * kScale, 240 * kScale, 4 * kScale));
    EXPECT_EQ(WrongPixels(ShownPicture().convertToFormat(QImage::Format_ARGB32), kScale), 0);

    // Hidden (behind the full view), the picture compares and repaints nothing, so its first
    // frame after showing again is compared with nothing: the whole view repaints.
    recorder.regions.clear();
    MainWindowPicture()->hide();
    PresentPattern(26 + 150);
    QCoreApplication::processEvents();
    EXPECT_TRUE(recorder.regions.empty());
    MainWindowPicture()->show();
    QCoreApplication::processEvents();  // lays the widget out again
    QCoreApplication::processEvents();  // and paints it
    recorder.regions.clear();
    PresentPattern(26 + 151);
    QCoreApplication::processEvents();
    ASSERT_EQ(recorder.regions.size(), 1u);
    EXPECT_EQ(recorder.regions[0], QRegion(5, 2, 240 * kScale, 268 * kScale));
    EXPECT_EQ(ShownPicture(), WholePicture());

    // A frame written through the fixed address is not compared: the whole view repaints.
    recorder.regions.clear();
    ASSERT_NE(WindowDisplayBackEnd.fixedFrameBuffer(), nullptr);
    QCoreApplication::processEvents();
    ASSERT_EQ(recorder.regions.size(), 1u);
    EXPECT_EQ(recorder.regions[0], QRegion(5, 2, 240 * kScale, 268 * kScale));
    MainWindowPicture()->removeEventFilter(&recorder);
    WindowDisplayBackEnd.close();
}

// Frames that move parts of the picture sideways over noise, paint flat rectangles, change
// pixels here and there, or repeat, some shown two at a time: after each, the window shows
// what the picture drawn whole shows; so it does after parts of any size are painted again.
TEST_F(QtHostTest, FramesShownInPartsShowWhatThePictureDrawnWholeShows) {
    void* window = Create();
    ASSERT_TRUE(WindowDisplayBackEnd.open(window));
    std::mt19937 random(29);
    const auto uniform = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    std::vector<uint16_t> frame(240 * 320);
    for (uint16_t& pixel : frame)
        pixel = static_cast<uint16_t>(uniform(0, 0xFFFF));
    for (const int scale : {2, 3}) {
        ShowPatternAtScale(scale);
        for (int step = 0; step < 40; step++) {
            const int kind = uniform(0, 3);
            if (kind <= 1) {  // a part moves sideways, new columns at the end it left
                const int top = uniform(26, 300), bottom = uniform(top, 319);
                const int left = uniform(0, 180), right = uniform(left + 20, 239);
                const int shift = uniform(1, 10) * (uniform(0, 1) ? 1 : -1);
                for (int row = top; row <= bottom; row++) {
                    uint16_t* line = frame.data() + row * 240;
                    std::vector<uint16_t> was(line, line + 240);
                    for (int column = left; column <= right; column++) {
                        const int from = column + shift;
                        line[column] = from >= left && from <= right
                                           ? was[size_t(from)]
                                           : static_cast<uint16_t>(uniform(0, 0xFFFF));
                    }
                }
            }
            if (kind == 1) {  // a flat rectangle
                const uint16_t colour =
                    uniform(0, 1) ? 0 : static_cast<uint16_t>(uniform(1, 0xFFFF));
                const int top = uniform(26, 319), bottom = std::min(319, top + uniform(0, 60));
                const int left = uniform(0, 239), right = std::min(239, left + uniform(0, 80));
                for (int row = top; row <= bottom; row++)
                    std::fill(frame.begin() + row * 240 + left,
                              frame.begin() + row * 240 + right + 1, colour);
            }
            if (kind == 2) {  // pixels here and there
                for (int i = uniform(1, 30); i > 0; i--)
                    frame[size_t(uniform(26 * 240, 320 * 240 - 1))] ^= 0x0841;
            }
            Present([&](int column, int row) { return frame[size_t(row * 240 + column)]; });
            if (uniform(0, 3) == 0) continue;  // shown together with the next one
            QCoreApplication::processEvents();
            ASSERT_EQ(ShownPicture(), WholePicture()) << "scale " << scale << ", step " << step;
        }
        for (int i = 0; i < 10; i++) {
            const QRect part(uniform(0, 700), uniform(0, 800), uniform(1, 100), uniform(1, 100));
            MainWindowPicture()->repaint(part);
            ASSERT_EQ(ShownPicture(), WholePicture()) << "scale " << scale << ", part " << i;
        }
    }
    WindowDisplayBackEnd.close();
}

// ---- Dialogs ----

struct DialogRun {
    void* handle = nullptr;
    std::vector<unsigned> messages;
    std::vector<uintptr_t> commands;
    bool endOnCommand = true;  // EndDialog with the command's id
} Dialog;

intptr_t DialogProc(void* dialog, unsigned message, uintptr_t wParam, intptr_t) {
    Dialog.messages.push_back(message);
    if (message == WM_INITDIALOG) Dialog.handle = dialog;
    if (message == WM_COMMAND) {
        Dialog.commands.push_back(wParam);
        if (Dialog.endOnCommand) EndDialog(dialog, static_cast<intptr_t>(wParam));
        return 1;
    }
    return message == WM_INITDIALOG ? 1 : 0;
}

void SendKey(QWidget* widget, Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
}

std::string ItemText(int id) {
    char text[64];
    const int length = GetDialogItemText(Dialog.handle, id, text, sizeof text);
    return std::string(text, static_cast<size_t>(length));
}

TEST_F(QtHostTest, TheSettingDialogHasEveryControlWithItsTextAndExclusiveRadioGroups) {
    void* window = Create();
    Dialog = DialogRun();
    const DialogResource& resource = *FindDialogResource(kOptionsDialog);
    QTimer::singleShot(0, [&resource] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        ASSERT_EQ(static_cast<void*>(dialog), Dialog.handle);
        EXPECT_EQ(dialog->windowTitle().toStdString(), resource.caption);
        const QList<QGroupBox*> boxes = dialog->findChildren<QGroupBox*>();
        for (int i = 0; i < resource.count; i++) {
            const DialogControlResource& control = resource.controls[i];
            if (control.id == -1) continue;
            SCOPED_TRACE(control.id);
            EXPECT_EQ(ItemText(control.id), control.text);
            if (control.kind != ControlKind::kRadioButton) continue;
            EXPECT_FALSE(IsDialogButtonChecked(Dialog.handle, control.id));  // none at first
        }
        // Every radio button lies inside exactly one group box.
        for (QRadioButton* radio : dialog->findChildren<QRadioButton*>()) {
            int containing = 0;
            for (QGroupBox* box : boxes)
                containing += box->geometry().contains(radio->geometry()) ? 1 : 0;
            EXPECT_EQ(containing, 1) << radio->text().toStdString();
        }

        // Tab order is the table's order, entering each radio group once: at its first
        // button, as none is checked.
        std::vector<std::string> expectedOrder;
        for (int i = 0; i < resource.count; i++) {
            const DialogControlResource& control = resource.controls[i];
            if (control.kind == ControlKind::kRadioButton && !control.groupStart) continue;
            if (control.kind != ControlKind::kGroupBox && control.kind != ControlKind::kLabel &&
                control.kind != ControlKind::kIcon) {
                expectedOrder.push_back(control.text);
            }
        }
        std::vector<std::string> order;
        QWidget* first = dialog->findChild<QPushButton*>();
        QWidget* widget = first;
        do {
            if (widget->focusPolicy() & Qt::TabFocus) {
                if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
                    order.push_back(button->text().toStdString());
                } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
                    order.push_back(edit->text().toStdString());
                }
            }
            widget = widget->nextInFocusChain();
        } while (widget != first && order.size() < expectedOrder.size() + 5);
        EXPECT_EQ(order, expectedOrder);

        // Exclusive within a group, independent across groups.
        CheckDialogButton(Dialog.handle, kControlNarrow, true);
        CheckDialogButton(Dialog.handle, kControlShort, true);
        CheckDialogButton(Dialog.handle, kControlWide, true);
        EXPECT_FALSE(IsDialogButtonChecked(Dialog.handle, kControlNarrow));
        EXPECT_TRUE(IsDialogButtonChecked(Dialog.handle, kControlWide));
        EXPECT_TRUE(IsDialogButtonChecked(Dialog.handle, kControlShort));
        CheckDialogButton(Dialog.handle, kControlWide, false);
        EXPECT_FALSE(IsDialogButtonChecked(Dialog.handle, kControlWide));
        // "None" of the filtering group starts the group though it is drawn last.
        CheckDialogButton(Dialog.handle, kControlFilterNone, true);
        CheckDialogButton(Dialog.handle, kControlHum, true);
        EXPECT_FALSE(IsDialogButtonChecked(Dialog.handle, kControlFilterNone));

        // Edits keep at most 20 characters; reading stops at the buffer's end.
        SetDialogItemText(Dialog.handle, kControlDbMax, "1234567890123456789012345");
        EXPECT_EQ(ItemText(kControlDbMax), "12345678901234567890");
        char small[4];
        EXPECT_EQ(GetDialogItemText(Dialog.handle, kControlDbMax, small, sizeof small), 3);
        EXPECT_STREQ(small, "123");

        EnableDialogItem(Dialog.handle, kControlRate11025, false);
        for (QRadioButton* radio : dialog->findChildren<QRadioButton*>()) {
            EXPECT_EQ(radio->isEnabled(), radio->text() != "11025 Hz");
        }

        SendKey(dialog, Qt::Key_Escape);
    });
    EXPECT_EQ(RunModalDialog(window, kOptionsDialog, DialogProc), kCommandCancel);
    EXPECT_EQ(Dialog.messages.front(), WM_INITDIALOG);
    EXPECT_EQ(Dialog.commands, std::vector<uintptr_t>{kCommandCancel});
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // The dialog is gone: its handle addresses nothing.
    EXPECT_FALSE(IsDialogButtonChecked(Dialog.handle, kControlShort));
}

TEST_F(QtHostTest, EnterPressesTheDefaultButtonAndEscapeWithoutCancelClosesWithOk) {
    void* window = Create();
    Dialog = DialogRun();
    QTimer::singleShot(0, [] { SendKey(QApplication::activeModalWidget(), Qt::Key_Return); });
    EXPECT_EQ(RunModalDialog(window, kAboutDialog, DialogProc), kCommandOk);
    EXPECT_EQ(Dialog.commands, std::vector<uintptr_t>{kCommandOk});

    // A procedure that ends nothing: Escape still closes a dialog that has no Cancel.
    Dialog = DialogRun();
    Dialog.endOnCommand = false;
    QTimer::singleShot(0, [] { SendKey(QApplication::activeModalWidget(), Qt::Key_Escape); });
    EXPECT_EQ(RunModalDialog(window, kAboutDialog, DialogProc), kCommandOk);
    EXPECT_EQ(Dialog.commands, std::vector<uintptr_t>{kCommandOk});

    EXPECT_EQ(RunModalDialog(window, 999, DialogProc), -1);
}

TEST_F(QtHostTest, TheMessageBoxIsModalUntilClosedAndPrintedInAHeadlessRun) {
    void* window = Create();
    bool seen = false;
    QTimer::singleShot(0, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen = true;
        EXPECT_EQ(box->text(), "Sound input failed!");
        EXPECT_EQ(box->windowTitle(), "Fatal error");
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        box->button(QMessageBox::Ok)->click();
    });
    ShowMessageBox(window, "Sound input failed!", "Fatal error", kMessageBoxExclamation);
    EXPECT_TRUE(seen);

    SetHeadlessRun(true);
    testing::internal::CaptureStderr();
    ShowMessageBox(window, "Sound input failed!", "Fatal error", kMessageBoxExclamation);
    Dialog = DialogRun();
    EXPECT_EQ(RunModalDialog(window, kOptionsDialog, DialogProc), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Fatal error: Sound input failed!\n"
              "quillo-sa: the dialog \"Setting\" cannot be shown in a headless run\n");
    EXPECT_TRUE(Dialog.messages.empty());
    EXPECT_FALSE(RaiseRunningInstance());
}

TEST_F(QtHostTest, TheAboutTextIsWholeAndTheWindowHasAnIconAndATitleNote) {
    void* window = Create();
    EXPECT_FALSE(MainWindowWidget()->windowIcon().isNull());
    Dialog = DialogRun();
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        for (QLabel* label : dialog->findChildren<QLabel*>()) {
            if (label->text().isEmpty()) continue;
            SCOPED_TRACE(label->text().toStdString());
            EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()));
            EXPECT_TRUE(dialog->rect().contains(label->geometry()));
        }
        // OK stays in the middle of the widened dialog.
        auto* ok = dialog->findChild<QPushButton*>();
        ASSERT_NE(ok, nullptr);
        EXPECT_NEAR(ok->geometry().center().x(), dialog->width() / 2, 2);
        SendKey(dialog, Qt::Key_Return);
    });
    EXPECT_EQ(RunModalDialog(window, kAboutDialog, DialogProc), kCommandOk);

    // A note beside the title stays through title changes, until removed.
    SetMainWindowStatus("input ended");
    SetMainWindowTitle("Quillo-SA:Spectrum");
    EXPECT_EQ(MainWindowWidget()->windowTitle(),
              QString::fromUtf8("Quillo-SA:Spectrum \u2014 input ended"));
    SetMainWindowStatus(nullptr);
    EXPECT_EQ(MainWindowWidget()->windowTitle(), "Quillo-SA:Spectrum");
}

// Checks one button of each of three groups as the options procedure does on opening.
intptr_t CheckingDialogProc(void* dialog, unsigned message, uintptr_t wParam, intptr_t lParam) {
    if (message == WM_INITDIALOG) {
        CheckDialogButton(dialog, kControlLinear, true);
        CheckDialogButton(dialog, kControlWide, true);
        CheckDialogButton(dialog, kControlAveragingMedium, true);
    }
    return DialogProc(dialog, message, wParam, lParam);
}

TEST_F(QtHostTest, TheSettingDialogStartsAtOkTabsToCheckedButtonsAndItsBoxesOpenOverIt) {
    void* window = Create();
    ShowMainWindow();
    Dialog = DialogRun();
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->activateWindow();
        QCoreApplication::processEvents();
        auto* focused = qobject_cast<QPushButton*>(QApplication::focusWidget());
        ASSERT_NE(focused, nullptr);
        EXPECT_EQ(focused->text(), "OK");
        // Tab once around: every radio group is entered once, at its checked button (the
        // first when none is checked).
        std::vector<std::string> visited;
        for (int i = 0; i < 30; i++) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* now = QApplication::focusWidget();
            if (now == focused) break;
            if (auto* radio = qobject_cast<QRadioButton*>(now)) {
                visited.push_back(radio->text().toStdString());
            }
        }
        EXPECT_EQ(visited, (std::vector<std::string>{"Linear", "Wide", "Medium", "None", "11025 Hz",
                                                     "None"}));
        // The arrows still move within a group.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);  // Cancel
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);  // Linear
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
        EXPECT_TRUE(IsDialogButtonChecked(Dialog.handle, kControlLog));

        // A box of the dialog opens over it, wherever the dialog is.
        dialog->move(10, 10);
        QCoreApplication::processEvents();
        QTimer::singleShot(0, [dialog] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->parentWidget(), dialog);
            EXPECT_TRUE(dialog->frameGeometry().contains(box->frameGeometry().center()))
                << "box at " << box->x() << ", " << box->y();
            box->button(QMessageBox::Ok)->click();
        });
        ShowMessageBox(Dialog.handle, "The value is out of range.", "Error", kMessageBoxPlain);
        SendKey(dialog, Qt::Key_Escape);
    });
    EXPECT_EQ(RunModalDialog(window, kOptionsDialog, CheckingDialogProc), kCommandCancel);
}

// ---- Machine ----

TEST_F(QtHostTest, TheOemTextOverrideIsReadAsUtf16WithinTheCapacity) {
    SetOemTextOverride("PocketPC J6\xC3\xA9");
    char16_t text[16];
    std::fill(std::begin(text), std::end(text), u'#');
    ASSERT_TRUE(ReadOemText(text, 15));
    EXPECT_EQ(std::u16string(text), u"PocketPC J6\u00E9");
    std::fill(std::begin(text), std::end(text), u'#');
    ASSERT_TRUE(ReadOemText(text, 4));
    EXPECT_EQ(std::u16string(text, 5), u"Pock#");
    EXPECT_FALSE(ReadOemText(text, 0));
    SetOemTextOverride(nullptr);
}

// The diagnostic file is the user's own state, never a fixed name in the shared /tmp; its
// folders are made for the user alone.
TEST_F(QtHostTest, TheDiagnosticFileLivesInTheUsersStateFolder) {
    const char* savedState = std::getenv("XDG_STATE_HOME");
    const char* savedHome = std::getenv("HOME");
    const std::string restoreState = savedState != nullptr ? savedState : "";
    const std::string restoreHome = savedHome != nullptr ? savedHome : "";
    QTemporaryDir folder;
    const std::string root = folder.path().toStdString();
    setenv("XDG_STATE_HOME", (root + "/state").c_str(), 1);
    EXPECT_EQ(std::string(DiagnosticFilePath()), root + "/state/Quillo-SA/fp_win.txt");
    struct stat made {};
    ASSERT_EQ(stat((root + "/state/Quillo-SA").c_str(), &made), 0);
    EXPECT_EQ(made.st_mode & 0777, 0700u);
    setenv("XDG_STATE_HOME", "relative", 1);  // not absolute: ignored
    setenv("HOME", root.c_str(), 1);
    EXPECT_EQ(std::string(DiagnosticFilePath()), root + "/.local/state/Quillo-SA/fp_win.txt");
    unsetenv("XDG_STATE_HOME");
    unsetenv("HOME");
    EXPECT_EQ(DiagnosticFilePath(), nullptr);
    if (savedState != nullptr) setenv("XDG_STATE_HOME", restoreState.c_str(), 1);
    if (savedHome != nullptr) setenv("HOME", restoreHome.c_str(), 1);
}

// The help folder beside an installed program: <bin>/../share/quillo-sa.
TEST_F(QtHostTest, TheHelpPageOpensInOneReusedBrowserScrolledToTheAnchor) {
    const QString folder = QCoreApplication::applicationDirPath() + "/../share/quillo-sa";
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile page(folder + "/Test-Help.htm");
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write("<html><head><title>Test help</title></head><body><p>Top</p>");
    for (int i = 0; i < 300; i++)
        page.write("<p>line</p>");
    page.write("<p><a name=\"End\"></a>End</p></body></html>");
    page.close();

    EXPECT_FALSE(ShowHelpPage("No-Such-Page.htm", "Main_Contents"));
    EXPECT_FALSE(ShowHelpPage("../quillo-sa/Test-Help.htm", nullptr));
    ASSERT_TRUE(ShowHelpPage("Test-Help.htm", "End"));
    ASSERT_TRUE(ShowHelpPage("Test-Help.htm", "End"));
    std::vector<QTextBrowser*> browsers;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* browser = qobject_cast<QTextBrowser*>(widget)) browsers.push_back(browser);
    }
    ASSERT_EQ(browsers.size(), 1u);
    EXPECT_TRUE(browsers[0]->isVisible());
    EXPECT_EQ(browsers[0]->windowTitle(), "Test help");
    EXPECT_GT(browsers[0]->verticalScrollBar()->value(), 0);
    // Escape and Ctrl+W close it, as a desktop's viewers close.
    for (const QKeyCombination key :
         {QKeyCombination(Qt::Key_Escape), QKeyCombination(Qt::ControlModifier, Qt::Key_W)}) {
        ASSERT_TRUE(ShowHelpPage("Test-Help.htm", "End"));
        ASSERT_TRUE(QTest::qWaitForWindowActive(browsers[0]));
        QTest::keyClick(browsers[0], key.key(), key.keyboardModifiers());
        EXPECT_FALSE(browsers[0]->isVisible()) << key.toCombined();
    }
    QDir(QCoreApplication::applicationDirPath() + "/../share").removeRecursively();
}

}  // namespace
