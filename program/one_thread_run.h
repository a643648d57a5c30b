// SPDX-License-Identifier: GPL-3.0-or-later
// Headless runs on one thread. A file: the same blocks, in the same order, with the same
// drains and the same messages between them as a run through the capture thread, without
// handing every block from thread to thread. The microphone: the same messages in the same
// order as in Qt's event loop, with the run waiting on the sound server itself.
#pragma once

struct ProgramOptions;
struct PulseLoopHost;

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

// True for a live headless run.
bool RunsLiveOnOneThread(const ProgramOptions& options);

// Looks after a sound server's source on a live run's own loop; wake may be called on any
// thread.
extern const PulseLoopHost OwnLoopPulseHost;

// Before the QApplication is made and the source opens: the descriptor that the host's wake
// writes, and the event dispatcher that posts without a system call. False when there is no
// descriptor, and the run then goes through Qt's event loop.
bool PrepareLiveOneThreadRun();

// How often a live run on its own loop looks at Qt's own events (timers, and a signal's
// notifier when the signal pipe has not woken it already): after a turn of the source's loop
// once this long has passed since the last look, and at the latest after the second.
constexpr int kOwnLoopEventLookMs = 1000;
constexpr int kOwnLoopQuietLookMs = 5000;

// Start-up, then, while a source is open with OwnLoopPulseHost, one poll for what it watches,
// its wake and `signalFd`: each turn of the source's loop is followed by every message it
// posted, and Qt's own events are looked at as kOwnLoopEventLookMs says and when
// `signalFd` is readable. Once no source is open with that host (none opened, another source, one
// closed), the run goes on in Qt's event loop, with `otherHost` for a later opening.
// Returns the message loop's exit code, 0 when start-up failed.
int RunLiveOnOneThread(int signalFd, const PulseLoopHost* otherHost);
