// SPDX-License-Identifier: GPL-3.0-or-later
// The audio source: what the capture device (capture/capture.h) records through. A source
// is opened with a format and a client; it fills the empty buffers queued with addBuffer in
// the order they were queued, and hands each filled buffer back through client.returnBuffer
// on a thread of its own, or, when an event loop looks after the source, on that loop's
// thread between its events: never from inside one of the source's operations, whose callers
// may hold their own locks. The program and the tests choose one with SetAudioSource before
// the device opens.
#pragma once

#include <cstdint>

// A returned buffer's message number; the main window's capture notice reuses it.
constexpr unsigned kWaveInDataMessage = 960;

// The recording format.
struct WaveFormat {
    uint16_t wFormatTag;       // 1 = PCM
    uint16_t nChannels;        // 1 or 2
    uint32_t nSamplesPerSec;   // frames per second
    uint32_t nAvgBytesPerSec;  // nBlockAlign x nSamplesPerSec
    uint16_t nBlockAlign;      // bytes per frame: nChannels x wBitsPerSample / 8
    uint16_t wBitsPerSample;   // 8 (unsigned) or 16 (signed, little-endian)
    uint16_t cbSize;           // 0
};
constexpr uint16_t kWaveFormatPcm = 1;

// One buffer that the source fills and the capture device owns.
struct WaveHeader {
    uint8_t* lpData;           // the buffer's bytes, owned by the capture device
    uint32_t dwBufferLength;   // bytes the buffer holds
    uint32_t dwBytesRecorded;  // bytes the source filled, set when it returns the buffer
    uintptr_t dwUser;          // the owner's tag (the buffer's index); sources leave it alone
};

// Where a source returns its buffers. A source calls these without holding any lock that its
// own operations take, because the client calls those operations under its own lock.
struct AudioSourceClient {
    void* context;  // passed back to both functions
    // A filled buffer (or, after stop and reset, a partly filled or empty one), on the
    // source's thread (its own, or the loop's that looks after it), in the order the buffers
    // were queued.
    void (*returnBuffer)(void* context, WaveHeader* header);
    // True when the reader has taken every byte returned so far and will hear of the next
    // buffer: a file source has finished only then.
    bool (*readerDrained)(void* context);
    // May be null. What a source whose thread does nothing but wait for its input and return
    // buffers calls instead of returnBuffer: the client takes the buffer in at once, on that
    // thread, and may call addBuffer and stop from inside the call; so no second thread wakes
    // for each buffer. The same rules as returnBuffer otherwise. `more` says that the source
    // hands over another buffer right after this one: the client may keep its reader's notice
    // for the last, so that a large delivery wakes the reader once.
    void (*takeBuffer)(void* context, WaveHeader* header, bool more);
};

// Most empty buffers a source holds at once; addBuffer refuses more.
constexpr int kMaxSourceBuffers = 256;

struct AudioSource {
    // Opens the input for the format; false when there is no input or it cannot record it.
    bool (*open)(const WaveFormat& format, const AudioSourceClient& client);
    bool (*addBuffer)(WaveHeader* header);  // queues an empty buffer; false when full
    void (*start)();  // starts (or resumes) filling the queued buffers; no-op when started
    void (*stop)();   // stops filling; a partly filled buffer is returned with what it holds
    void (*reset)();  // stops, and returns every queued buffer, unfilled ones with 0 bytes
    void (*close)();  // after reset; once it returns the source returns nothing more
    // May be null: the source then keeps its own pace. From now on, deliver about `bytes` (a
    // whole number of buffers) at a time, so that a reader with nothing to show wakes seldom;
    // one buffer's worth again for the least latency. Order and content stay as they are.
    void (*setFragment)(uint32_t bytes);
};

// The source that the capture device opens; null means none (open fails, as without input).
void SetAudioSource(const AudioSource* source);
