// SPDX-License-Identifier: GPL-3.0-or-later
// What the window host offers the rest of its folder beyond qt_host.h: raising the window
// (for the single-instance rule), and the hooks through which the window's extras add to
// every window and bar the host makes. Main thread only.
#pragma once

#include <cstdint>

class QToolBar;
class QWidget;

// The bar's background (0xAARRGGBB): its style sheet's, and what a widget on it that draws
// itself fills under its parts.
constexpr uint32_t kBarBackground = 0xFF383838;

// Called by the window host for every set added; null hooks add nothing, so a window and
// bar without any are exactly the described ones. Added by the window's extras and by the
// full view, each its own set.
struct WindowHooksRecord {
    // A new main window and its picture, before the window procedure's WM_CREATE.
    void (*windowMade)(QWidget* window, QWidget* picture);
    // A bar's drop-down menus are built, before its image buttons.
    void (*menusMade)(QToolBar* bar);
    // Image buttons were added to a bar (at the end of every AddMenuBarButtons).
    void (*buttonsAdded)(QToolBar* bar);
};
constexpr int kMostWindowHookSets = 4;
struct WindowHookListRecord {
    WindowHooksRecord sets[kMostWindowHookSets];
    int count;
};
extern WindowHookListRecord WindowHooks;

// Adds a set of hooks, leaving the others: windowMade and menusMade are called in the order
// the sets were added, buttonsAdded in the reverse order (the first set's widgets end the
// bar). A set already added is not added again. False when the list is full.
bool AddWindowHooks(const WindowHooksRecord& hooks);
// Calls every set's windowMade, menusMade or buttonsAdded, in the order above.
void CallWindowMadeHooks(QWidget* window, QWidget* picture);
void CallMenusMadeHooks(QToolBar* bar);
void CallButtonsAddedHooks(QToolBar* bar);

// Brings the main window to the front and gives it the focus.
void RaiseMainWindow();
