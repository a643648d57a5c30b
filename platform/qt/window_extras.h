// SPDX-License-Identifier: GPL-3.0-or-later
// What the window offers a desktop user around the handheld's picture and menus, which stay
// as they are: an Input submenu at the end of Control (the inputs, checked where one plays,
// and Open File...), a file dropped on the window, Save Picture... (the view area as PNG),
// and the reading under the pointer in the bar beside the buttons. Keys: Ctrl+I opens the
// Input menu, Ctrl+O the file dialog, Ctrl+S saves the picture.
//
// They attach to every window and bar the host makes through its hooks (main_window.h); the
// program fills the table and gives the reader, as only it knows the inputs and the views.
// Main thread only.
#pragma once

#include <QStandardPaths>
#include <QString>

class QImage;
class QMenu;
class QToolBar;
class QWidget;

struct WindowExtras {
    // Calls `add` for every input to offer, with its label and whether it is the one playing.
    void (*listInputs)(void (*add)(const char* label, bool current, void* menu), void* menu);
    // The user chose a listed input by its label, or a file (Open File..., a drop). Called
    // from the event loop, never inside a menu's own handler.
    void (*chooseDevice)(const char* label);
    void (*chooseFile)(const char* path);
    // "*.wav *.flac ...": the files the dialog offers.
    const char* filePatterns;
    // The note beside the title for a new window (the input that plays).
    const char* (*status)();
};

// The extras for the windows and bars made from now on; null (the start) makes none, so a
// window and bar are exactly the described ones.
void SetWindowExtras(const WindowExtras* extras);

// Writes what the view point (x, y) (view-area pixels) reads as, in at most `capacity` bytes
// with the NUL; false when the point reads as nothing.
using ViewPointReader = bool (*)(int x, int y, char* text, int capacity);
// The reading under the pointer, beside the buttons of the bars made from now on; null (the
// start) shows none.
void SetViewPointReader(ViewPointReader reader);

// Where Save Picture... takes the picture from instead of the view area while `shown` returns
// true (the program's full view while it is shown): it writes the picture as shown into
// `picture`. Null (the start): always the view area.
using ShownPictureSource = bool (*)(QImage* picture);
void SetShownPictureSource(ShownPictureSource shown);

// ---- For the window's other items -------------------------------------------------------

// The Control drop-down's menu of a bar: the one that holds "Option"; null when it has none.
QMenu* ControlMenu(QToolBar* bar);
// The Save dialog titled `title`, started at "Quillo-SA <date> <time>.<extension>" in the
// user's folder of that kind (else the home folder), showing `filter`'s files: the path
// chosen, `extension` added when it has none; empty when the user cancelled.
QString AskForSavePath(QWidget* window, const QString& title,
                       QStandardPaths::StandardLocation place, const QString& extension,
                       const QString& filter);

// ---- For the program and the tests -------------------------------------------------------

// The same as the menu items and keys: the file dialog, then chooseFile; the save dialog,
// then the picture as shown when the command was given.
void OpenInputFile();
void SavePicture();
// The same at the scale the window shows the picture at (Ctrl+Shift+S); a picture from the
// ShownPictureSource is already at the window's own pixels and is saved as it is.
void SavePictureAtWindowScale();
