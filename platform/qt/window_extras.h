// What the window offers a desktop user around the handheld's picture and menus, which stay
// as they are: an Input submenu at the end of Control (the inputs, checked where one plays,
// and Open File...), a file dropped on the window, Save Picture... (the view area as PNG),
// and the reading under the pointer in the bar beside the buttons. Keys: Ctrl+I opens the
// Input menu, Ctrl+O the file dialog, Ctrl+S saves the picture.
//
// The window host calls the Install/Extend/Append operations below; the program fills the
// table, as only it knows the inputs and the views. Main thread only.
#pragma once

class QPointF;
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
    // Writes what the view point (x, y) (view-area pixels) reads as, in at most `capacity`
    // bytes with the NUL; false when the point reads as nothing.
    bool (*readViewPoint)(int x, int y, char* text, int capacity);
};

// The extras for the windows and bars made from now on; null (the start) makes none, so a
// window and bar are exactly the described ones.
void SetWindowExtras(const WindowExtras* extras);

// ---- Called by the window host -----------------------------------------------------------

// Drops, the pointer over the picture, the keys and the note beside the title, for a new
// main window.
void InstallWindowExtras(QWidget* window, QWidget* picture);
// The Input submenu and Save Picture... at the end of the bar's Control menu.
void ExtendMenuBar(QToolBar* bar);
// The reading's place: the end of the bar, after the image buttons.
void AppendCursorReadout(QToolBar* bar);

// ---- Given by the window host ------------------------------------------------------------

// The view-area pixel under `position` (the picture widget's coordinates); false when the
// position is outside the scaled view.
bool PictureViewPoint(const QWidget* picture, const QPointF& position, int* x, int* y);

// ---- For the program and the tests -------------------------------------------------------

// The same as the menu items and keys: the file dialog, then chooseFile; the save dialog,
// then the picture as shown when the command was given.
void OpenInputFile();
void SavePicture();
// The same at the scale the window shows the picture at (Ctrl+Shift+S).
void SavePictureAtWindowScale();
