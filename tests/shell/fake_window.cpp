// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/shell/fake_window.h"

#include <cstring>
#include <mutex>

#include "shell/host.h"
#include "shell/main_window.h"
#include "shell/startup.h"

FakeWindowRecord FakeWindow;

namespace {

std::mutex postedLock;  // the capture thread posts too
int windowToken = 0;    // the fake window's handle is its address
int dialogToken = 0;

void* BarHandle(size_t index) {
    return reinterpret_cast<void*>(index + 1);
}

FakeMenuBar* Bar(void* handle) {
    const size_t index = reinterpret_cast<size_t>(handle);
    if (index == 0 || index > FakeWindow.menuBars.size()) return nullptr;
    return &FakeWindow.menuBars[index - 1];
}

}  // namespace

void ResetFakeWindow() {
    std::lock_guard<std::mutex> guard(postedLock);
    FakeWindow = FakeWindowRecord{};
}

size_t PostedCount(unsigned message) {
    std::lock_guard<std::mutex> guard(postedLock);
    size_t n = 0;
    for (const PostedMessage& m : FakeWindow.posted)
        n += m.message == message;
    return n;
}

const FakeMenuBar* CurrentFakeMenuBar(void* handle) {
    return Bar(handle);
}

int DeliverPostedMessages() {
    int delivered = 0;
    for (;;) {
        PostedMessage m;
        {
            std::lock_guard<std::mutex> guard(postedLock);
            if (FakeWindow.posted.empty() || FakeWindow.quitCode >= 0) break;
            m = FakeWindow.posted.front();
            FakeWindow.posted.erase(FakeWindow.posted.begin());
        }
        MainWindowProc(&windowToken, m.message, m.wParam, m.lParam);
        ++delivered;
    }
    return delivered;
}

void SendCommand(int command) {
    MainWindowProc(&windowToken, WM_COMMAND, static_cast<uintptr_t>(command), 0);
}

bool RaiseRunningInstance() {
    return FakeWindow.otherInstanceRuns;
}

void* CreateMainWindow(const char*, const char*, WindowProc proc) {
    if (FakeWindow.windowCreationFails) return nullptr;
    FakeWindow.windowCreated = true;
    proc(&windowToken, WM_CREATE, 0, 0);
    return &windowToken;
}

WindowRect GetMainWindowRect() {
    return WindowRect{0, 26, 240, 320};
}

void MoveMainWindow(int left, int top, int width, int height) {
    const int moved[4] = {left, top, width, height};
    std::memcpy(FakeWindow.moved, moved, sizeof moved);
}

void ShowMainWindow() {
    FakeWindow.windowShown = true;
    PostMainWindowMessage(WM_PAINT);
}

void SetMainWindowTitle(const char* title) {
    FakeWindow.titles.emplace_back(title);
}

void SetMainWindowStatus(const char* status) {
    FakeWindow.status = status != nullptr ? status : "";
}

void PostMainWindowMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
    if (FakeWindow.onPost) FakeWindow.onPost(message);
    std::lock_guard<std::mutex> guard(postedLock);
    FakeWindow.posted.push_back({message, wParam, lParam});
}

intptr_t DefaultWindowProc(void* window, unsigned message, uintptr_t, intptr_t) {
    if (message == WM_CLOSE && !FakeWindow.windowDestroyed) {
        FakeWindow.windowDestroyed = true;
        MainWindowProc(window, WM_DESTROY, 0, 0);
    }
    return 0;
}

void PostQuitMessage(int code) {
    FakeWindow.quitCode = code;
}

// As a window system does, a bar needs the window it belongs to.
void* CreateMenuBar(void* window, int) {
    if (FakeWindow.menuBarFails || window != &windowToken || !FakeWindow.windowCreated) {
        return nullptr;
    }
    FakeWindow.menuBars.emplace_back();
    return BarHandle(FakeWindow.menuBars.size() - 1);
}

bool AddMenuBarBitmap(void* bar, int bitmap, int imageCount) {
    FakeMenuBar* b = Bar(bar);
    if (b == nullptr) return false;
    b->bitmap = bitmap;
    b->imageCount = imageCount;
    return true;
}

bool AddMenuBarButtons(void* bar, const MenuBarButton* buttons, int count) {
    FakeMenuBar* b = Bar(bar);
    if (b == nullptr) return false;
    for (int i = 0; i < count; ++i)
        b->commands.push_back(buttons[i].command);
    return true;
}

void CheckMenuBarItem(void* bar, int command, bool checked) {
    if (FakeMenuBar* b = Bar(bar)) b->checked[command] = checked;
}

void DestroyMenuBar(void* bar) {
    if (FakeMenuBar* b = Bar(bar)) b->destroyed = true;
}

void ShowMessageBox(void*, const char* text, const char* caption, int icon) {
    FakeWindow.messageBoxes.push_back({text, caption, icon});
}

intptr_t RunModalDialog(void*, int resource, WindowProc proc) {
    FakeWindow.dialogsRun.push_back(resource);
    if (FakeWindow.dialogsCannotShow) return -1;
    FakeWindow.controls.clear();
    FakeWindow.dialogEnded = false;
    FakeWindow.dialogResult = -1;
    proc(&dialogToken, WM_INITDIALOG, 0, 0);
    if (FakeWindow.dialogUser) FakeWindow.dialogUser(&dialogToken);
    return FakeWindow.dialogResult;
}

void EndDialog(void*, intptr_t result) {
    FakeWindow.dialogEnded = true;
    FakeWindow.dialogResult = result;
}

void CheckDialogButton(void*, int id, bool checked) {
    FakeWindow.controls[id].checked = checked;
}

bool IsDialogButtonChecked(void*, int id) {
    return FakeWindow.controls[id].checked;
}

void EnableDialogItem(void*, int id, bool enabled) {
    FakeWindow.controls[id].enabled = enabled;
}

void SetDialogItemText(void*, int id, const char* text) {
    FakeWindow.controls[id].text = text;
}

int GetDialogItemText(void*, int id, char* text, int capacity) {
    if (capacity <= 0) return 0;
    const std::string& value = FakeWindow.controls[id].text;
    const int n = static_cast<int>(value.size()) < capacity - 1 ? static_cast<int>(value.size())
                                                                : capacity - 1;
    std::memcpy(text, value.data(), static_cast<size_t>(n));
    text[n] = '\0';
    return n;
}

bool ShowHelpPage(const char* page, const char* anchor) {
    FakeWindow.helpPages.push_back(std::string(page) + "#" + anchor);
    return !FakeWindow.helpPageMissing;
}

bool ReadOemText(char16_t* text, int capacity) {
    if (!FakeWindow.haveOemText) return false;
    int n = 0;
    for (; n < capacity && n < static_cast<int>(FakeWindow.oemText.size()); ++n)
        text[n] = FakeWindow.oemText[static_cast<size_t>(n)];
    if (n < capacity) text[n] = u'\0';
    return true;
}

const char* DiagnosticFilePath() {
    return FakeWindow.diagnosticPath.empty() ? nullptr : FakeWindow.diagnosticPath.c_str();
}

int RunMessageLoop(const Accelerator*, int) {
    DeliverPostedMessages();
    return FakeWindow.quitCode;
}
