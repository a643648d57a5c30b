// SPDX-License-Identifier: GPL-3.0-or-later
// The null platform: every window and shell operation of shell/host.h defined as
// "there is none", and no settings file. It lets the core run alone (benchmarks, a
// core-only build): no window can be created, dialogs cannot be shown, nothing is posted.
// The settings file's absence is an object of its own (null_settings_path.cpp), so a
// program that defines SettingsFilePath itself still links the rest from here.
#include <cstdio>

#include "shell/host.h"

bool RaiseRunningInstance() {
    return false;
}

void* CreateMainWindow(const char*, const char*, WindowProc) {
    return nullptr;
}

WindowRect GetMainWindowRect() {
    return WindowRect{0, 26, 240, 320};
}

void MoveMainWindow(int, int, int, int) {}
void ShowMainWindow() {}
void SetMainWindowTitle(const char*) {}
void SetMainWindowStatus(const char*) {}
void PostMainWindowMessage(unsigned, uintptr_t, intptr_t) {}

intptr_t DefaultWindowProc(void*, unsigned, uintptr_t, intptr_t) {
    return 0;
}

void PostQuitMessage(int) {}

void* CreateMenuBar(void*, int) {
    return nullptr;
}

bool AddMenuBarBitmap(void*, int, int) {
    return false;
}

bool AddMenuBarButtons(void*, const MenuBarButton*, int) {
    return false;
}

void DestroyMenuBar(void*) {}

void CheckMenuBarItem(void*, int, bool) {}

void ShowMessageBox(void*, const char* text, const char* caption, int) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
}

intptr_t RunModalDialog(void*, int, WindowProc) {
    return -1;
}

void EndDialog(void*, intptr_t) {}
void CheckDialogButton(void*, int, bool) {}

bool IsDialogButtonChecked(void*, int) {
    return false;
}

void EnableDialogItem(void*, int, bool) {}
void SetDialogItemText(void*, int, const char*) {}

int GetDialogItemText(void*, int, char* text, int capacity) {
    if (capacity > 0) text[0] = '\0';
    return 0;
}

bool ShowHelpPage(const char*, const char*) {
    return false;
}

bool ReadOemText(char16_t*, int) {
    return false;
}

const char* DiagnosticFilePath() {
    return nullptr;
}

int RunMessageLoop(const Accelerator*, int) {
    return 0;
}
