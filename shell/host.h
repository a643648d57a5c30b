// SPDX-License-Identifier: GPL-3.0-or-later
// The host operations that the shell calls and the platform layer defines: one main window
// whose messages reach MainWindowProc in order on the main thread, a menu bar of drop-down
// menus and image buttons, message boxes, modal dialogs with controls addressed by id, a
// title, the help page, the single-instance test and the files' places. Nothing here names
// Qt; the program links the Qt host, benchmarks and fuzzing the null host, the shell's
// tests a recording fake.
#pragma once

#include <cstdint>

#include "resources/resources.h"

// Message numbers that the host delivers to the window procedures.
constexpr unsigned WM_CREATE = 0x0001;
constexpr unsigned WM_DESTROY = 0x0002;
constexpr unsigned WM_ACTIVATE = 0x0006;
constexpr unsigned WM_KILLFOCUS = 0x0008;
constexpr unsigned WM_PAINT = 0x000F;
constexpr unsigned WM_CLOSE = 0x0010;
constexpr unsigned WM_SETTINGCHANGE = 0x001A;
constexpr unsigned WM_CANCELMODE = 0x001F;
constexpr unsigned WM_INITDIALOG = 0x0110;
constexpr unsigned WM_COMMAND = 0x0111;
constexpr unsigned WM_LBUTTONDOWN = 0x0201;
constexpr unsigned WM_LBUTTONUP = 0x0202;
constexpr unsigned kSuspendMessage = 0x03FF;  // message 1023: suspends drawing
// Captured audio is queued (kWaveInDataMessage, 960) is declared with the audio source.

// A window procedure: (window, message, wParam, lParam) -> result.
using WindowProc = intptr_t (*)(void* window, unsigned message, uintptr_t wParam, intptr_t lParam);

// The main window's rectangle on the 240 x 320 virtual screen.
struct WindowRect {
    int left;
    int top;
    int right;
    int bottom;
};

// True when another (windowed) instance runs; it has then been asked to come to the front.
bool RaiseRunningInstance();
// Creates the main window (class name, title) with `proc` as its procedure. WM_CREATE is
// delivered before it returns. Null when the window cannot be created.
void* CreateMainWindow(const char* className, const char* title, WindowProc proc);
WindowRect GetMainWindowRect();
// Width and height are passed as they come (start-up passes right and bottom edges).
void MoveMainWindow(int left, int top, int width, int height);
// Shows the window; its first WM_PAINT follows through the queue.
void ShowMainWindow();
// The title shown for the current view.
void SetMainWindowTitle(const char* title);
// A short note about the input (that it has ended, say) shown beside the title, outside the
// picture, whatever the view; empty or null removes it.
void SetMainWindowStatus(const char* status);
// Posts to the main window's queue; callable from any thread (the capture thread posts
// kWaveInDataMessage). Messages are delivered in the order posted.
void PostMainWindowMessage(unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0);
// The default handling: WM_CLOSE destroys the window, which delivers WM_DESTROY.
intptr_t DefaultWindowProc(void* window, unsigned message, uintptr_t wParam, intptr_t lParam);
// Ends the message loop with `code` once the current message has been handled.
void PostQuitMessage(int code);

// The menu bar: the drop-down menus of menu resource `resource`, then image buttons. Null
// when it cannot be created.
void* CreateMenuBar(void* window, int resource);
// Gives the bar its image strip (bitmap 125 to 128) with `imageCount` images.
bool AddMenuBarBitmap(void* bar, int bitmap, int imageCount);
bool AddMenuBarButtons(void* bar, const MenuBarButton* buttons, int count);
void DestroyMenuBar(void* bar);  // a null bar is ignored
// Shows a check mark at the drop-down item of `command` and the image button of `command`
// pressed, or neither; a null bar or a command the bar does not have is ignored.
void CheckMenuBarItem(void* bar, int command, bool checked);

// Message box icons.
constexpr int kMessageBoxPlain = 0;
constexpr int kMessageBoxExclamation = 1;
// A modal box with an OK button; returns when closed (a headless run prints it instead).
void ShowMessageBox(void* window, const char* text, const char* caption, int icon);

// A modal dialog built from dialog resource `resource`, run with `proc` (WM_INITDIALOG
// first, then WM_COMMAND with the control's id for buttons). Returns EndDialog's result,
// or -1 when the dialog cannot be shown (a headless run, for example).
intptr_t RunModalDialog(void* owner, int resource, WindowProc proc);
// Closes the running dialog with `result` once its procedure returns.
void EndDialog(void* dialog, intptr_t result);
// Controls of the running dialog, by id.
void CheckDialogButton(void* dialog, int id, bool checked);
bool IsDialogButtonChecked(void* dialog, int id);
void EnableDialogItem(void* dialog, int id, bool enabled);
void SetDialogItemText(void* dialog, int id, const char* text);
// Copies at most capacity - 1 bytes of the control's text and a NUL; returns their count.
int GetDialogItemText(void* dialog, int id, char* text, int capacity);

// Shows the help page (a file of resources/) at `anchor`; false when it cannot be shown.
bool ShowHelpPage(const char* page, const char* anchor);

// The OEM information text of this computer, at most `capacity` UTF-16 characters;
// false when it is unknown.
bool ReadOemText(char16_t* text, int capacity);

// Where start-up writes its one-line diagnostic file; null when no path can be formed.
const char* DiagnosticFilePath();

// Replaces the file at `path` with `size` bytes in one step: they are written to a new file
// in the same folder, flushed to the disk and renamed over `path`, so that a crash or a full
// disk leaves either the old file or the new one. A symlink at `path` is replaced by the file
// itself unless `followLink`, when the file it names is replaced. False, with errno telling
// why and nothing changed, when any step fails.
bool ReplaceFile(const char* path, const char* bytes, int size, bool followLink);

// Runs the message loop, offering every key press to the accelerator table first, until a
// quit message; returns its code.
int RunMessageLoop(const Accelerator* table, int count);

// ---- Settings file ----------------------------------------------------------------------

// Path of the one-line settings file: $XDG_CONFIG_HOME/Quillo-SA/setting.txt, by default
// ~/.config/Quillo-SA/setting.txt. Null when no path can be formed (neither variable set).
// Start-up creates the folder; the settings code only opens the file.
const char* SettingsFilePath();
