// SPDX-License-Identifier: GPL-3.0-or-later
// The pitch log: one CSV row for every processed block while pitch tracking runs, made
// from the values the readout draws, so that the log and the screen never disagree.
//
//   time_s,frequency_hz,note,cents,lock
//   12.445,440.112,A,0,locked
#pragma once

// How the rows reach the reader: each as it is made (a pipe, a terminal, a file that someone
// follows with tail -f while the sound plays), or in the C library's blocks, for a run that
// makes minutes of rows in milliseconds and is read when it ends.
enum class PitchLogFlush {
    kEveryRow,
    kWhenFull,
};

// Opens the log at `path` ("-" for standard output), replacing the file, and writes the
// header. False, with no log, when the file cannot be created.
bool OpenPitchLog(const char* path, PitchLogFlush flush = PitchLogFlush::kEveryRow);
// Writes the row of the block just processed: the audio's seconds up to the block's end,
// the pitch the readout received (not above 1 Hz: none) and the lock state. Nothing when no
// log is open.
void LogPitchRow(double seconds, float pitch, int lockState);
// Flushes and closes the log (standard output is flushed only). False, with errno telling
// why, when any of its writes failed: the log is not whole.
bool ClosePitchLog();
