// SPDX-License-Identifier: GPL-3.0-or-later
// The window's desktop extras: the Input menu, Open File..., drops, Save Picture... and the
// pointer's reading.
//
//   menu item, key, drop --(queued)--> WindowExtras.chooseDevice / chooseFile (the program)
//   pointer over the picture --------> ViewPointReader (the program) --> label in the bar
//   Save Picture..., Ctrl+S ---------> ViewAreaImage as taken then --> PNG
#include "platform/qt/window_extras.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QShortcut>
#include <QStandardPaths>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QUrl>

#include <cstdio>
#include <string>

#include "platform/qt/main_window.h"
#include "platform/qt/picture_file.h"
#include "platform/qt/picture_view.h"
#include "platform/qt/qt_host.h"
#include "resources/resources.h"
#include "shell/host.h"

namespace {

constexpr int kReadingCapacity = 64;  // bytes of one reading
constexpr size_t kReasonSize = 4096;  // a failed save's reason: the path and the error
const char* const kReadoutName = "cursorReadout";
const char* const kFilledProperty = "filledForPopUp";  // the Input menu is listed already

// Main thread only.
struct ExtrasRecord {
    const WindowExtras* table = nullptr;  // SetWindowExtras; null: no extras
    ViewPointReader reader = nullptr;     // SetViewPointReader; null: no reading
    ShownPictureSource shown = nullptr;   // SetShownPictureSource; null: the view area
    QPointer<QMenu> inputMenu;            // of the newest bar
    QPointer<QLabel> readout;             // of the newest bar
};
ExtrasRecord Extras;

// The first local file of a drag's or drop's data; empty when there is none.
QString DroppedFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) return QString();
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) return url.toLocalFile();
    }
    return QString();
}

// Hands the choice over once the event that made it has been handled: a menu closing or a
// drop finishing must not wait for the input to change, nor a message box to close.
void ChooseFileLater(const QString& path) {
    if (Extras.table == nullptr || path.isEmpty()) return;
    QTimer::singleShot(0, [path] {
        if (Extras.table != nullptr) Extras.table->chooseFile(path.toLocal8Bit().constData());
    });
}

// The reading in the bar; where the bar has no room for it whole (a narrow window, a large
// font), beside the pointer as well.
void ShowReading(const QString& text, const QPoint& pointer = QPoint()) {
    constexpr int kPadding = 12;  // the label's style sheet: 6 pixels each side
    QLabel* label = Extras.readout;
    if (label != nullptr) label->setText(text);
    const bool fits = label != nullptr && label->isVisible() &&
                      label->fontMetrics().horizontalAdvance(text) + kPadding <= label->width();
    if (text.isEmpty() || fits) {
        QToolTip::hideText();
    } else {
        QToolTip::showText(pointer, text);
    }
}

// Drops on the window; the pointer moving over or leaving the picture.
class ExtrasFilter : public QObject {
  public:
    ExtrasFilter(QObject* parent, QWidget* picture) : QObject(parent), picture(picture) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::DragEnter:
            case QEvent::DragMove: {
                auto* drag = static_cast<QDragMoveEvent*>(event);
                if (DroppedFile(drag->mimeData()).isEmpty()) return false;
                drag->acceptProposedAction();
                return true;
            }
            case QEvent::Drop: {
                auto* drop = static_cast<QDropEvent*>(event);
                const QString path = DroppedFile(drop->mimeData());
                if (path.isEmpty()) return false;
                drop->acceptProposedAction();
                ChooseFileLater(path);
                return true;
            }
            case QEvent::MouseMove:
                if (watched == picture) Read(static_cast<QMouseEvent*>(event)->position());
                return false;
            case QEvent::Leave:
                if (watched == picture) ShowReading(QString());
                return false;
            default:
                return false;
        }
    }

  private:
    QWidget* picture;
    void Read(const QPointF& position) {
        int x = 0;
        int y = 0;
        char text[kReadingCapacity] = {};
        const bool reads = Extras.reader != nullptr && picture != nullptr &&
                           PictureViewPoint(picture, position, &x, &y) &&
                           Extras.reader(x, y, text, kReadingCapacity);
        ShowReading(reads ? QString::fromUtf8(text) : QString(),
                    picture->mapToGlobal(position.toPoint()));
    }
};

// A label that asks the bar for no room of its own: it takes what the buttons leave, so a
// reading never widens the window nor pushes a button behind the bar's extension arrow.
class ReadoutLabel : public QLabel {
  public:
    using QLabel::QLabel;
    QSize sizeHint() const override { return {0, QLabel::sizeHint().height()}; }
    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }
};

// A menu item shows its key; the window's own shortcut does the work.
void ShowKey(QAction* action, const QKeySequence& key) {
    action->setShortcut(key);
    action->setShortcutContext(Qt::WidgetShortcut);
}

void AddInput(const char* label, bool current, void* menu) {
    auto* inputs = static_cast<QMenu*>(menu);
    const QString text = QString::fromUtf8(label != nullptr ? label : "");
    QAction* action = inputs->addAction(text);
    action->setCheckable(true);
    action->setChecked(current);
    QObject::connect(action, &QAction::triggered, [text] {
        QTimer::singleShot(0, [text] {
            if (Extras.table != nullptr) Extras.table->chooseDevice(text.toUtf8().constData());
        });
    });
}

// The inputs as they are now, then Open File...; listed afresh at every opening.
void FillInputMenu(QMenu* menu) {
    menu->clear();
    Extras.table->listInputs(AddInput, menu);
    if (menu->isEmpty()) menu->addAction(QStringLiteral("(no input found)"))->setEnabled(false);
    menu->addSeparator();
    QAction* open = menu->addAction(QStringLiteral("Open File..."));
    ShowKey(open, QKeySequence(Qt::CTRL | Qt::Key_O));
    QObject::connect(open, &QAction::triggered, [] { QTimer::singleShot(0, OpenInputFile); });
}

// Space: the pause button, the key a desktop's players use.
void TogglePause() {
    PostMainWindowMessage(WM_COMMAND, kCommandPause);
}

// The described items that an accelerator runs (About: Ctrl+A) show it too.
void ShowAcceleratorKeys(QMenu* menu) {
    for (QAction* action : menu->actions()) {
        for (const Accelerator& accelerator : AcceleratorTable) {
            if (action->data().toInt() != accelerator.command) continue;
            ShowKey(action, QKeySequence(Qt::CTRL | static_cast<Qt::Key>(accelerator.key)));
        }
    }
}

// Opens the Input menu above the Control button, as the menu bar would.
void PopUpInputMenu() {
    QMenu* menu = Extras.inputMenu;
    if (menu == nullptr) return;
    QWidget* anchor = menu->parentWidget();
    while (anchor != nullptr && qobject_cast<QToolButton*>(anchor) == nullptr)
        anchor = anchor->parentWidget();
    // Above the button, as the bar's own menus open; filled first to know its height.
    FillInputMenu(menu);
    menu->setProperty(kFilledProperty, true);
    const QPoint at = anchor != nullptr ? anchor->mapToGlobal(QPoint(0, 0)) : QCursor::pos();
    menu->popup(at - QPoint(0, menu->sizeHint().height()));
}

// Drops, the pointer over the picture, the keys and the note beside the title.
void ExtendWindow(QWidget* window, QWidget* picture) {
    if (window == nullptr || picture == nullptr) return;
    if (Extras.table == nullptr && Extras.reader == nullptr) return;
    auto* filter = new ExtrasFilter(window, picture);
    if (Extras.reader != nullptr) {
        picture->setMouseTracking(true);
        picture->installEventFilter(filter);
    }
    if (Extras.table == nullptr) return;
    SetMainWindowStatus(Extras.table->status());
    window->setAcceptDrops(true);
    window->installEventFilter(filter);
    const struct {
        QKeyCombination key;
        void (*run)();
    } keys[] = {
        {Qt::CTRL | Qt::Key_I, PopUpInputMenu},
        {Qt::CTRL | Qt::Key_O, OpenInputFile},
        {Qt::CTRL | Qt::Key_S, SavePicture},
        {Qt::CTRL | Qt::SHIFT | Qt::Key_S, SavePictureAtWindowScale},
        {QKeyCombination(Qt::Key_Space), TogglePause},
    };
    for (const auto& key : keys) {
        auto* shortcut = new QShortcut(QKeySequence(key.key), window);
        QObject::connect(shortcut, &QShortcut::activated, key.run);
    }
}

// The Input submenu and the two Save Picture items at the end of the bar's Control menu.
void ExtendMenus(QToolBar* bar) {
    QMenu* control = Extras.table != nullptr && bar != nullptr ? ControlMenu(bar) : nullptr;
    if (control == nullptr) return;
    for (QMenu* menu : bar->findChildren<QMenu*>())
        ShowAcceleratorKeys(menu);
    control->addSeparator();
    auto* inputs = new QMenu(QStringLiteral("Input"), control);
    ShowKey(control->addMenu(inputs), QKeySequence(Qt::CTRL | Qt::Key_I));
    QObject::connect(inputs, &QMenu::aboutToShow, inputs, [inputs] {
        if (!inputs->property(kFilledProperty).toBool()) FillInputMenu(inputs);
        inputs->setProperty(kFilledProperty, false);
    });
    Extras.inputMenu = inputs;
    QAction* save = control->addAction(QStringLiteral("Save Picture..."));
    ShowKey(save, QKeySequence(Qt::CTRL | Qt::Key_S));
    QObject::connect(save, &QAction::triggered, [] { QTimer::singleShot(0, SavePicture); });
    QAction* saveScaled = control->addAction(QStringLiteral("Save Picture at Window Scale..."));
    ShowKey(saveScaled, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    QObject::connect(saveScaled, &QAction::triggered,
                     [] { QTimer::singleShot(0, SavePictureAtWindowScale); });
}

// The reading's place: the end of the bar, after the image buttons.
void AppendReadout(QToolBar* bar) {
    if (Extras.reader == nullptr || bar == nullptr) return;
    auto* label = new ReadoutLabel(bar);
    label->setObjectName(QString::fromLatin1(kReadoutName));
    label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    // Left-aligned: where the bar has little room, the frequency stays in sight.
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setStyleSheet(QStringLiteral("QLabel { color: #f0f0f0; padding: 0 6px; }"));
    label->setTextFormat(Qt::PlainText);
    bar->addWidget(label);
    Extras.readout = label;
}

void AttachToWindows() {
    AddWindowHooks({ExtendWindow, ExtendMenus, AppendReadout});
}

}  // namespace

QMenu* ControlMenu(QToolBar* bar) {
    for (QMenu* menu : bar->findChildren<QMenu*>()) {
        for (QAction* action : menu->actions()) {
            if (action->data().toInt() == kCommandOption) return menu;
        }
    }
    return nullptr;
}

QString AskForSavePath(QWidget* window, const QString& title,
                       QStandardPaths::StandardLocation place, const QString& extension,
                       const QString& filter) {
    QString folder = QStandardPaths::writableLocation(place);
    if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::homePath();
    const QString stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH-mm-ss"));
    const QString start =
        QDir(folder).filePath(QStringLiteral("Quillo-SA %1.%2").arg(stamp, extension));
    QString path = QFileDialog::getSaveFileName(window, title, start, filter, nullptr,
                                                QFileDialog::DontUseNativeDialog);
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty()) path += "." + extension;
    return path;
}

void SetWindowExtras(const WindowExtras* extras) {
    Extras.table = extras;
    AttachToWindows();
}

void SetShownPictureSource(ShownPictureSource shown) {
    Extras.shown = shown;
}

void SetViewPointReader(ViewPointReader reader) {
    Extras.reader = reader;
    AttachToWindows();
}

void OpenInputFile() {
    QWidget* window = MainWindowWidget();
    if (Extras.table == nullptr || window == nullptr || IsHeadlessRun()) return;
    const QString filter =
        QStringLiteral("Audio files (%1);;All files (*)")
            .arg(QString::fromUtf8(
                Extras.table->filePatterns != nullptr ? Extras.table->filePatterns : "*"));
    const QString path =
        QFileDialog::getOpenFileName(window, QStringLiteral("Open File"), QString(), filter,
                                     nullptr, QFileDialog::DontUseNativeDialog);
    ChooseFileLater(path);
}

namespace {

// The view area at `scale` (each screen pixel a scale x scale square), as a PNG file the
// user names; a failure said in a box and on stderr.
void SavePictureAt(int scale) {
    QWidget* window = MainWindowWidget();
    if (window == nullptr || IsHeadlessRun()) return;
    QImage picture;  // what the user saw when asking
    if (Extras.shown == nullptr || !Extras.shown(&picture)) picture = ViewAreaImage(scale);
    const QString path =
        AskForSavePath(window, QStringLiteral("Save Picture"), QStandardPaths::PicturesLocation,
                       QStringLiteral("png"), QStringLiteral("PNG images (*.png)"));
    if (path.isEmpty()) return;
    char reason[kReasonSize];
    if (WritePicturePng(picture, QFile::encodeName(path).constData(), reason, sizeof reason)) {
        return;
    }
    std::fprintf(stderr, "quillo-sa: the picture was not saved: %s\n", reason);
    const std::string text = std::string("The picture was not saved.\n") + reason;
    ShowMessageBox(MainWindowWidget(), text.c_str(), "Save Picture", kMessageBoxExclamation);
}

}  // namespace

void SavePicture() {
    SavePictureAt(1);
}

void SavePictureAtWindowScale() {
    SavePictureAt(WindowPictureScale());
}
