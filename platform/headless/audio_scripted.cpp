// SPDX-License-Identifier: GPL-3.0-or-later
// The scripted source: delivers the buffers a test asks for, as soon as it can.
#include <algorithm>
#include <cstring>

#include "platform/audio/audio_thread.h"
#include "platform/headless/scripted_source.h"

namespace {

// Guarded by source.mutex, except inputPresent (set while the source is closed).
struct ScriptedRecord {
    SourceThread source;
    bool inputPresent = true;
    const uint8_t* bytes = nullptr;      // the script's data, consumed in turn
    const uint32_t* recorded = nullptr;  // bytes recorded per buffer
    int count = 0;                       // buffers in the script
    int next = 0;                        // next buffer to deliver
    size_t offset = 0;                   // next byte of `bytes`
    uint32_t fragmentBytes = 0;          // the last setFragment since the opening; 0: none
};
ScriptedRecord Scripted;

SourceClock::time_point ScriptedNextDue(uint32_t) {
    return Scripted.next < Scripted.count ? SourceClock::time_point::min()
                                          : SourceClock::time_point::max();
}

void ScriptedFill(WaveHeader& header) {
    const uint32_t recorded = Scripted.recorded[Scripted.next++];
    const uint32_t copied = std::min(recorded, header.dwBufferLength);
    std::memcpy(header.lpData, Scripted.bytes + Scripted.offset, copied);
    Scripted.offset += copied;
    header.dwBytesRecorded = recorded;  // as scripted, even when more than the buffer holds
}

bool ScriptedOpen(const WaveFormat&, const AudioSourceClient& client) {
    if (!Scripted.inputPresent) return false;
    {
        std::lock_guard<std::mutex> guard(Scripted.source.mutex);
        Scripted.fragmentBytes = 0;
    }
    return OpenSourceThread(Scripted.source, client,
                            SourceThreadHooks{ScriptedNextDue, ScriptedFill, nullptr, false});
}

// Noted only: the script says what is delivered at once.
void ScriptedFragment(uint32_t bytes) {
    std::lock_guard<std::mutex> guard(Scripted.source.mutex);
    Scripted.fragmentBytes = bytes;
}

}  // namespace

const AudioSource ScriptedAudioSource = SourceThreadTable<Scripted>(ScriptedOpen, ScriptedFragment);

void SetScriptedInputPresent(bool present) {
    Scripted.inputPresent = present;
}

void PlayScriptedBuffers(const uint8_t* bytes, const uint32_t* recorded, int count) {
    {
        std::lock_guard<std::mutex> guard(Scripted.source.mutex);
        Scripted.bytes = bytes;
        Scripted.recorded = recorded;
        Scripted.count = count;
        Scripted.next = 0;
        Scripted.offset = 0;
    }
    Scripted.source.changed.notify_all();
}

bool WaitScriptedBuffersDelivered(int timeoutMs) {
    std::unique_lock<std::mutex> guard(Scripted.source.mutex);
    return Scripted.source.changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [] {
        return Scripted.next == Scripted.count && !Scripted.source.delivering;
    });
}

int ScriptedBuffersQueued() {
    std::lock_guard<std::mutex> guard(Scripted.source.mutex);
    return Scripted.source.count;
}

uint32_t ScriptedFragmentBytes() {
    std::lock_guard<std::mutex> guard(Scripted.source.mutex);
    return Scripted.fragmentBytes;
}
