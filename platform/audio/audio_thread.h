// SPDX-License-Identifier: GPL-3.0-or-later
// The thread and the queue of empty buffers that the scripted and the file source share.
// The source says when its next buffer is due and fills it; this part keeps the driver's
// rules: buffers filled in the order they were queued, each returned on this thread, stop
// holding deliveries back, reset returning the queued buffers unfilled.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "capture/audio_source.h"

using SourceClock = std::chrono::steady_clock;

struct SourceThreadHooks {
    // Under the mutex: when the next `bytes` bytes (the lengths of the oldest queued buffers)
    // are due; a time already past means at once, SourceClock::time_point::max() that there
    // is nothing to deliver.
    SourceClock::time_point (*nextDue)(uint32_t bytes);
    // Under the mutex: fills the buffer and sets its dwBytesRecorded.
    void (*fill)(WaveHeader& header);
    // Under the mutex, when start turns the source on. May be null.
    void (*started)();
    // Hand each buffer to the client's takeBuffer (when it has one) rather than returnBuffer:
    // for a source whose thread only waits for its due times and fills.
    bool handsOver;
};

struct SourceThread {
    std::mutex mutex;  // guards everything below and the source's own delivery state
    std::condition_variable changed;
    std::thread thread;  // joinable between OpenSourceThread and CloseSourceThread
    SourceThreadHooks hooks;
    AudioSourceClient client;
    WaveHeader* queued[kMaxSourceBuffers];  // empty buffers, oldest from `first`
    int first;
    int count;
    WaveHeader* returning[kMaxSourceBuffers];  // taken back by reset, for the thread to return
    int returningCount;
    uint32_t fragmentBytes;  // bytes delivered together (SetSourceFragment); 0: one buffer
    int inClient;            // buffers delivered and not yet queued again
    bool delivering;         // a filled buffer is being handed to the client
    bool started;
    bool quit;
    bool open;    // between OpenSourceThread (or OpenPulledSource) and CloseSourceThread
    bool pulled;  // opened by OpenPulledSource: no thread, PullSourceBuffer delivers
};

bool OpenSourceThread(SourceThread& source, const AudioSourceClient& client,
                      const SourceThreadHooks& hooks);
// The same without a thread: a buffer is delivered only when PullSourceBuffer asks, on the
// caller's thread, and reset returns the queued buffers at once (a headless run that plays a
// file on one thread). The hooks' times only tell whether a buffer is due at all.
bool OpenPulledSource(SourceThread& source, const AudioSourceClient& client,
                      const SourceThreadHooks& hooks);
// Fills and returns the oldest queued buffer now, when the source is pulled and started and
// has one to deliver; false otherwise.
bool PullSourceBuffer(SourceThread& source);
bool AddSourceBuffer(SourceThread& source, WaveHeader* header);
void StartSourceThread(SourceThread& source);
void StopSourceThread(SourceThread& source);
void ResetSourceThread(SourceThread& source);
void CloseSourceThread(SourceThread& source);  // returns what reset took back, then joins
// From the next delivery on, the thread hands over as many buffers together as make up
// `bytes`, when the last of them is due: so a reader with nothing to show wakes once a
// fragment. A buffer's worth or less: one at a time again. A pulled source keeps its pace.
void SetSourceFragment(SourceThread& source, uint32_t bytes);

// The table of a source whose global record keeps its thread in a member `source`: its own
// open and setFragment (may be null), the other operations from here. The template takes the
// whole record because a member's address is not a template argument that every compiler
// accepts (clang 14).
template <auto& record>
constexpr AudioSource SourceThreadTable(bool (*open)(const WaveFormat&, const AudioSourceClient&),
                                        void (*setFragment)(uint32_t) = nullptr) {
    return AudioSource{
        open,
        [](WaveHeader* header) { return AddSourceBuffer(record.source, header); },
        [] { StartSourceThread(record.source); },
        [] { StopSourceThread(record.source); },
        [] { ResetSourceThread(record.source); },
        [] { CloseSourceThread(record.source); },
        setFragment,
    };
}
