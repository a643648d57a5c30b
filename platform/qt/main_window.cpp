// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: Qt events in, numbered messages out, in order, on the main thread.
//
//   posted messages --QCoreApplication::postEvent--> MessageQueue --> window procedure
//   shown, hidden, minimised, mouse on the picture  ------------(sent)-> window procedure
//   menu items, image buttons, accelerators --(posted as WM_COMMAND)-> window procedure
//
// Commands are posted rather than sent because their handlers may rebuild the menu bar,
// which would delete the very button whose signal is running.
#include "platform/qt/main_window.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QHideEvent>
#include <QKeyEvent>
#include <QPixmap>
#include <QScreen>
#include <QShowEvent>
#include <QToolBar>

#include <atomic>
#include <cmath>

#include "platform/qt/dialogs.h"
#include "platform/qt/picture_view.h"
#include "platform/qt/qt_host.h"
#include "resources/icon.h"
#include "resources/resources.h"

WindowHookListRecord WindowHooks;

namespace {

constexpr QEvent::Type kPostedMessageEvent = static_cast<QEvent::Type>(QEvent::User + 1);
constexpr int kMaxAccelerators = 16;

class MainWindow;

// Qt's event queue hands an event from the posting thread to the main thread under a lock
// inside Qt, which ThreadSanitizer cannot see; this counter makes that hand-off visible to it
// (a release by every poster, an acquire wherever our code first reads a delivered event). It
// orders nothing Qt does not.
std::atomic<uint64_t> PostedHandOff{0};

// One message on its way through Qt's queue. `generation` ties it to the window it was
// posted to, so that a later window never receives an earlier window's messages.
class PostedMessage : public QEvent {
  public:
    PostedMessage(unsigned message, uintptr_t wParam, intptr_t lParam, int generation)
        : QEvent(kPostedMessageEvent),
          message(message),
          wParam(wParam),
          lParam(lParam),
          generation(generation) {}
    const unsigned message;
    const uintptr_t wParam;
    const intptr_t lParam;
    const int generation;
};

class MessageQueue : public QObject {
  protected:
    bool event(QEvent* event) override;
};

// The host's own state; main thread only, except the two atomics, which
// PostMainWindowMessage reads on any thread.
struct HostRecord {
    std::atomic<MessageQueue*> queue{nullptr};  // created with the first window, kept
    std::atomic<int> generation{0};             // of the current window; bumped per window
    MainWindow* window = nullptr;               // null before creation and after destruction
    WindowProc proc = nullptr;
    PostedMessageObserver observer = nullptr;
    bool shown = false;        // ShowMainWindow has sized and shown the window
    bool inLoop = false;       // RunMessageLoop is in QApplication::exec
    bool quitPending = false;  // PostQuitMessage ran; nothing more is delivered
    int quitCode = 0;
    WindowRect movedTo{};  // the last MoveMainWindow; the window keeps its own size
    QString title;         // the view's title, as the window procedure last set it
    QString status;        // shown after the title when not empty
    Accelerator accelerators[kMaxAccelerators];
    int acceleratorCount = 0;
};
HostRecord Host;

intptr_t Deliver(unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0);

class MainWindow : public QWidget {
  public:
    MainWindow() {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        picture = new PictureWidget(this);
        picture->pressed = [](unsigned message, uintptr_t wParam, intptr_t point) {
            Deliver(message, wParam, point);
        };
        layout->addWidget(picture, 1);
        setAutoFillBackground(true);
        QPalette dark = palette();
        dark.setColor(QPalette::Window, Qt::black);
        setPalette(dark);
    }
    PictureWidget* picture;

  protected:
    // A desktop window keeps its picture while the user works in another one: only a
    // window that cannot be seen (minimised, hidden, unmapped) deactivates the procedure.
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::WindowStateChange) TellShown(isVisible() && !isMinimized());
        QWidget::changeEvent(event);
    }
    void showEvent(QShowEvent* event) override {
        TellShown(!isMinimized());
        QWidget::showEvent(event);
    }
    void hideEvent(QHideEvent* event) override {
        TellShown(false);
        QWidget::hideEvent(event);
    }
    // The close button is "Exit": the settings are saved, then the window closes.
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        if (Host.window == this) PostMainWindowMessage(WM_COMMAND, kCommandExit);
    }

  private:
    int toldShown = -1;  // the last WM_ACTIVATE's wParam; -1 before the first
    void TellShown(bool shown) {
        if (Host.window != this || toldShown == int(shown)) return;
        toldShown = int(shown);
        Deliver(WM_ACTIVATE, shown ? 1 : 0, 0);
    }
};

intptr_t Deliver(unsigned message, uintptr_t wParam, intptr_t lParam) {
    if (Host.window == nullptr || Host.proc == nullptr) return 0;
    return Host.proc(static_cast<QWidget*>(Host.window), message, wParam, lParam);
}

bool MessageQueue::event(QEvent* event) {
    PostedHandOff.load(std::memory_order_acquire);
    if (event->type() != kPostedMessageEvent) return QObject::event(event);
    const auto* posted = static_cast<const PostedMessage*>(event);
    if (Host.quitPending || Host.window == nullptr || posted->generation != Host.generation) {
        return true;
    }
    Deliver(posted->message, posted->wParam, posted->lParam);
    if (Host.observer != nullptr) Host.observer(posted->message, posted->wParam, posted->lParam);
    return true;
}

// Ctrl + letter, exactly, in the main window and while no modal window is up, as the
// dialogs run loops of their own that know no accelerators.
class AcceleratorFilter : public QObject {
  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        PostedHandOff.load(std::memory_order_acquire);  // it sees posted messages first
        if (event->type() != QEvent::KeyPress || Host.window == nullptr) return false;
        const auto* key = static_cast<const QKeyEvent*>(event);
        const Qt::KeyboardModifiers held =
            key->modifiers() &
            (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        if (held != Qt::ControlModifier || key->key() < Qt::Key_A || key->key() > Qt::Key_Z) {
            return false;
        }
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget == nullptr || widget->window() != Host.window ||
            QApplication::activeModalWidget() != nullptr) {
            return false;
        }
        const char letter = static_cast<char>('A' + (key->key() - Qt::Key_A));
        for (int i = 0; i < Host.acceleratorCount; i++) {
            if (Host.accelerators[i].key != letter) continue;
            if (!key->isAutoRepeat()) {
                PostMainWindowMessage(WM_COMMAND,
                                      static_cast<uintptr_t>(Host.accelerators[i].command));
            }
            return true;
        }
        return false;
    }
};

// The picture's first size: the view at the largest whole scale, at most 3, at which the
// window with its bar and a window manager's frame fits the screen's free area; in device
// pixels, so that a scaled desktop (QT_SCALE_FACTOR) opens no taller than its screen.
QSize FirstPictureSize(const QWidget& window, int barHeight) {
    constexpr int kMaxScale = 3;
    constexpr int kRoomForFrame = 60;  // title bar and borders
    const QScreen* screen = window.screen();
    const qreal ratio = window.devicePixelRatioF();
    const QRect free = screen != nullptr ? screen->availableGeometry() : QRect();
    const QSize view(kWindowScreenWidth, kWindowViewHeight);
    for (int scale = kMaxScale;; scale--) {
        const QSize size(static_cast<int>(std::ceil(view.width() * scale / ratio)),
                         static_cast<int>(std::ceil(view.height() * scale / ratio)));
        const bool fits = size.width() <= free.width() &&
                          size.height() + barHeight + kRoomForFrame <= free.height();
        if (fits || scale == 1) return size;
    }
}

}  // namespace

bool AddWindowHooks(const WindowHooksRecord& hooks) {
    WindowHookListRecord& list = WindowHooks;
    for (int i = 0; i < list.count; i++) {
        const WindowHooksRecord& h = list.sets[i];
        if (h.windowMade == hooks.windowMade && h.menusMade == hooks.menusMade &&
            h.buttonsAdded == hooks.buttonsAdded) {
            return true;
        }
    }
    if (list.count == kMostWindowHookSets) return false;
    list.sets[list.count++] = hooks;
    return true;
}

void CallWindowMadeHooks(QWidget* window, QWidget* picture) {
    for (int i = 0; i < WindowHooks.count; i++) {
        if (WindowHooks.sets[i].windowMade != nullptr)
            WindowHooks.sets[i].windowMade(window, picture);
    }
}

void CallMenusMadeHooks(QToolBar* bar) {
    for (int i = 0; i < WindowHooks.count; i++) {
        if (WindowHooks.sets[i].menusMade != nullptr) WindowHooks.sets[i].menusMade(bar);
    }
}

void CallButtonsAddedHooks(QToolBar* bar) {
    for (int i = WindowHooks.count - 1; i >= 0; i--) {
        if (WindowHooks.sets[i].buttonsAdded != nullptr) WindowHooks.sets[i].buttonsAdded(bar);
    }
}

void SetPostedMessageObserver(PostedMessageObserver observer) {
    Host.observer = observer;
}

QWidget* MainWindowWidget() {
    return Host.window;
}

QWidget* MainWindowPicture() {
    return Host.window != nullptr ? Host.window->picture : nullptr;
}

void RaiseMainWindow() {
    if (Host.window == nullptr) return;
    if (Host.window->isMinimized()) Host.window->showNormal();
    // Windows without a window system stack nothing, and say so on every raise.
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) Host.window->raise();
    Host.window->activateWindow();
}

// ---- Window system and shell operations ----

void* CreateMainWindow(const char* className, const char* title, WindowProc proc) {
    if (qApp == nullptr || Host.window != nullptr || proc == nullptr) return nullptr;
    // Only the window procedure ends the program, through PostQuitMessage.
    QApplication::setQuitOnLastWindowClosed(false);
    if (Host.queue.load() == nullptr) Host.queue.store(new MessageQueue);
    auto* window = new MainWindow;
    window->setObjectName(QString::fromUtf8(className != nullptr ? className : ""));
    Host.title = QString::fromUtf8(title != nullptr ? title : "");
    Host.status.clear();
    window->setWindowTitle(Host.title);
    if (QApplication::windowIcon().isNull()) {
        QApplication::setWindowIcon(QIcon(QPixmap(quillo_sa_xpm)));  // dialogs share it
    }
    Host.generation.fetch_add(1);
    Host.window = window;
    SetDialogOwnerWindow(window);
    ShowFramesIn(window->picture);
    CallWindowMadeHooks(window, window->picture);
    Host.proc = proc;
    Host.shown = false;
    Host.quitPending = false;
    if (proc(static_cast<QWidget*>(window), WM_CREATE, 0, 0) == -1) {
        Host.window = nullptr;
        SetDialogOwnerWindow(nullptr);
        ShowFramesIn(nullptr);
        Host.proc = nullptr;
        delete window;
        return nullptr;
    }
    return static_cast<QWidget*>(window);
}

WindowRect GetMainWindowRect() {
    return {0, kWindowViewTop, kWindowScreenWidth, kWindowScreenHeight};
}

void MoveMainWindow(int left, int top, int width, int height) {
    Host.movedTo = {left, top, left + width, top + height};
}

void ShowMainWindow() {
    if (Host.window == nullptr) return;
    if (!Host.shown) {
        const QToolBar* bar = Host.window->findChild<QToolBar*>();
        Host.window->picture->preferred =
            FirstPictureSize(*Host.window, bar != nullptr ? bar->sizeHint().height() : 0);
        // Not adjustSize: it would cap the window at two thirds of the screen.
        Host.window->resize(Host.window->sizeHint());
        Host.shown = true;
    }
    Host.window->show();
    RaiseMainWindow();
    Host.window->picture->setFocus(Qt::OtherFocusReason);
    PostMainWindowMessage(WM_PAINT);
}

static void ShowTitle() {
    if (Host.window == nullptr) return;
    Host.window->setWindowTitle(Host.status.isEmpty() ? Host.title
                                                      : Host.title + " \u2014 " + Host.status);
}

void SetMainWindowTitle(const char* title) {
    Host.title = QString::fromUtf8(title ? title : "");
    ShowTitle();
}

void SetMainWindowStatus(const char* status) {
    Host.status = QString::fromUtf8(status ? status : "");
    ShowTitle();
}

void PostMainWindowMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
    MessageQueue* queue = Host.queue.load();
    if (queue == nullptr) return;
    auto* posted = new PostedMessage(message, wParam, lParam, Host.generation.load());
    PostedHandOff.fetch_add(1, std::memory_order_release);
    QCoreApplication::postEvent(queue, posted);
}

intptr_t SendMainWindowMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
    return Deliver(message, wParam, lParam);
}

intptr_t DefaultWindowProc(void* window, unsigned message, uintptr_t, intptr_t) {
    if (message != WM_CLOSE || window == nullptr || window != static_cast<QWidget*>(Host.window)) {
        return 0;
    }
    EndRunningDialogs();
    Deliver(WM_DESTROY);
    MainWindow* destroyed = Host.window;
    Host.window = nullptr;
    SetDialogOwnerWindow(nullptr);
    ShowFramesIn(nullptr);
    Host.proc = nullptr;
    destroyed->hide();
    destroyed->deleteLater();  // a handler of this window may still be on the stack
    return 0;
}

void PostQuitMessage(int code) {
    Host.quitPending = true;
    Host.quitCode = code;
    // Outside the loop exit() would still make every later modal loop return at once.
    if (Host.inLoop) QCoreApplication::exit(code);
}

int RunMessageLoop(const Accelerator* table, int count) {
    if (qApp == nullptr) return 0;
    Host.acceleratorCount = 0;
    for (int i = 0; table != nullptr && i < count && i < kMaxAccelerators; i++) {
        Host.accelerators[Host.acceleratorCount++] = table[i];
    }
    AcceleratorFilter filter;
    qApp->installEventFilter(&filter);
    int code = Host.quitCode;
    if (!Host.quitPending) {
        Host.inLoop = true;
        code = QApplication::exec();
        Host.inLoop = false;
    }
    qApp->removeEventFilter(&filter);
    Host.acceleratorCount = 0;
    Host.quitPending = false;
    return code;
}
