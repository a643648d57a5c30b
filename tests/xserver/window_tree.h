// SPDX-License-Identifier: GPL-3.0-or-later
// The X windows the test looks into and puts in the way, through Xlib (apart from the test,
// as Xlib's macros collide with Qt's names).
#pragma once

#include <vector>

// A window's place in its parent, its size and its id.
struct ChildWindow {
    int x, y, width, height;
    unsigned long id;
};

// The child windows of `window`; empty when there is none or the display cannot be opened.
std::vector<ChildWindow> ChildWindows(const char* display, unsigned long window);

// Maps a white window without a frame over the screen's area (x, y, width, height) and waits
// until the server has drawn it; false when it could not. RemoveCover unmaps and destroys it.
bool CoverScreenArea(const char* display, int x, int y, int width, int height);
void RemoveCover();
