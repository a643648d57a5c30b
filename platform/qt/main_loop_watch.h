// SPDX-License-Identifier: GPL-3.0-or-later
// Descriptors watched on the main thread's event loop, for a library whose connection is
// looked after there (the sound server's), so that no thread of its own wakes beside it.
#pragma once

#include <poll.h>

// On the main thread. Replaces what is watched: `due` runs there once one of the `count`
// descriptors is ready for its events (POLLIN, POLLOUT; a hang-up or an error counts as
// ready for input), and again while it stays ready, or `timeoutMs` from now (negative:
// never). Count 0 watches no descriptor; beyond 16, the rest are not watched (the caller then
// gives a short timeout).
void WatchOnMainLoop(const pollfd* fds, unsigned count, int timeoutMs, void (*due)());
// From any thread: `due` runs soon on the main thread.
void RunOnMainLoop(void (*due)());
