// What the window host offers the rest of its folder beyond qt_host.h: raising the window
// (for the single-instance rule), and the hooks through which the window's extras add to
// every window and bar the host makes. Main thread only.
#pragma once

class QToolBar;
class QWidget;

// Called by the window host when set; null hooks add nothing, so a window and bar are
// exactly the described ones. Set by the window's extras.
struct WindowHooksRecord {
    // A new main window and its picture, before the window procedure's WM_CREATE.
    void (*windowMade)(QWidget* window, QWidget* picture);
    // A bar's drop-down menus are built, before its image buttons.
    void (*menusMade)(QToolBar* bar);
    // Image buttons were added to a bar (at the end of every AddMenuBarButtons).
    void (*buttonsAdded)(QToolBar* bar);
};
extern WindowHooksRecord WindowHooks;

// Brings the main window to the front and gives it the focus.
void RaiseMainWindow();
