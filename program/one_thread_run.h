// SPDX-License-Identifier: GPL-3.0-or-later
// A headless run of an audio file on one thread: the same blocks, in the same order, with
// the same drains and the same messages between them as a run through the capture thread,
// without handing every block from thread to thread.
#pragma once

struct ProgramOptions;

// True for the runs that play on one thread: headless, with --input.
bool RunsOnOneThread(const ProgramOptions& options);

// Before the QApplication is made: the event dispatcher that posts without a system call.
void PrepareOneThreadRun();

// Start-up, then the file (loaded with kPulled pacing) a buffer at a time: each buffer is
// filled, goes through the capture device's queue and its notice, and the drain and every
// message that follows from it (the scripted commands due, the close after "Exit") are
// delivered before the next buffer is filled. At the end of the file the window is closed
// as the close button does. Called after StartScript, which decides whether anything is
// drawn. Returns the message loop's exit code, 0 when start-up failed.
int RunOneThread(const ProgramOptions& options);
