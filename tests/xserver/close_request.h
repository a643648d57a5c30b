// SPDX-License-Identifier: GPL-3.0-or-later
// What a window manager's close button sends a window: WM_DELETE_WINDOW in WM_PROTOCOLS.
// Apart from the test, as Xlib's macros collide with Qt's names.
#pragma once

// False when the display cannot be opened or the event not sent.
bool SendCloseRequest(const char* display, unsigned long window);
