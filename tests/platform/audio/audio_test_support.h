// SPDX-License-Identifier: GPL-3.0-or-later
// Test support for the audio sources: a client that keeps what a source returns, as the
// capture device would. Tests that record through the device use the fake main window of
// tests/capture/capture_test_support.h.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/audio_source.h"
#include "tests/capture/capture_test_support.h"

// A source whose connection a host's event loop looks after is served only while that loop
// turns: when set, every wait of a CollectingClient turns it (for about `ms` at a time)
// instead of sleeping.
extern void (*TurnWhileWaiting)(int ms);

// Owns `count` buffers of `size` bytes (dwUser 0 ... count - 1) and records every return.
class CollectingClient {
  public:
    CollectingClient(const AudioSource& source, int count, uint32_t size);

    AudioSourceClient Client();
    void Add(int j);  // queues buffer j with the source, emptied
    void AddAll();    // queues every buffer

    std::atomic<bool> requeue{false};  // queue each returned buffer again at once
    std::atomic<bool> drained{true};   // the answer to readerDrained
    bool handOver = false;             // offer takeBuffer (set before Client)

    // Opens the source with all buffers queued, starts it, waits for `count` returns, then
    // resets and closes it. False when it does not open or the buffers do not come.
    bool Record(const WaveFormat& format, int count);

    // Waits until `count` buffers have been returned; false on timeout.
    bool WaitForReturned(int count, int timeoutMs);
    int Returned();
    std::vector<uintptr_t> Order();    // dwUser of each returned buffer
    std::vector<uint32_t> Recorded();  // dwBytesRecorded of each
    std::vector<uint8_t> Bytes();      // the recorded bytes, concatenated
    std::vector<bool> More();          // takeBuffer's `more` of each (false when returned)
    bool ReturnedOnOtherThreads(std::thread::id caller);

  private:
    static void Return(void* context, WaveHeader* header);
    static void Take(void* context, WaveHeader* header, bool more);
    static bool ReaderDrained(void* context);

    const AudioSource& source_;
    std::vector<std::vector<uint8_t>> memory_;
    std::vector<WaveHeader> headers_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<uintptr_t> order_;
    std::vector<uint32_t> recorded_;
    std::vector<uint8_t> bytes_;
    std::vector<bool> more_;
    std::vector<std::thread::id> threads_;
};

// Opens `source` (pulled: its buffers come only when `pull` asks) with four 2048-byte buffers,
// each queued again as it comes back, starts it and pulls until `pull` says there is no more;
// then `atEnd` (may be null) is called, and the source reset and closed. The recorded samples.
std::vector<int16_t> PlayPulled(const AudioSource& source, bool (*pull)(), const WaveFormat& format,
                                void (*atEnd)() = nullptr);

// The audio tests' own folder under /tmp, ending in '/'; removed with what it holds when the
// test process ends.
const std::string& AudioTestFolder();

// A folder made in AudioTestFolder() whose path is over 600 bytes long and holds a newline,
// an escape character and a backslash, ending in '/'; `shown` gets the path as one-line
// messages must show it (escaped, whole).
std::string OddFolder(std::string* shown);

// The signed 16-bit samples of a little-endian byte stream.
std::vector<int16_t> Samples(const std::vector<uint8_t>& bytes);
