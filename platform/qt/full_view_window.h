// SPDX-License-Identifier: GPL-3.0-or-later
// The full view in the main window: its widget beside the handheld picture (one of the two
// shown), "Full Resolution" and "View Options..." at the end of the Control menu, a "Full"
// button after the image buttons, and the key F. They attach through the window host's hooks
// (main_window.h) after the extras, whose hooks they call first. Main thread only.
#pragma once

struct FullViewWindowTable {
    // The program shows the full view (true) or the handheld picture; false when refused.
    bool (*showFull)(bool full);
    bool (*fullShown)();
    // The View Options dialog was accepted: FullViewOptions holds the new options.
    void (*optionsChanged)();
};

// For the windows and bars made from now on.
void AttachFullViewToWindows(const FullViewWindowTable* table);

// Switches the picture as the menu item, the button and F do.
void ToggleFullView();
