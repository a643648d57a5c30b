// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's place in the main window, its menu items, button and key.
#include "platform/qt/full_view_window.h"

#include <QAction>
#include <QLayout>
#include <QMenu>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QToolBar>
#include <QWidget>
#include <algorithm>

#include "platform/qt/full_view.h"
#include "platform/qt/full_view_dialog.h"
#include "platform/qt/main_window.h"
#include "resources/resources.h"

namespace {

constexpr int kFullWindowWidth = 1280;  // the window grows to at least this for the full view
constexpr int kFullWindowHeight = 800;
constexpr int kRoomForFrame = 60;  // a window manager's title bar and borders

struct FullViewWindowRecord {
    const FullViewWindowTable* table = nullptr;
    QWidget* window = nullptr;
    QWidget* picture = nullptr;   // the handheld picture of the window
    QAction* menuItem = nullptr;  // "Full Resolution" of the current bar
    QAction* button = nullptr;    // "Full" of the current bar
};
FullViewWindowRecord FullWindow;

// Shows the widget of the mode the program reports, checks the item and the button.
void ShowMode() {
    const bool full = FullWindow.table != nullptr && FullWindow.table->fullShown();
    if (FullWindow.picture != nullptr) FullWindow.picture->setVisible(!full);
    if (QWidget* view = FullViewWidget()) {
        view->setVisible(full);
        if (full) view->setFocus();
    }
    if (full && FullWindow.window != nullptr) {
        // At most the screen's free room (with a window manager's frame): at a scale of 2,
        // 1280 x 800 is more than 1920 x 1080 holds, and so is the first size of 960 x 640.
        QWidget* w = FullWindow.window;
        const QSize room = w->screen() != nullptr
                               ? w->screen()->availableSize() - QSize(0, kRoomForFrame)
                               : QSize(kFullWindowWidth, kFullWindowHeight);
        const QSize wanted(std::clamp(w->width(), std::min(kFullWindowWidth, room.width()),
                                      std::max(room.width(), 1)),
                           std::clamp(w->height(), std::min(kFullWindowHeight, room.height()),
                                      std::max(room.height(), 1)));
        if (!w->isMaximized() && !w->isFullScreen() && wanted != w->size()) w->resize(wanted);
    }
    for (QAction* action : {FullWindow.menuItem, FullWindow.button}) {
        if (action != nullptr) action->setChecked(full);
    }
}

void RunOptions() {
    if (FullWindow.table == nullptr) return;
    if (RunFullViewOptionsDialog(FullWindow.window)) FullWindow.table->optionsChanged();
}

void WindowMade(QWidget* window, QWidget* picture) {
    FullWindow.window = window;
    FullWindow.picture = picture;
    QObject::connect(window, &QObject::destroyed, [] {
        FullWindow.window = nullptr;
        FullWindow.picture = nullptr;
    });
    QWidget* view = CreateFullView(window);
    if (auto* layout = qobject_cast<QBoxLayout*>(window->layout())) {
        layout->insertWidget(layout->indexOf(picture) + 1, view, 1);
    }
    auto* key = new QShortcut(QKeySequence(Qt::Key_F), window);
    QObject::connect(key, &QShortcut::activated, ToggleFullView);
    ShowMode();
    QTimer::singleShot(0, window, ShowMode);  // grown once start-up has given its size
}

// The Control drop-down's menu: the one that holds "Option".
QMenu* ControlMenu(QToolBar* bar) {
    for (QMenu* menu : bar->findChildren<QMenu*>()) {
        for (QAction* action : menu->actions())
            if (action->data().toInt() == kCommandOption) return menu;
    }
    return nullptr;
}

void MenusMade(QToolBar* bar) {
    QMenu* control = bar != nullptr ? ControlMenu(bar) : nullptr;
    if (control == nullptr) return;
    control->addSeparator();
    QAction* item = control->addAction(QStringLiteral("Full Resolution"));
    item->setCheckable(true);
    item->setShortcut(QKeySequence(Qt::Key_F));
    item->setShortcutContext(Qt::WidgetShortcut);  // the window's own shortcut does the work
    QObject::connect(item, &QAction::triggered, [] { QTimer::singleShot(0, ToggleFullView); });
    QObject::connect(item, &QObject::destroyed, [item] {
        if (FullWindow.menuItem == item) FullWindow.menuItem = nullptr;
    });
    FullWindow.menuItem = item;
    QAction* options = control->addAction(QStringLiteral("View Options..."));
    QObject::connect(options, &QAction::triggered, [] { QTimer::singleShot(0, RunOptions); });
    ShowMode();
}

void ButtonsAdded(QToolBar* bar) {
    if (bar != nullptr) {
        QAction* button = bar->addAction(QStringLiteral("Full"));
        button->setCheckable(true);
        button->setToolTip(QStringLiteral("Full Resolution (F)"));
        QObject::connect(button, &QAction::triggered,
                         [] { QTimer::singleShot(0, ToggleFullView); });
        QObject::connect(button, &QObject::destroyed, [button] {
            if (FullWindow.button == button) FullWindow.button = nullptr;
        });
        FullWindow.button = button;
        ShowMode();
    }
}

}  // namespace

void AttachFullViewToWindows(const FullViewWindowTable* table) {
    FullWindow.table = table;
    AddWindowHooks({WindowMade, MenusMade, ButtonsAdded});
}

void ToggleFullView() {
    const FullViewWindowTable* table = FullWindow.table;
    if (table == nullptr) return;
    table->showFull(!table->fullShown());
    ShowMode();
}
