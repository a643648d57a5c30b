// SPDX-License-Identifier: GPL-3.0-or-later
// Test support for the capture device: a reader that hears of captured audio as a window
// does, a recorder of notifications, and a byte pattern that shows where each byte of a
// stream came from.
#pragma once

#include <cstddef>
#include <cstdint>

#include "capture/capture.h"

// The longest wait for something that must happen. A passing test never waits this long; it
// is this generous so that a loaded machine or ThreadSanitizer cannot make a test fail.
constexpr int kPatientWaitMs = 60000;

// The reader: the capture device's notify and readerListening as any reader must answer
// them. A queued buffer wakes it once, until it re-arms after reading; an overflow re-arms it
// and resynchronizes TheCaptureDevice. Wakes counts those wake-ups since the last reset.
void ReaderNotify(int kind);
bool ReaderListening();
void ArmReader();
int ReaderWakes();
void ResetReaderWakes();
// Waits until the reader has been woken more than `seen` times; false on timeout.
bool WaitForReaderWakes(int seen, int timeoutMs);

// A notify function that records each kind, for devices configured with it.
void RecordNotify(int kind);
void ResetNotifications();
int NotificationCount();
int NotificationKind(int i);
// Waits until `count` notifications have been recorded; false after kPatientWaitMs.
bool WaitForNotifications(int count);

// The calling thread's id in the kernel, and how often thread `tid` of this process has gone
// to sleep of its own accord (its voluntary context switches); -1 when it cannot be read.
long CurrentThreadId();
long ThreadSleeps(long tid);

// Byte i of the test stream; its period of 251 bytes is prime to every buffer size used.
uint8_t StreamByte(size_t i);
// True when `n` bytes equal the stream from byte `start` on.
bool MatchesStream(const uint8_t* bytes, size_t n, size_t start);

// Opens TheCaptureDevice on the source as the program does (kCaptureBufferCount buffers of
// 2048 bytes, mono, 22050 Hz, 16 bits), with ReaderNotify followed by RecordNotify as its
// notify function and ReaderListening. Clears the recorded notifications and arms the reader
// first.
bool OpenReaderDevice(const AudioSource& source);
// True while TheCaptureDevice's queue is positioned.
bool ProgramDevicePositioned();
