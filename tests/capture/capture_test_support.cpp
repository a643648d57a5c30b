// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/capture/capture_test_support.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

namespace {

std::mutex readerLock;
std::condition_variable readerWoken;
bool readerArmed = true;
int wakes = 0;

std::mutex notifyLogLock;
std::condition_variable notifyLogChanged;
std::vector<int> kinds;

void ReaderNotifyRecorded(int kind) {
    ReaderNotify(kind);
    RecordNotify(kind);
}

}  // namespace

void ReaderNotify(int kind) {
    if (kind == kCaptureDataQueued) {
        {
            std::lock_guard<std::mutex> guard(readerLock);
            if (!readerArmed) return;
            readerArmed = false;
            wakes++;
        }
        readerWoken.notify_all();
    } else if (kind == kCaptureOverflowed) {
        {
            std::lock_guard<std::mutex> guard(readerLock);
            readerArmed = true;
        }
        TheCaptureDevice.Resynchronize();
    }
}

bool ReaderListening() {
    std::lock_guard<std::mutex> guard(readerLock);
    return readerArmed;
}

void ArmReader() {
    std::lock_guard<std::mutex> guard(readerLock);
    readerArmed = true;
}

int ReaderWakes() {
    std::lock_guard<std::mutex> guard(readerLock);
    return wakes;
}

void ResetReaderWakes() {
    std::lock_guard<std::mutex> guard(readerLock);
    wakes = 0;
}

bool WaitForReaderWakes(int seen, int timeoutMs) {
    std::unique_lock<std::mutex> guard(readerLock);
    return readerWoken.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                [seen] { return wakes > seen; });
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

long CurrentThreadId() {
    return static_cast<long>(syscall(SYS_gettid));
}

long ThreadSleeps(long tid) {
    std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "voluntary_ctxt_switches:" && status >> value) return value;
    }
    return -1;
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

bool OpenReaderDevice(const AudioSource& source) {
    ResetNotifications();
    ArmReader();
    SetAudioSource(&source);
    if (!TheCaptureDevice.configured &&
        !TheCaptureDevice.Configure(ReaderNotifyRecorded, ReaderListening, kNormalThreadPriority,
                                    kCaptureBufferCount, kCaptureBufferSize, 1, 22050, 16)) {
        return false;
    }
    return TheCaptureDevice.Open();
}

bool ProgramDevicePositioned() {
    std::lock_guard<std::mutex> guard(TheCaptureDevice.lock);
    return TheCaptureDevice.readPosition != nullptr;
}
