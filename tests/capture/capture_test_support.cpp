#include "tests/capture/capture_test_support.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace {

std::mutex postedLock;
std::condition_variable postedChanged;
int posted = 0;

std::mutex notifyLogLock;
std::condition_variable notifyLogChanged;
std::vector<int> kinds;

// The program's handler, recorded once it has run.
void ProgramNotify(int kind) {
    OnCaptureNotify(kind);
    RecordNotify(kind);
}

}  // namespace

// The fake main window: counts the capture messages.
void PostMainWindowMessage(unsigned message, uintptr_t, intptr_t) {
    if (message != kWaveInDataMessage) return;
    {
        std::lock_guard<std::mutex> guard(postedLock);
        posted++;
    }
    postedChanged.notify_all();
}

int PostedMessages() {
    std::lock_guard<std::mutex> guard(postedLock);
    return posted;
}

void ResetPostedMessages() {
    std::lock_guard<std::mutex> guard(postedLock);
    posted = 0;
}

bool WaitForPostedMessages(int seen, int timeoutMs) {
    std::unique_lock<std::mutex> guard(postedLock);
    return postedChanged.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                  [seen] { return posted > seen; });
}

void RecordNotify(int kind) {
    {
        std::lock_guard<std::mutex> guard(notifyLogLock);
        kinds.push_back(kind);
    }
    notifyLogChanged.notify_all();
}

void ResetNotifications() {
    std::lock_guard<std::mutex> guard(notifyLogLock);
    kinds.clear();
}

int NotificationCount() {
    std::lock_guard<std::mutex> guard(notifyLogLock);
    return static_cast<int>(kinds.size());
}

int NotificationKind(int i) {
    std::lock_guard<std::mutex> guard(notifyLogLock);
    return kinds.at(i);
}

bool WaitForNotifications(int count) {
    std::unique_lock<std::mutex> guard(notifyLogLock);
    return notifyLogChanged.wait_for(guard, std::chrono::milliseconds(kPatientWaitMs),
                                     [count] { return static_cast<int>(kinds.size()) >= count; });
}

uint8_t StreamByte(size_t i) {
    return static_cast<uint8_t>(i % 251);
}

bool MatchesStream(const uint8_t* bytes, size_t n, size_t start) {
    for (size_t i = 0; i < n; i++) {
        if (bytes[i] != StreamByte(start + i)) return false;
    }
    return true;
}

bool OpenProgramDevice(const AudioSource& source) {
    ResetNotifications();
    ArmCaptureNotify();
    SetAudioSource(&source);
    if (!TheCaptureDevice.configured &&
        !TheCaptureDevice.Configure(ProgramNotify, CaptureReaderListening, kNormalThreadPriority,
                                    kCaptureBufferCount, kCaptureBufferSize, 1, 22050, 16)) {
        return false;
    }
    return TheCaptureDevice.Open();
}

bool ProgramDevicePositioned() {
    std::lock_guard<std::mutex> guard(TheCaptureDevice.lock);
    return TheCaptureDevice.readPosition != nullptr;
}
