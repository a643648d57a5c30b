// SPDX-License-Identifier: GPL-3.0-or-later
// Outputs that the run writes when it ends, and the signal that ends a run wherever it waits.
#pragma once

#include <sys/types.h>

// Called from the signal handler (async-signal-safe): signal `signal` is to end the run. The
// first one is kept.
void RecordEndingSignal(int signal);

// The signal that is to end the run; 0 while none arrived.
int EndingSignal();

// Opens `path` for writing with open(2)'s `flags` and `mode`, blocking as usual, except that
// a FIFO that has no reader is waited for only until a signal is to end the run (then -1 with
// errno EINTR).
int OpenOutput(const char* path, int flags, mode_t mode);

// Writes `size` bytes as the whole content of `path`: a regular or new file (through a
// symlink, at its target) is replaced in one step (ReplaceFile), so that a failure leaves the
// old file as it was; a FIFO or a device is written in place. False with errno telling why.
bool WriteWholeFile(const char* path, const char* bytes, int size);
