// The source thread shared by the scripted and the file source.
#include "platform/audio/audio_thread.h"

#include <system_error>

namespace {

// The open source threads, for WakeSourceThreads. Taken before a source's mutex, never after.
constexpr int kMostOpenSources = 8;
std::mutex OpenSourcesLock;
SourceThread* OpenSources[kMostOpenSources];

void Register(SourceThread* source) {
    std::lock_guard<std::mutex> guard(OpenSourcesLock);
    for (SourceThread*& slot : OpenSources) {
        if (slot == nullptr) {
            slot = source;
            return;
        }
    }
    // More open sources than slots: the extra one is paced by its retry alone.
}

void Unregister(SourceThread* source) {
    std::lock_guard<std::mutex> guard(OpenSourcesLock);
    for (SourceThread*& slot : OpenSources) {
        if (slot == source) slot = nullptr;
    }
}

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

// Fills the oldest queued buffer and hands it to the client, without the mutex.
void DeliverOldest(SourceThread& source, std::unique_lock<std::mutex>& guard) {
    WaveHeader* header = source.queued[source.first];
    source.first = (source.first + 1) % kMaxSourceBuffers;
    source.count--;
    source.hooks.fill(*header);
    source.delivering = true;
    source.inClient++;  // before the client can queue it again
    guard.unlock();
    source.client.returnBuffer(source.client.context, header);
    guard.lock();
    source.delivering = false;
}

void RunSourceThread(SourceThread* thread) {
    SourceThread& source = *thread;
    std::unique_lock<std::mutex> guard(source.mutex);
    // Readiness only changes through our own deliveries, so a positive answer holds until
    // the next one.
    bool ready = false;
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
        const SourceClock::time_point due = source.hooks.nextDue(*source.queued[source.first]);
        if (due == SourceClock::time_point::max()) {
            source.changed.wait(guard);
            continue;
        }
        if (SourceClock::now() < due) {
            source.changed.wait_until(guard, due);
            continue;
        }
        if (source.hooks.ready != nullptr && !ready) {
            // A wake that comes while ready() runs unlocked must not be slept through.
            const unsigned wakes = source.wakes;
            guard.unlock();
            ready = source.hooks.ready();
            guard.lock();
            if (!ready && source.wakes == wakes) {
                source.changed.wait_for(guard, std::chrono::milliseconds(kSourceRetryMs));
            }
            continue;  // the state may have changed meanwhile
        }
        ready = false;
        DeliverOldest(source, guard);
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
    Register(&source);
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
    if (!source.pulled || !source.started || source.count == 0 || source.delivering) return false;
    if (source.hooks.nextDue(*source.queued[source.first]) == SourceClock::time_point::max()) {
        return false;
    }
    DeliverOldest(source, guard);
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
    // Only a thread without buffers waits for one. Waking it otherwise costs two context
    // switches a buffer in lock-step, where the buffer comes back before the reader has
    // drained it and the thread would only look and sleep again.
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
    Unregister(&source);
    {
        std::lock_guard<std::mutex> guard(source.mutex);
        source.quit = true;
    }
    source.changed.notify_all();
    source.thread.join();
    std::lock_guard<std::mutex> guard(source.mutex);
    source.open = false;
}

void WakeSourceThreads() {
    std::lock_guard<std::mutex> registry(OpenSourcesLock);
    for (SourceThread* source : OpenSources) {
        if (source == nullptr) continue;
        {
            std::lock_guard<std::mutex> guard(source->mutex);
            source->wakes++;
        }
        source->changed.notify_all();
    }
}
