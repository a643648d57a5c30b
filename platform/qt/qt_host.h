// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt host: what the program's main and the host's tests need beyond the platform
// operations of shell/host.h, which the files of this folder define.
//
//   main_window.cpp      main window, message queue and loop, accelerators, title
//   picture_view.cpp     frame buffer, window display, the picture widget, view points
//   view_changes.cpp     the blocks of the view a new frame changed
//   picture_file.cpp     the view area as an image and as a PNG file
//   menu_bar.cpp         the menu bar: drop-down menus and image buttons
//   window_extras.cpp    Input menu, Open File, drops, Save Picture, the pointer's reading
//   dialogs.cpp          message box, modal dialogs built from the dialog templates
//   help_window.cpp      the help page in the program's own browser window
//   single_instance.cpp  the per-user lock and local socket that find a running instance
//   machine_text.cpp     OEM text, diagnostic file path
//   run_mode.cpp         headless or windowed
//   settings_path.cpp    the settings file's place (library quillo_settings_path)
//
// Everything here runs on the main thread, except PostMainWindowMessage.
#pragma once

#include <cstddef>
#include <cstdint>

#include "raster/display_backend.h"
#include "shell/host.h"

class QImage;
class QWidget;

// ---- Run mode ---------------------------------------------------------------------------

// A headless run prints message boxes to stderr, refuses modal dialogs and takes no part in
// the single-instance rule. Set before the window is created.
void SetHeadlessRun(bool headless);
bool IsHeadlessRun();

// What start-up's single-instance test found: no other windowed instance, or one that was
// asked to raise its window (and received the request, or never answered).
enum class OtherInstance {
    kNone,
    kRaised,
    kUnreachable,
};
OtherInstance OtherInstanceFound();
// What this start hands to a running window instead of playing it: a file (`isFile`, any
// path) or a microphone's name; null or empty: it only asks for the window to be raised. Set
// before start-up looks for a running instance.
void SetInputToHandOver(bool isFile, const char* what);
// The running window's side: `receive` is called from the event loop with what a later
// start handed over, after its window was raised. Null: the window is only raised.
void SetHandedInputReceiver(void (*receive)(bool isFile, const char* what));

// Replaces the machine's OEM text (null: read the machine's again).
void SetOemTextOverride(const char* text);

// ---- Main window ------------------------------------------------------------------------

// Called after every posted message has been delivered to the window procedure.
using PostedMessageObserver = void (*)(unsigned message, uintptr_t wParam, intptr_t lParam);
void SetPostedMessageObserver(PostedMessageObserver observer);

// Hands a message to the main window's procedure at once, ahead of everything queued (main
// thread only); 0 when there is no main window.
intptr_t SendMainWindowMessage(unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0);

// The main window and its picture, or null when there is no main window.
QWidget* MainWindowWidget();
QWidget* MainWindowPicture();

// The picture's scale for a widget of this size in device pixels: the largest whole factor
// at which the 240 x 268 view fits, at least 1.
int PictureScale(int deviceWidth, int deviceHeight);

// ---- Window display back end ------------------------------------------------------------

constexpr int kWindowScreenWidth = 240;
constexpr int kWindowScreenHeight = 320;
constexpr int kWindowViewTop = 26;      // screen row of the view area's first row
constexpr int kWindowViewHeight = 268;  // rows of the view area

// The 240 x 320 RGB565 frame buffer behind the window. Row-major (pitches 2 and 480) for the
// frame calls; the fixed-address profile addresses the same memory with strides -320 and 1.
struct WindowDisplayRecord {
    uint16_t pixels[kWindowScreenWidth * kWindowScreenHeight];
    bool isOpen;       // between open and close
    bool fixedLayout;  // the last frame was written through the fixed-address origin
    int viewportTop;   // last viewport set, in screen rows
    int viewportHeight;
    int framesPresented;  // completed begin/end pairs
};
extern WindowDisplayRecord WindowDisplay;

extern const DisplayBackEnd WindowDisplayBackEnd;

// Screen pixel (column, row) as last presented, whichever layout wrote it; 0 outside.
uint16_t WindowScreenPixel(int column, int row);

// The view area as last presented, 240 x 268 times `scale` in RGB888 (RGB565 widened by bit
// replication): image pixel (x, y) is screen pixel (x / scale, 26 + y / scale).
QImage ViewAreaImage(int scale = 1);
// The whole scale at which the window shows the picture now; 1 without a window.
int WindowPictureScale();

// Writes ViewAreaImage as a PNG file; false with a one-line reason (no newline).
bool WriteViewSnapshot(const char* path, char* reason, size_t reasonSize);
