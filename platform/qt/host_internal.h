// What the files of the Qt host share among themselves; not for the core or main.
#pragma once

class QWidget;

// Dialogs: ends every running modal dialog (the main window is going away).
void EndRunningDialogs();

// Single instance: brings the main window to the front and gives it the focus.
void RaiseMainWindow();
