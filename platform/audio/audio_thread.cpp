// SPDX-License-Identifier: GPL-3.0-or-later
// The source thread shared by the scripted and the file source.
#include "platform/audio/audio_thread.h"

#include <system_error>

namespace {

// Hands the buffers that reset took back to the client, without the mutex.
void ReturnTakenBack(SourceThread& source, std::unique_lock<std::mutex>& guard) {
    WaveHeader* taken[kMaxSourceBuffers];
    const int n = source.returningCount;
    for (int i = 0; i < n; i++)
        taken[i] = source.returning[i];
    source.returningCount = 0;
    guard.unlock();
    for (int i = 0; i < n; i++)
        source.client.returnBuffer(source.client.context, taken[i]);
    guard.lock();
}

uint32_t OldestLength(const SourceThread& source) {
    return source.queued[source.first]->dwBufferLength;
}

// True when the oldest queued buffer can be filled now, the clock aside.
bool CanDeliver(const SourceThread& source) {
    return source.started && source.count > 0 &&
           source.hooks.nextDue(OldestLength(source)) != SourceClock::time_point::max();
}

// The buffers of the next delivery, from the oldest queued: as many as make up the fragment,
// at least one; and their bytes.
int NextDelivery(const SourceThread& source, uint32_t* bytes) {
    int n = 0;
    *bytes = 0;
    do {
        *bytes += source.queued[(source.first + n) % kMaxSourceBuffers]->dwBufferLength;
        n++;
    } while (n < source.count && *bytes < source.fragmentBytes);
    return n;
}

// Fills the oldest queued buffer and hands it to the client, without the mutex. `left`: the
// buffers of this delivery still to come, this one included.
void DeliverOldest(SourceThread& source, std::unique_lock<std::mutex>& guard, int left) {
    WaveHeader* header = source.queued[source.first];
    source.first = (source.first + 1) % kMaxSourceBuffers;
    source.count--;
    source.hooks.fill(*header);
    // Asked after the fill, which sees the end of the input: the last buffer handed over
    // must say so, or the reader would not hear of the delivery.
    const bool more = left > 1 && CanDeliver(source);
    source.delivering = true;
    source.inClient++;  // before the client can queue it again
    guard.unlock();
    if (source.hooks.handsOver && source.client.takeBuffer != nullptr) {
        source.client.takeBuffer(source.client.context, header, more);
    } else {
        source.client.returnBuffer(source.client.context, header);
    }
    guard.lock();
    source.delivering = false;
}

void RunSourceThread(SourceThread* thread) {
    SourceThread& source = *thread;
    std::unique_lock<std::mutex> guard(source.mutex);
    for (;;) {
        if (source.returningCount > 0) {
            ReturnTakenBack(source, guard);
            continue;
        }
        if (source.quit) break;
        if (!source.started || source.count == 0) {
            source.changed.wait(guard);
            continue;
        }
        uint32_t bytes = 0;
        int left = NextDelivery(source, &bytes);
        const SourceClock::time_point due = source.hooks.nextDue(bytes);
        if (due == SourceClock::time_point::max()) {
            source.changed.wait(guard);
            continue;
        }
        if (SourceClock::now() < due) {
            source.changed.wait_until(guard, due);
            continue;
        }
        // Ends early only at the input's end, or when a stop, reset or close came meanwhile.
        do {
            DeliverOldest(source, guard, left);
        } while (--left > 0 && source.returningCount == 0 && !source.quit && CanDeliver(source));
        source.changed.notify_all();
    }
}

// The state of a source just opened; under the mutex.
void Prepare(SourceThread& source, const AudioSourceClient& client,
             const SourceThreadHooks& hooks) {
    source.hooks = hooks;
    source.client = client;
    source.first = 0;
    source.count = 0;
    source.returningCount = 0;
    source.fragmentBytes = 0;
    source.inClient = 0;
    source.delivering = false;
    source.started = false;
    source.quit = false;
}

}  // namespace

bool OpenSourceThread(SourceThread& source, const AudioSourceClient& client,
                      const SourceThreadHooks& hooks) {
    if (source.thread.joinable() || source.pulled) return false;
    {
        std::lock_guard<std::mutex> guard(source.mutex);
        Prepare(source, client, hooks);
    }
    try {
        source.thread = std::thread(RunSourceThread, &source);
    } catch (const std::system_error&) {
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(source.mutex);
        source.open = true;
    }
    return true;
}

bool OpenPulledSource(SourceThread& source, const AudioSourceClient& client,
                      const SourceThreadHooks& hooks) {
    std::lock_guard<std::mutex> guard(source.mutex);
    if (source.thread.joinable() || source.pulled) return false;
    Prepare(source, client, hooks);
    source.pulled = true;
    source.open = true;
    return true;
}

bool PullSourceBuffer(SourceThread& source) {
    std::unique_lock<std::mutex> guard(source.mutex);
    if (!source.pulled || source.delivering || !CanDeliver(source)) return false;
    DeliverOldest(source, guard, 1);
    return true;
}

bool AddSourceBuffer(SourceThread& source, WaveHeader* header) {
    bool wasEmpty;
    {
        std::lock_guard<std::mutex> guard(source.mutex);
        if (header == nullptr || source.count == kMaxSourceBuffers) return false;
        header->dwBytesRecorded = 0;
        source.queued[(source.first + source.count) % kMaxSourceBuffers] = header;
        wasEmpty = source.count == 0;
        source.count++;
        if (source.inClient > 0) source.inClient--;
    }
    // Only a thread without buffers waits for one; waking it otherwise costs two context
    // switches for a look that finds nothing new.
    if (wasEmpty) source.changed.notify_all();
    return true;
}

void StartSourceThread(SourceThread& source) {
    {
        std::lock_guard<std::mutex> guard(source.mutex);
        if (source.started) return;
        source.started = true;
        if (source.hooks.started != nullptr) source.hooks.started();
    }
    source.changed.notify_all();
}

void StopSourceThread(SourceThread& source) {
    {
        std::lock_guard<std::mutex> guard(source.mutex);
        source.started = false;
    }
    source.changed.notify_all();
}

void ResetSourceThread(SourceThread& source) {
    std::unique_lock<std::mutex> guard(source.mutex);
    source.started = false;
    for (int i = 0; i < source.count; i++) {
        if (source.returningCount == kMaxSourceBuffers) break;
        source.returning[source.returningCount++] =
            source.queued[(source.first + i) % kMaxSourceBuffers];
    }
    source.first = 0;
    source.count = 0;
    if (source.pulled) {
        ReturnTakenBack(source, guard);  // there is no thread to return them
        return;
    }
    guard.unlock();
    source.changed.notify_all();
}

void CloseSourceThread(SourceThread& source) {
    {
        std::lock_guard<std::mutex> guard(source.mutex);
        if (source.pulled) {
            source.pulled = false;
            source.open = false;
            return;
        }
    }
    if (!source.thread.joinable()) return;
    {
        std::lock_guard<std::mutex> guard(source.mutex);
        source.quit = true;
    }
    source.changed.notify_all();
    source.thread.join();
    std::lock_guard<std::mutex> guard(source.mutex);
    source.open = false;
}

void SetSourceFragment(SourceThread& source, uint32_t bytes) {
    {
        std::lock_guard<std::mutex> guard(source.mutex);
        source.fragmentBytes = bytes;
    }
    // A thread waiting for a large delivery's end delivers what is due now instead.
    source.changed.notify_all();
}
