// SPDX-License-Identifier: GPL-3.0-or-later
// The menu bar: a tool bar at the bottom of the main window with the drop-down buttons of the
// menu bar resource, then the view's image buttons; every item and button posts its command.
// The window's extras add to it through the hooks of main_window.h.
#include <QAction>
#include <QBoxLayout>
#include <QColor>
#include <QImage>
#include <QMenu>
#include <QPixmap>
#include <QPointer>
#include <QShortcut>
#include <QToolBar>
#include <QToolButton>

#include "platform/qt/main_window.h"
#include "platform/qt/qt_host.h"
#include "resources/buttons.h"
#include "resources/resources.h"

namespace {

constexpr int kButtonImageSize = 16;  // pixels of one image of a button strip
constexpr int kButtonIconScale = 2;   // the images are shown doubled, without smoothing

class MenuBar : public QToolBar {
  public:
    explicit MenuBar(QWidget* parent) : QToolBar(parent) {}
    QImage strip;        // the image strip given with AddMenuBarBitmap; null before
    int imageCount = 0;  // images the bar was told the strip holds
};

// The bars made and not yet destroyed. Main thread only.
struct BarsRecord {
    QList<QPointer<MenuBar>> live;
};
BarsRecord Bars;

// However narrow the window, the bar keeps room for all its buttons: a tool bar would
// otherwise fold the ones that do not fit away behind an extension arrow.
void KeepEveryButtonShown(MenuBar* bar) {
    bar->setMinimumWidth(bar->sizeHint().width());
}

MenuBar* LiveBar(void* bar) {
    for (const QPointer<MenuBar>& live : Bars.live) {
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

}  // namespace

void* CreateMenuBar(void* window, int resource) {
    QWidget* owner = MainWindowWidget();
    if (window == nullptr || window != owner || resource != kMenuBarResource) return nullptr;
    auto* bar = new MenuBar(owner);
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(kButtonImageSize, kButtonImageSize) * kButtonIconScale);
    bar->setStyleSheet(
        QStringLiteral("QToolBar { background: %1; border: none; spacing: 2px; }")
            .arg(QColor(kBarBackground).name()) +
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
    CallMenusMadeHooks(bar);
    KeepEveryButtonShown(bar);
    Bars.live.append(bar);
    static_cast<QBoxLayout*>(owner->layout())->addWidget(bar);
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
    // Measured with what the hooks add (the pointer's reading and the spacing before it):
    // measured before, the bar claimed too little and folded the last button away.
    CallButtonsAddedHooks(live);
    KeepEveryButtonShown(live);
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
    Bars.live.removeAll(QPointer<MenuBar>(live));
    live->hide();
    live->setParent(nullptr);  // out of the layout now; deleted once its signals are done
    live->deleteLater();
}
