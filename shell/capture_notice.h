// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's side of the capture notice. The capture thread calls OnCaptureNotify
// after queuing each buffer; at most one message 960 is outstanding until the window has
// drained the queue and re-armed.
#pragma once

#include <mutex>

extern bool notifyArmed;       // true while no capture message is outstanding; under notifyLock
extern std::mutex notifyLock;  // guards notifyArmed only

// Kind 1 (data queued) posts message 960 to the main window unless one is outstanding;
// kind 2 (overflow) re-arms and resynchronizes TheCaptureDevice.
void OnCaptureNotify(int kind);
// The main window's re-arm after draining.
void ArmCaptureNotify();
// True while the notice is armed: the window will hear of the next buffer. Handed to the
// capture device with OnCaptureNotify.
bool CaptureReaderListening();
