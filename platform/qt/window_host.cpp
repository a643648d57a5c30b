// The main window: Qt events in, numbered messages out, in order, on the main thread.
//
//   posted messages --QCoreApplication::postEvent--> MessageQueue --> window procedure
//   shown, hidden, minimised, mouse on the picture  ------------(sent)-> window procedure
//   menu items, image buttons, accelerators --(posted as WM_COMMAND)-> window procedure
//
// Commands are posted rather than sent because their handlers may rebuild the menu bar,
// which would delete the very button whose signal is running.
#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QHideEvent>
#include <QImage>
#include <QImageWriter>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QSaveFile>
#include <QScreen>
#include <QShortcut>
#include <QShowEvent>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/files/file_names.h"
#include "platform/qt/dialogs.h"
#include "platform/qt/qt_host.h"
#include "platform/qt/window_extras.h"
#include "platform/qt/window_host.h"
#include "resources/buttons.h"
#include "resources/icon.h"
#include "resources/resources.h"

WindowDisplayRecord WindowDisplay;

namespace {

constexpr QEvent::Type kPostedMessageEvent = static_cast<QEvent::Type>(QEvent::User + 1);
constexpr int kButtonImageSize = 16;  // pixels of one image of a button strip
constexpr int kButtonIconScale = 2;   // the images are shown doubled, without smoothing
constexpr int kMaxAccelerators = 16;

class MainWindow;
class PictureWidget;

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

class MenuBar : public QToolBar {
  public:
    explicit MenuBar(QWidget* parent) : QToolBar(parent) {}
    QImage strip;        // the image strip given with AddMenuBarBitmap; null before
    int imageCount = 0;  // images the bar was told the strip holds
};

// The host's own state; main thread only, except the two atomics, which
// PostMainWindowMessage reads on any thread.
struct HostRecord {
    std::atomic<MessageQueue*> queue{nullptr};  // created with the first window, kept
    std::atomic<int> generation{0};             // of the current window; bumped per window
    MainWindow* window = nullptr;               // null before creation and after destruction
    PictureWidget* picture = nullptr;
    WindowProc proc = nullptr;
    PostedMessageObserver observer = nullptr;
    bool shown = false;        // ShowMainWindow has sized and shown the window
    bool inLoop = false;       // RunMessageLoop is in QApplication::exec
    bool quitPending = false;  // PostQuitMessage ran; nothing more is delivered
    int quitCode = 0;
    WindowRect movedTo{};  // the last MoveMainWindow; the window keeps its own size
    QString title;         // the view's title, as the window procedure last set it
    QString status;        // shown after the title when not empty
    QList<QPointer<MenuBar>> bars;
    Accelerator accelerators[kMaxAccelerators];
    int acceleratorCount = 0;
};
HostRecord Host;

intptr_t Deliver(unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0);

// An RGB565 pixel with each channel widened to 8 bits by repeating its top bits.
inline QRgb WidenRgb565(unsigned pixel) {
    const unsigned red = pixel >> 11;
    const unsigned green = (pixel >> 5) & 0x3F;
    const unsigned blue = pixel & 0x1F;
    return 0xFF000000u | ((red << 3 | red >> 2) << 16) | ((green << 2 | green >> 4) << 8) |
           (blue << 3 | blue >> 2);
}

// Each pixel of `in` as `scale` pixels of `out`; the usual scales unrolled.
template <int kScale>
void WidenRow(const QRgb* in, QRgb* out, int scale = kScale) {
    for (int x = 0; x < kWindowScreenWidth; x++) {
        for (int i = 0; i < (kScale > 0 ? kScale : scale); i++)
            *out++ = in[x];
    }
}

// The view area as last presented, whichever layout wrote it, scaled by `scale` (each screen
// pixel a scale x scale square), the part `area` of it (device pixels of the scaled view, inside
// it) into RGB32 rows at `bits`, `bytesPerLine` apart, area's top-left first. Each screen row
// is widened once into `line`, which every device row it covers copies.
void RenderView(int scale, const QRect& area, uchar* bits, qsizetype bytesPerLine,
                std::vector<QRgb>& line) {
    const uint16_t* pixels = WindowDisplay.pixels;
    line.resize(static_cast<size_t>(kWindowScreenWidth) * scale);
    QRgb row[kWindowScreenWidth];
    for (int y = area.top() / scale; y <= area.bottom() / scale; y++) {
        const int screenRow = kWindowViewTop + y;
        if (WindowDisplay.fixedLayout) {
            for (int x = 0; x < kWindowScreenWidth; x++)
                row[x] = WidenRgb565(
                    pixels[(kWindowScreenWidth - 1 - x) * kWindowScreenHeight + screenRow]);
        } else {
            const uint16_t* source = pixels + screenRow * kWindowScreenWidth;
            for (int x = 0; x < kWindowScreenWidth; x++)
                row[x] = WidenRgb565(source[x]);
        }
        switch (scale) {
            case 1:
                std::copy(std::begin(row), std::end(row), line.begin());
                break;
            case 2:
                WidenRow<2>(row, line.data());
                break;
            case 3:
                WidenRow<3>(row, line.data());
                break;
            default:
                WidenRow<0>(row, line.data(), scale);
                break;
        }
        const int from = std::max(y * scale, area.top());
        const int to = std::min(y * scale + scale - 1, area.bottom());
        for (int r = from; r <= to; r++) {
            std::memcpy(bits + (r - area.top()) * bytesPerLine, line.data() + area.left(),
                        sizeof(QRgb) * area.width());
        }
    }
}

// The image under the painter when the picture's pixels can go into it as they are: an opaque
// 32-bit image behind a whole-pixel offset, as a window's backing store is at one device pixel
// per pixel. Null otherwise. This is the painter's own platform device, addressed through its
// device transform.
QImage* PlainImageUnder(QPainter& painter) {
    QPaintEngine* engine = painter.paintEngine();
    if (engine == nullptr || engine->type() != QPaintEngine::Raster) return nullptr;
    QPaintDevice* device = engine->paintDevice();
    if (device == nullptr || device->devType() != QInternal::Image) return nullptr;
    auto* image = static_cast<QImage*>(device);
    if (image->format() != QImage::Format_RGB32 &&
        image->format() != QImage::Format_ARGB32_Premultiplied) {
        return nullptr;
    }
    const QTransform transform = painter.deviceTransform();
    if (transform.type() > QTransform::TxTranslate ||
        transform.dx() != std::floor(transform.dx()) ||
        transform.dy() != std::floor(transform.dy())) {
        return nullptr;
    }
    return image;
}

// The view-area pixel under `position` of the picture widget, outside the view included.
QPoint ViewPixelAt(const QWidget* picture, const QPointF& position) {
    const qreal ratio = picture->devicePixelRatioF();
    const int deviceWidth = qRound(picture->width() * ratio);
    const int deviceHeight = qRound(picture->height() * ratio);
    const int scale = PictureScale(deviceWidth, deviceHeight);
    const QPointF device = position * ratio;
    const int left = (deviceWidth - kWindowScreenWidth * scale) / 2;
    const int top = (deviceHeight - kWindowViewHeight * scale) / 2;
    return QPoint(static_cast<int>(std::floor((device.x() - left) / scale)),
                  static_cast<int>(std::floor((device.y() - top) / scale)));
}

class PictureWidget : public QWidget {
  public:
    explicit PictureWidget(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFocusPolicy(Qt::StrongFocus);
        // However small the user makes the window, the bar keeps its place below a whole view.
        setMinimumSize(kWindowScreenWidth, kWindowViewHeight);
    }
    QSize preferred{kWindowScreenWidth * 2, kWindowViewHeight * 2};
    QSize sizeHint() const override { return preferred; }

    int Scale() const {
        const qreal ratio = devicePixelRatioF();
        return PictureScale(qRound(width() * ratio), qRound(height() * ratio));
    }
    // Where the view goes: centred, at the largest whole scale, on whole device pixels, so
    // that every screen pixel becomes scale x scale device pixels.
    QRectF Target() const {
        const qreal ratio = devicePixelRatioF();
        const int deviceWidth = qRound(width() * ratio);
        const int deviceHeight = qRound(height() * ratio);
        const int w = kWindowScreenWidth * Scale();
        const int h = kWindowViewHeight * Scale();
        return QRectF((deviceWidth - w) / 2 / ratio, (deviceHeight - h) / 2 / ratio, w / ratio,
                      h / ratio);
    }
    // The part of the widget that shows view rows `first` to `last`.
    QRect RowsRect(int first, int last) const {
        const QRectF target = Target();
        const qreal rowHeight = target.height() / kWindowViewHeight;
        return QRectF(target.left(), target.top() + first * rowHeight, target.width(),
                      (last - first + 1) * rowHeight)
            .toAlignedRect();
    }

  protected:
    // A new frame repaints the rows it changed (see ScheduleChangedRows); the black margins
    // are painted only when exposed. The rows are scaled here, by copying whole rows, straight
    // into the backing store where it allows, else into a kept image that the painter copies:
    // either way a fraction of the cost of letting the painter scale.
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        const QRectF target = Target();
        const QRect covered = target.toAlignedRect();
        for (const QRect& margin : event->region().subtracted(covered))
            painter.fillRect(margin, Qt::black);
        const int scale = Scale();
        const qreal ratio = devicePixelRatioF();
        const QRect view(0, 0, kWindowScreenWidth * scale, kWindowViewHeight * scale);
        const QPoint viewOrigin(qRound(target.left() * ratio), qRound(target.top() * ratio));
        QImage* plain = PlainImageUnder(painter);
        const QPoint offset =
            plain != nullptr ? painter.deviceTransform().map(QPoint(0, 0)) : QPoint();
        for (const QRect& part : event->region()) {
            const QRect shown = part & covered;
            if (shown.isEmpty()) continue;
            const QRect device(QPoint(qRound(shown.left() * ratio), qRound(shown.top() * ratio)),
                               QPoint(qRound((shown.right() + 1) * ratio) - 1,
                                      qRound((shown.bottom() + 1) * ratio) - 1));
            const QRect area = device.translated(-viewOrigin) & view;
            if (area.isEmpty()) continue;
            if (plain != nullptr && plain->rect().contains(device.translated(offset))) {
                // Where the engine itself writes: constBits, as a write through bits would
                // detach the image from the engine.
                const QPoint at = device.topLeft() + offset;
                uchar* bits = const_cast<uchar*>(plain->constBits()) +
                              at.y() * plain->bytesPerLine() +
                              at.x() * static_cast<qsizetype>(sizeof(QRgb));
                RenderView(scale, area, bits, plain->bytesPerLine(), line);
                continue;
            }
            if (scaled.size() != view.size()) scaled = QImage(view.size(), QImage::Format_RGB32);
            scaled.setDevicePixelRatio(ratio);
            uchar* bits = scaled.bits() + area.top() * scaled.bytesPerLine() +
                          area.left() * static_cast<qsizetype>(sizeof(QRgb));
            RenderView(scale, area, bits, scaled.bytesPerLine(), line);
            painter.setClipRect(shown);  // one rectangle keeps the painter on its plain copy
            painter.drawImage(target.topLeft(), scaled);
        }
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) Deliver(WM_LBUTTONDOWN, 1, ScreenPoint(event));
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) Deliver(WM_LBUTTONUP, 0, ScreenPoint(event));
    }

  private:
    QImage scaled;           // the view at the current scale, when the painter copies it
    std::vector<QRgb> line;  // one scaled row
    // The pressed point on the virtual screen, packed as x in the low and y in the high word.
    intptr_t ScreenPoint(QMouseEvent* event) const {
        const QPoint view = ViewPixelAt(this, event->position());
        const int x = std::clamp(view.x(), 0, kWindowScreenWidth - 1);
        const int y = std::clamp(view.y(), 0, kWindowViewHeight - 1) + kWindowViewTop;
        return static_cast<intptr_t>(x) | (static_cast<intptr_t>(y) << 16);
    }
};

class MainWindow : public QWidget {
  public:
    MainWindow() {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        picture = new PictureWidget(this);
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

// The view area's rows as the picture was last told to show them (row-major frames).
struct ShownViewRecord {
    uint16_t rows[kWindowViewHeight][kWindowScreenWidth];
    bool valid = false;  // false: compare nothing, repaint every row
};
ShownViewRecord ShownView;

// Repaints the whole view; the next frame is compared with nothing.
void ScheduleRepaint() {
    ShownView.valid = false;
    if (Host.picture != nullptr) Host.picture->update(Host.picture->Target().toAlignedRect());
}

// Repaints the rows that differ from what the picture shows: the colour legend, the axes and
// the quiet parts of a frame are neither scaled nor sent to the X server again.
void ScheduleChangedRows() {
    // A picture that takes no updates (a headless run's) is not compared row by row.
    if (Host.picture == nullptr || !Host.picture->updatesEnabled()) {
        ShownView.valid = false;
        return;
    }
    constexpr size_t kRowBytes = sizeof ShownView.rows[0];
    int changedFrom = -1;
    for (int y = 0; y <= kWindowViewHeight; y++) {
        bool changed = false;
        if (y < kWindowViewHeight) {
            const uint16_t* row = WindowDisplay.pixels + (kWindowViewTop + y) * kWindowScreenWidth;
            changed = !ShownView.valid || std::memcmp(row, ShownView.rows[y], kRowBytes) != 0;
            if (changed) std::memcpy(ShownView.rows[y], row, kRowBytes);
        }
        if (changed && changedFrom < 0) changedFrom = y;
        if (!changed && changedFrom >= 0) {
            Host.picture->update(Host.picture->RowsRect(changedFrom, y - 1));
            changedFrom = -1;
        }
    }
    ShownView.valid = true;
}

// However narrow the window, the bar keeps room for all its buttons: a tool bar would
// otherwise fold the ones that do not fit away behind an extension arrow.
void KeepEveryButtonShown(MenuBar* bar) {
    bar->setMinimumWidth(bar->sizeHint().width());
}

MenuBar* LiveBar(void* bar) {
    for (const QPointer<MenuBar>& live : Host.bars) {
        if (live != nullptr && static_cast<void*>(live.data()) == bar) return live.data();
    }
    return nullptr;
}

// The tool tips name what the resource gives only as an image.
const char* ButtonToolTip(int command) {
    switch (command) {
        case kCommandPause:
            return "Pause";
        case kCommandDbGrid:
            return "dB grid";
        case kCommandFreqGrid:
            return "Frequency grid";
        case kCommandDbLabels:
            return "dB labels";
        case kCommandNoise:
            return "Noise reference";
        case kCommandAutoRange:
            return "Automatic dB range";
        default:
            return "";
    }
}

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

// ---- Window display back end ----

bool OpenWindowDisplay(void* window) {
    if (window == nullptr || window != static_cast<QWidget*>(Host.window)) return false;
    WindowDisplay.isOpen = true;
    return true;
}

void SetWindowViewport(int top, int height) {
    WindowDisplay.viewportTop = top;
    WindowDisplay.viewportHeight = height;
}

DisplayProperties WindowProperties() {
    return {kWindowScreenWidth,  kWindowScreenHeight, 2, kWindowScreenWidth * 2, 16,
            kDisplayFormatRgb565};
}

bool WindowFrameBufferInMemory() {
    return true;
}

uint16_t* BeginWindowFrame() {
    if (!WindowDisplay.isOpen) return nullptr;
    WindowDisplay.fixedLayout = false;
    return WindowDisplay.pixels;
}

void EndWindowFrame() {
    ++WindowDisplay.framesPresented;
    ScheduleChangedRows();
}

void CloseWindowDisplay() {
    WindowDisplay.isOpen = false;
}

// Strides -320 and 1: screen pixel (c, r) at origin + r - 320 c, all inside the buffer. There
// is no end call on this path, so the repaint is scheduled here; it runs after the copy.
uint16_t* WindowFixedFrameBuffer() {
    if (!WindowDisplay.isOpen) return nullptr;
    WindowDisplay.fixedLayout = true;
    ScheduleRepaint();
    return WindowDisplay.pixels + (kWindowScreenWidth - 1) * kWindowScreenHeight;
}

}  // namespace

const DisplayBackEnd WindowDisplayBackEnd = {
    OpenWindowDisplay,         SetWindowViewport,      WindowProperties,
    WindowFrameBufferInMemory, BeginWindowFrame,       EndWindowFrame,
    CloseWindowDisplay,        WindowFixedFrameBuffer, ReadOemText,
};

// ---- Host extras ----

void SetPostedMessageObserver(PostedMessageObserver observer) {
    Host.observer = observer;
}

QWidget* MainWindowWidget() {
    return Host.window;
}

QWidget* MainWindowPicture() {
    return Host.picture;
}

bool PictureViewPoint(const QWidget* picture, const QPointF& position, int* x, int* y) {
    if (picture == nullptr) return false;
    const QPoint view = ViewPixelAt(picture, position);
    if (view.x() < 0 || view.x() >= kWindowScreenWidth || view.y() < 0 ||
        view.y() >= kWindowViewHeight) {
        return false;
    }
    *x = view.x();
    *y = view.y();
    return true;
}

int PictureScale(int deviceWidth, int deviceHeight) {
    const int scale = std::min(deviceWidth / kWindowScreenWidth, deviceHeight / kWindowViewHeight);
    return std::max(scale, 1);
}

uint16_t WindowScreenPixel(int column, int row) {
    if (column < 0 || column >= kWindowScreenWidth || row < 0 || row >= kWindowScreenHeight) {
        return 0;
    }
    if (WindowDisplay.fixedLayout) {
        return WindowDisplay.pixels[(kWindowScreenWidth - 1 - column) * kWindowScreenHeight + row];
    }
    return WindowDisplay.pixels[row * kWindowScreenWidth + column];
}

int WindowPictureScale() {
    return Host.picture != nullptr ? Host.picture->Scale() : 1;
}

QImage ViewAreaImage(int scale) {
    scale = std::max(scale, 1);
    QImage image(kWindowScreenWidth * scale, kWindowViewHeight * scale, QImage::Format_RGB32);
    std::vector<QRgb> line;
    RenderView(scale, image.rect(), image.bits(), image.bytesPerLine(), line);
    return image.convertToFormat(QImage::Format_RGB888);
}

// A file is replaced only once the whole PNG is written (QSaveFile); an existing file that is
// not a regular one (a device, a FIFO) is written as it is, and every write is checked.
bool WriteViewSnapshot(const char* path, char* reason, size_t reasonSize) {
    const QString name = QFile::decodeName(path);
    const QFileInfo info(name);
    const bool special = info.exists() && !info.isFile();
    QSaveFile replacing(name);
    QFile direct(name);
    QFileDevice& file = special ? static_cast<QFileDevice&>(direct) : replacing;
    QImageWriter writer(&file, "png");
    QString error;
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
    } else if (!writer.write(ViewAreaImage())) {
        error = file.error() != QFileDevice::NoError ? file.errorString() : writer.errorString();
    } else if (special ? !direct.flush() : !replacing.commit()) {
        error = file.errorString();
    }
    if (error.isEmpty()) return true;  // an uncommitted QSaveFile removes what it wrote
    if (reason != nullptr && reasonSize > 0) {
        std::snprintf(reason, reasonSize, "%s: %s", PrintableFileName(path).c_str(),
                      error.toLocal8Bit().constData());
    }
    return false;
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
    Host.picture = window->picture;
    InstallWindowExtras(window, window->picture);
    Host.proc = proc;
    Host.shown = false;
    Host.quitPending = false;
    if (proc(static_cast<QWidget*>(window), WM_CREATE, 0, 0) == -1) {
        Host.window = nullptr;
        SetDialogOwnerWindow(nullptr);
        Host.picture = nullptr;
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
        Host.picture->preferred =
            FirstPictureSize(*Host.window, bar != nullptr ? bar->sizeHint().height() : 0);
        // Not adjustSize: it would cap the window at two thirds of the screen.
        Host.window->resize(Host.window->sizeHint());
        Host.shown = true;
    }
    Host.window->show();
    RaiseMainWindow();
    Host.picture->setFocus(Qt::OtherFocusReason);
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
    Host.picture = nullptr;
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

void* CreateMenuBar(void* window, int resource) {
    if (window == nullptr || window != static_cast<QWidget*>(Host.window) ||
        resource != kMenuBarResource) {
        return nullptr;
    }
    auto* bar = new MenuBar(Host.window);
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(kButtonImageSize, kButtonImageSize) * kButtonIconScale);
    bar->setStyleSheet(
        "QToolBar { background: #383838; border: none; spacing: 2px; }"
        "QToolButton { color: #f0f0f0; padding: 3px 6px; border: 1px solid transparent; }"
        // The style's own light hover and pressed looks would hide the light text.
        "QToolButton:hover, QToolButton:pressed, QToolButton:open {"
        " background: #585858; border-color: #707070; border-radius: 2px; }"
        // A switch that is on looks pressed in.
        "QToolButton:checked { background: #1c1c1c; border-color: #8a8a8a; border-radius: 2px; }"
        "QToolButton::menu-indicator { image: none; }");
    for (const DropDownResource& dropDown : MenuBarMenus) {
        auto* button = new QToolButton(bar);
        button->setText(QString::fromUtf8(dropDown.text));
        button->setPopupMode(QToolButton::InstantPopup);
        button->setFocusPolicy(Qt::NoFocus);
        auto* menu = new QMenu(button);
        for (int i = 0; i < dropDown.count; i++) {
            const MenuItemResource& item = dropDown.items[i];
            if (item.command == 0) {
                menu->addSeparator();
                continue;
            }
            QAction* action = menu->addAction(QString::fromUtf8(item.text));
            action->setData(item.command);
            const int command = item.command;
            QObject::connect(action, &QAction::triggered, [command] {
                PostMainWindowMessage(WM_COMMAND, static_cast<uintptr_t>(command));
            });
        }
        button->setMenu(menu);
        bar->addWidget(button);
        // Alt and the first letter opens the menu, F10 the first one, as on a menu bar.
        const QString text = button->text();
        QList<QKeySequence> keys;
        if (!text.isEmpty())
            keys.append(QKeySequence(QKeyCombination(
                Qt::AltModifier, static_cast<Qt::Key>(text.front().toUpper().unicode()))));
        if (&dropDown == &MenuBarMenus[0]) keys.append(QKeySequence(Qt::Key_F10));
        for (const QKeySequence& key : keys) {
            auto* shortcut = new QShortcut(key, button);
            QObject::connect(shortcut, &QShortcut::activated, button, &QToolButton::showMenu);
        }
    }
    ExtendMenuBar(bar);
    KeepEveryButtonShown(bar);
    Host.bars.append(bar);
    static_cast<QBoxLayout*>(Host.window->layout())->addWidget(bar);
    bar->show();
    return bar;
}

bool AddMenuBarBitmap(void* bar, int bitmap, int imageCount) {
    MenuBar* live = LiveBar(bar);
    const char* const* xpm = ButtonStripXpm(bitmap);
    if (live == nullptr || xpm == nullptr || imageCount <= 0) return false;
    live->strip = QImage(xpm);
    live->imageCount = imageCount;
    return !live->strip.isNull();
}

bool AddMenuBarButtons(void* bar, const MenuBarButton* buttons, int count) {
    MenuBar* live = LiveBar(bar);
    if (live == nullptr || buttons == nullptr || count < 0) return false;
    for (int i = 0; i < count; i++) {
        const MenuBarButton button = buttons[i];
        QIcon icon;
        // An image the strip does not hold stays blank, as on a bar given too few images.
        if (!live->strip.isNull() && button.image >= 0 && button.image < live->imageCount) {
            const QImage image = live->strip.copy(button.image * kButtonImageSize, 0,
                                                  kButtonImageSize, kButtonImageSize);
            icon = QIcon(QPixmap::fromImage(image.scaled(
                image.size() * kButtonIconScale, Qt::IgnoreAspectRatio, Qt::FastTransformation)));
        }
        QAction* action = live->addAction(icon, QString());
        action->setData(button.command);
        action->setToolTip(QString::fromUtf8(ButtonToolTip(button.command)));
        if (QWidget* widget = live->widgetForAction(action)) widget->setFocusPolicy(Qt::NoFocus);
        const int command = button.command;
        QObject::connect(action, &QAction::triggered, [command] {
            PostMainWindowMessage(WM_COMMAND, static_cast<uintptr_t>(command));
        });
    }
    KeepEveryButtonShown(live);
    AppendCursorReadout(live);
    return true;
}

void CheckMenuBarItem(void* bar, int command, bool checked) {
    MenuBar* live = LiveBar(bar);
    if (live == nullptr) return;
    QList<QAction*> actions = live->actions();  // the image buttons
    for (QMenu* menu : live->findChildren<QMenu*>())
        actions += menu->actions();
    for (QAction* action : actions) {
        if (action->data().toInt() != command) continue;
        action->setCheckable(true);
        action->setChecked(checked);
    }
}

void DestroyMenuBar(void* bar) {
    MenuBar* live = LiveBar(bar);
    if (live == nullptr) return;
    Host.bars.removeAll(QPointer<MenuBar>(live));
    live->hide();
    live->setParent(nullptr);  // out of the layout now; deleted once its signals are done
    live->deleteLater();
}
