// SPDX-License-Identifier: GPL-3.0-or-later
// A recording window system for the shell's tests: every platform window operation is
// defined here, records what it was asked, and runs modal dialogs against scripted
// controls, so the main window and the dialogs run without Qt.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct PostedMessage {
    unsigned message;
    uintptr_t wParam;
    intptr_t lParam;
};

struct FakeMenuBar {
    int bitmap = 0;
    int imageCount = 0;
    std::vector<int> commands;    // the buttons' command ids, in order
    std::map<int, bool> checked;  // drop-down items given a check mark, or having it removed
    bool destroyed = false;
};

struct FakeMessageBox {
    std::string text;
    std::string caption;
    int icon;
};

// The controls of the running (or last) dialog.
struct FakeControl {
    bool checked = false;
    bool enabled = true;
    std::string text;
};

struct FakeWindowRecord {
    // Inputs the tests set.
    bool otherInstanceRuns = false;
    bool windowCreationFails = false;
    bool menuBarFails = false;
    bool haveOemText = false;
    std::u16string oemText;
    std::string diagnosticPath;  // empty: no path
    // Called while a modal dialog runs, after WM_INITDIALOG: acts as the user would.
    std::function<void(void* dialog)> dialogUser;
    // Called with each message as it is posted, on the posting thread. May be empty.
    std::function<void(unsigned message)> onPost;
    bool dialogsCannotShow = false;
    bool helpPageMissing = false;

    // What the shell did.
    std::vector<PostedMessage> posted;
    std::vector<std::string> titles;
    std::string status;                 // beside the title
    std::vector<FakeMenuBar> menuBars;  // every bar created; index + 1 is its handle
    std::vector<FakeMessageBox> messageBoxes;
    std::vector<int> dialogsRun;  // resource ids
    std::map<int, FakeControl> controls;
    intptr_t dialogResult = -1;
    bool dialogEnded = false;
    std::vector<std::string> helpPages;  // "page#anchor"
    bool windowCreated = false;
    bool windowShown = false;
    bool windowDestroyed = false;
    int quitCode = -1;
    int moved[4] = {0, 0, 0, 0};
};
extern FakeWindowRecord FakeWindow;

// Forgets everything recorded and restores the inputs' defaults.
void ResetFakeWindow();

// Posted messages of this number still queued; safe while the capture thread posts.
size_t PostedCount(unsigned message);

// The bar the shell holds now, or null.
const FakeMenuBar* CurrentFakeMenuBar(void* handle);

// Delivers the posted messages to MainWindowProc in order until none is left or the quit
// message was posted; returns how many were delivered.
int DeliverPostedMessages();

// Sends WM_COMMAND `command` to the main window procedure.
void SendCommand(int command);
