// SPDX-License-Identifier: GPL-3.0-or-later
// What the window host asks of the dialogs; not for the core or main. The dialogs call
// nothing in the window host: it tells them their owner.
#pragma once

class QWidget;

// The main window, owner of the dialogs and boxes opened for it; null when there is none.
void SetDialogOwnerWindow(QWidget* window);

// Ends every running modal dialog (the main window is going away).
void EndRunningDialogs();
