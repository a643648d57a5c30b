// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's place in the main window, its menu items, button and key.
#include "platform/qt/full_view_window.h"

#include <QAction>
#include <QLayout>
#include <QMenu>
#include <QShortcut>
#include <QTimer>
#include <QToolBar>
#include <QWidget>

#include "platform/qt/full_view.h"
#include "platform/qt/full_view_dialog.h"
#include "platform/qt/main_window.h"
#include "resources/resources.h"

namespace {

constexpr int kFullWindowWidth = 1280;  // the window grows to at least this for the full view
constexpr int kFullWindowHeight = 800;

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
        QWidget* w = FullWindow.window;
        if (!w->isMaximized() && !w->isFullScreen() &&
            (w->width() < kFullWindowWidth || w->height() < kFullWindowHeight)) {
            w->resize(std::max(w->width(), kFullWindowWidth),
                      std::max(w->height(), kFullWindowHeight));
        }
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
