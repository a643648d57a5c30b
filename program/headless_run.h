// SPDX-License-Identifier: GPL-3.0-or-later
// Scripted and headless runs: the --command script and the close at the end of a file while
// the program runs, and what a run writes when it ends (pitch log, damage found while
// playing, statistics, snapshot, average spectrum) with its exit code.
#pragma once

struct ProgramOptions;

// Before the QApplication is made: a headless run uses Qt's offscreen platform (unless the
// environment names one) and drops the notes it makes about window operations.
void PrepareHeadlessRun(const ProgramOptions& options);

// After the window host is set up, before the program runs: posts the scripted commands as
// the blocks are processed, closes a headless run at the end of its file (a window's note
// of it is input_switch.h's), and stops a headless run's picture from repainting; a headless
// run without a snapshot to write draws nothing.
void StartScript(const ProgramOptions& options);

// After the message loop has ended with `code`, or signal `signal` (0: none) ended it: closes
// the pitch log, reports damage found while playing, capture that failed, scripted commands
// that never ran and a second start that only raised the running window, prints the
// statistics and writes the snapshot and the average spectrum (--spectrum-out). Returns the
// exit code: 128 + signal, else 2 for a damaged input, else 1 when an output or a command
// failed, else `code`.
int FinishRun(const ProgramOptions& options, int code, int signal);
