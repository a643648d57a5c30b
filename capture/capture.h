// SPDX-License-Identifier: GPL-3.0-or-later
// Audio capture: the capture device, its byte queue (CaptureQueue) and its thread. The
// application hands the device its notification handler and the question whether its reader
// listens (the main window's: shell/capture_notice.h).
//
// The source fills driver buffers on its own thread and returns them to the capture thread's
// message queue; the capture thread copies each into CaptureQueue and calls notify; the main
// window reads the queue in blocks. A source whose thread only waits for its input (the sound
// server's, whose waiting the main loop may do instead; a file paced in real time) does the
// capture thread's part itself, through the client's takeBuffer, so that one thread instead
// of two wakes for each buffer; the capture thread then sleeps until Close. Only the queue
// state below and notifyArmed are shared between threads, each under its own lock, and no
// lock is held while the other is taken.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "capture/audio_source.h"

// Notification kinds passed to notify.
constexpr int kCaptureDataQueued = 1;
constexpr int kCaptureOverflowed = 2;  // the queue was full: recording stopped, buffer dropped

// The buffer scheme the program uses: room for two large deliveries (setFragment) of 0.75 s
// at 48000 Hz, the full view's rate.
constexpr uint16_t kCaptureBufferCount = 96;
constexpr unsigned kCaptureBufferSize = 2048;  // bytes: 1024 samples of 16 bits
constexpr int kNormalThreadPriority = 3;
// The rates SetRate takes besides those of Configure (Hz).
constexpr unsigned kLowestCaptureRate = 8000;
constexpr unsigned kHighestCaptureRate = 96000;

// An auto-reset event. Its wait also ends, unsignalled, when a message is posted to the
// capture thread (the thread waits for its stop event and its messages together, with no
// deadline: it sleeps until one of them comes).
struct CaptureEvent {
    std::mutex mutex;
    std::condition_variable changed;
    bool signalled = false;      // set by Close, cleared by the wait that sees it
    bool messagePosted = false;  // set by a source's post, cleared by the next wait
};

// The capture thread's message queue: returned buffers, oldest first. Room for every buffer
// of an opening and one more, allocated with the buffers, so a post never fails.
struct CaptureMessageQueue {
    std::mutex mutex;
    WaveHeader** messages = nullptr;  // capacity entries
    uint32_t capacity = 0;
    uint32_t first = 0;  // index of the oldest message
    uint32_t count = 0;
};

class CaptureDevice {
  public:
    CaptureDevice();
    ~CaptureDevice();
    CaptureDevice(const CaptureDevice&) = delete;
    CaptureDevice& operator=(const CaptureDevice&) = delete;

    // Once per instance; false, storing nothing, for values outside the supported ranges.
    // readerListening may be null: the reader then counts as always listening.
    bool Configure(void (*notify)(int kind), bool (*readerListening)(), unsigned threadPriority,
                   uint16_t bufferCount, unsigned bufferSize, uint16_t channels,
                   unsigned sampleRate, uint16_t bitsPerSample);
    // While closed and configured: records at `sampleRate` from the next Open on, one of the
    // rates Configure takes or any from kLowestCaptureRate to kHighestCaptureRate (the full view's,
    // and a file's own in the full view). False, changing nothing, otherwise.
    bool SetRate(unsigned sampleRate);
    bool Open();   // starts capturing from the chosen audio source
    bool Close();  // stops and joins the thread, releases the source and the memory
    unsigned AvailableBytes();
    bool Read(uint8_t* destination, unsigned n);  // exactly n bytes or nothing
    void Resynchronize();  // forget the read position; restart after an overflow stop
    // While open: asks the source to deliver `buffers` buffers' worth at a time (1 to
    // bufferCount; a source without setFragment keeps its pace). Each Open starts at 1. False,
    // changing nothing, when closed or out of range.
    bool SetFragmentBuffers(unsigned buffers);

    // Fields. lock guards available, readPosition, overflowStopped, the ring and the
    // source's start and stop; the rest changes only on the thread calling Open and Close.
    bool configured;           // set by Configure, never cleared
    std::thread::id threadId;  // the capture thread's id while it runs
    std::thread thread;        // the capture thread; not joinable when there is none
    std::mutex lock;
    CaptureEvent stopEvent;  // signalled by Close to end the thread
    int threadPriority;      // 0 ... 7, 3 = normal (kept; threads run at normal priority)
    uint16_t bufferCount;
    uint32_t bufferSize;        // bytes per driver buffer
    uint32_t available;         // bytes in CaptureQueue not yet read
    uint8_t* readPosition;      // next byte to read in CaptureQueue; null = not positioned
    uint32_t queueSize;         // bytes: bufferCount x bufferSize
    uint8_t* bufferMemory;      // driver buffer j at offset j x bufferSize
    uint8_t* queueMemory;       // CaptureQueue: a ring of bufferCount slots of bufferSize
    const AudioSource* waveIn;  // the open source; null when closed
    WaveHeader* headers;        // bufferCount headers; dwUser = the buffer's index
    bool overflowStopped;       // recording stopped because the queue was full
    uint32_t overflows;         // buffers dropped because the queue was full, since Open
    uint32_t fragmentBuffers;   // as last set by SetFragmentBuffers; 1 while closed
    WaveFormat format;
    void (*notify)(int kind);  // called on the capture thread, never under lock; may be null
    // True when the reader has re-armed its notice and so will hear of the next buffer; a
    // file has finished only then. Called by the source's readerDrained, never under lock.
    bool (*readerListening)();
    CaptureMessageQueue messages;  // the capture thread's message queue
    // Set before Open for a source that returns its buffers on the reader's own thread, when
    // the reader asks for them (a headless file run): Open starts no capture thread, and
    // each returned buffer goes into CaptureQueue and is notified at once, on that thread.
    bool threadless;
    bool threadlessOpen;  // opened threadless and not closed since
};

// The program's one capture device.
extern CaptureDevice TheCaptureDevice;
