// The main window's side of the capture notice.
#include "shell/capture_notice.h"

#include "capture/capture.h"
#include "shell/host.h"

bool notifyArmed = true;
std::mutex notifyLock;

void OnCaptureNotify(int kind) {
    if (kind == kCaptureDataQueued) {
        std::lock_guard<std::mutex> guard(notifyLock);
        if (notifyArmed) {
            PostMainWindowMessage(kWaveInDataMessage);
            notifyArmed = false;
        }
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
