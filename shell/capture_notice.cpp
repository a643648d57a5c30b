// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's side of the capture notice.
#include "shell/capture_notice.h"

#include "capture/capture.h"
#include "shell/host.h"

bool notifyArmed = true;
std::mutex notifyLock;

void OnCaptureNotify(int kind) {
    if (kind == kCaptureDataQueued) {
        bool post = false;
        {
            std::lock_guard<std::mutex> guard(notifyLock);
            post = notifyArmed;
            notifyArmed = false;
        }
        // Posted after the unlock: the window it wakes re-arms under the lock when it has
        // drained, and would otherwise often find it still held and sleep again. Disarmed
        // already, the window cannot re-arm before this message reaches it.
        if (post) PostMainWindowMessage(kWaveInDataMessage);
    } else if (kind == kCaptureOverflowed) {
        {
            std::lock_guard<std::mutex> guard(notifyLock);
            notifyArmed = true;
        }
        // Discards what is queued and restarts recording at once.
        TheCaptureDevice.Resynchronize();
    }
}

void ArmCaptureNotify() {
    std::lock_guard<std::mutex> guard(notifyLock);
    notifyArmed = true;
}

bool CaptureReaderListening() {
    std::lock_guard<std::mutex> guard(notifyLock);
    return notifyArmed;
}
