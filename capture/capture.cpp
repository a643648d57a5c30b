// SPDX-License-Identifier: GPL-3.0-or-later
// The capture device: CaptureQueue and the capture thread.
//
// CaptureQueue is a ring of bufferCount slots of bufferSize bytes. The reader walks it from
// readPosition; the unread bytes run from there for `available` bytes, wrapping at the end,
// and each returned buffer is appended right after them:
//
//     queueMemory                     readPosition          readPosition + available
//     | read ......................... | unread ............ | next buffer | ...    |
//
// Buffers come back in the order they were queued, so while none is dropped buffer j lands
// in slot j.
#include "capture/capture.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <system_error>

CaptureDevice TheCaptureDevice;

namespace {

constexpr int kMaxThreadPriority = 7;
constexpr uint16_t kMinBufferCount = 4;
constexpr unsigned kMinBufferSize = 80;

const AudioSource* chosenSource = nullptr;

bool IsSupportedRate(unsigned rate) {
    return rate == 8000 || rate == 11025 || rate == 22050 || rate == 44100;
}

void SignalEvent(CaptureEvent& event) {
    {
        std::lock_guard<std::mutex> guard(event.mutex);
        event.signalled = true;
    }
    event.changed.notify_all();
}

// Waits for the stop event or a posted message, with no deadline: every post and Close's
// signal set their flag under the event's mutex before they notify, so none is missed, and a
// thread with nothing to do never wakes. True when the stop event was signalled; the wait
// resets it.
bool WaitForStopOrMessage(CaptureEvent& event) {
    std::unique_lock<std::mutex> guard(event.mutex);
    event.changed.wait(guard, [&event] { return event.signalled || event.messagePosted; });
    const bool stop = event.signalled;
    event.signalled = false;
    event.messagePosted = false;
    return stop;
}

// The client's returnBuffer: runs on the source's thread.
void PostReturnedBuffer(void* context, WaveHeader* header) {
    CaptureDevice& device = *static_cast<CaptureDevice*>(context);
    CaptureMessageQueue& queue = device.messages;
    {
        std::lock_guard<std::mutex> guard(queue.mutex);
        if (queue.count == queue.capacity) return;  // never: there is room for every buffer
        queue.messages[(queue.first + queue.count) % queue.capacity] = header;
        queue.count++;
    }
    {
        std::lock_guard<std::mutex> guard(device.stopEvent.mutex);
        device.stopEvent.messagePosted = true;
    }
    // After the unlock: the woken thread would otherwise block at once on the held lock.
    device.stopEvent.changed.notify_all();
}

// The oldest message, left in the queue until DropOldestMessage: while a buffer is being
// moved into CaptureQueue it still counts as on its way (see ReaderDrained).
WaveHeader* OldestMessage(CaptureMessageQueue& queue) {
    std::lock_guard<std::mutex> guard(queue.mutex);
    return queue.count == 0 ? nullptr : queue.messages[queue.first];
}

void DropOldestMessage(CaptureMessageQueue& queue) {
    std::lock_guard<std::mutex> guard(queue.mutex);
    if (queue.count == 0) return;
    queue.first = (queue.first + 1) % queue.capacity;
    queue.count--;
}

// The client's readerDrained: nothing returned is still on its way to the queue, the queue
// is empty, and the reader listens. Takes each lock alone, never one while holding another.
bool ReaderDrained(void* context) {
    CaptureDevice& device = *static_cast<CaptureDevice*>(context);
    {
        std::lock_guard<std::mutex> guard(device.messages.mutex);
        if (device.messages.count != 0) return false;
    }
    if (device.AvailableBytes() != 0) return false;
    return device.readerListening == nullptr || device.readerListening();
}

// Where the next buffer goes: right after the unread bytes, always at a slot's start. Once a
// buffer has been dropped the source's buffer j no longer matches that slot, and slot j may
// still hold unread bytes, so the position is taken from the queue, not from j.
uint8_t* WritePosition(const CaptureDevice& device) {
    const size_t unreadStart = static_cast<size_t>(device.readPosition - device.queueMemory);
    return device.queueMemory + (unreadStart + device.available) % device.queueSize;
}

void QueueBuffer(CaptureDevice& device, uint32_t j) {
    WaveHeader& header = device.headers[j];
    header = WaveHeader{};
    header.lpData = device.bufferMemory + static_cast<size_t>(j) * device.bufferSize;
    header.dwBufferLength = device.bufferSize;
    header.dwUser = j;
    device.waveIn->addBuffer(&header);
}

// Moves a returned buffer into CaptureQueue and queues it again; the notice kind to send, 0
// for none.
int HandleReturnedBuffer(CaptureDevice& device, WaveHeader* header) {
    int kind = 0;
    {
        std::lock_guard<std::mutex> guard(device.lock);
        const uintptr_t j = header->dwUser;
        if (j >= device.bufferCount || device.waveIn == nullptr) return 0;
        const uint32_t length = device.bufferSize;  // the length it was queued with
        const uint32_t recorded = std::min(header->dwBytesRecorded, length);
        if (device.readPosition == nullptr) {
            // The queue starts afresh at this buffer.
            device.available = 0;
            device.readPosition = device.queueMemory + static_cast<size_t>(j) * length;
        }
        if (static_cast<uint64_t>(device.available) + length > device.queueSize) {
            device.waveIn->stop();
            device.overflowStopped = true;
            device.overflows++;
            kind = kCaptureOverflowed;  // the buffer's data is dropped
        } else {
            uint8_t* slot = WritePosition(device);
            std::memcpy(slot, header->lpData, recorded);
            std::memset(slot + recorded, 0, length - recorded);
            device.available += length;  // whole slots, however much was recorded
            kind = kCaptureDataQueued;
        }
        QueueBuffer(device, static_cast<uint32_t>(j));
    }
    return kind;
}

// The client's takeBuffer, on the source's thread. Of buffers handed over together, only the
// last tells the reader of its data: woken by the first, it would contend for the queue with
// the rest and, drained before they came, be woken again.
void TakeHandedOver(void* context, WaveHeader* header, bool more) {
    CaptureDevice& device = *static_cast<CaptureDevice*>(context);
    const int kind = HandleReturnedBuffer(device, header);
    if (kind == 0 || (kind == kCaptureDataQueued && more) || device.notify == nullptr) return;
    device.notify(kind);
}

// The client's returnBuffer of a threadless opening, on the reader's thread.
void HandleAtOnce(void* context, WaveHeader* header) {
    TakeHandedOver(context, header, false);
}

void CaptureThread(CaptureDevice* device) {
    while (!WaitForStopOrMessage(device->stopEvent)) {
        while (WaveHeader* header = OldestMessage(device->messages)) {
            const int kind = HandleReturnedBuffer(*device, header);
            // Dropped before the notice: the reader it wakes may drain at once and ask whether
            // the file has finished, which a message still queued would deny. Its bytes are in
            // the queue by now, so the reader is not drained before it reads.
            DropOldestMessage(device->messages);
            if (kind != 0 && device->notify != nullptr) device->notify(kind);
        }
    }
}

}  // namespace

void SetAudioSource(const AudioSource* source) {
    chosenSource = source;
}

CaptureDevice::CaptureDevice()
    : configured(false),
      threadPriority(kNormalThreadPriority),
      bufferCount(0),
      bufferSize(0),
      available(0),
      readPosition(nullptr),
      queueSize(0),
      bufferMemory(nullptr),
      queueMemory(nullptr),
      waveIn(nullptr),
      headers(nullptr),
      overflowStopped(false),
      overflows(0),
      fragmentBuffers(1),
      format{},
      notify(nullptr),
      readerListening(nullptr),
      threadless(false),
      threadlessOpen(false) {}

CaptureDevice::~CaptureDevice() {
    Close();
}

bool CaptureDevice::Configure(void (*notifyFunction)(int), bool (*listening)(), unsigned priority,
                              uint16_t count, unsigned size, uint16_t channels, unsigned sampleRate,
                              uint16_t bitsPerSample) {
    if (configured || priority > kMaxThreadPriority || count < kMinBufferCount ||
        size < kMinBufferSize || (channels != 1 && channels != 2) ||
        (bitsPerSample != 8 && bitsPerSample != 16) || !IsSupportedRate(sampleRate)) {
        return false;
    }
    // queueSize is 32 bits: a product that does not fit would size the ring too small.
    if (static_cast<uint64_t>(count) * size > UINT32_MAX) return false;
    notify = notifyFunction;
    readerListening = listening;
    threadPriority = static_cast<int>(priority);
    bufferCount = count;
    bufferSize = size;
    format = WaveFormat{};
    format.wFormatTag = kWaveFormatPcm;
    format.nChannels = channels;
    format.nSamplesPerSec = sampleRate;
    format.wBitsPerSample = bitsPerSample;
    format.nBlockAlign = static_cast<uint16_t>(channels * bitsPerSample / 8);
    format.nAvgBytesPerSec = format.nBlockAlign * sampleRate;
    queueSize = count * size;
    configured = true;
    return true;
}

bool CaptureDevice::SetRate(unsigned sampleRate) {
    if (!configured || thread.joinable() || threadlessOpen) return false;
    if (!IsSupportedRate(sampleRate) &&
        (sampleRate < kLowestCaptureRate || sampleRate > kHighestCaptureRate))
        return false;
    format.nSamplesPerSec = sampleRate;
    format.nAvgBytesPerSec = format.nBlockAlign * sampleRate;
    return true;
}

bool CaptureDevice::Open() {
    if (thread.joinable() || threadlessOpen || !configured) return false;
    if (threadless) {
        threadlessOpen = true;
    } else {
        try {
            thread = std::thread(CaptureThread, this);
        } catch (const std::system_error&) {
            return false;
        }
        threadId = thread.get_id();
    }

    bufferMemory = static_cast<uint8_t*>(std::calloc(queueSize, 1));
    queueMemory = static_cast<uint8_t*>(std::calloc(queueSize, 1));
    headers = static_cast<WaveHeader*>(std::calloc(bufferCount, sizeof(WaveHeader)));
    {
        std::lock_guard<std::mutex> guard(messages.mutex);
        // One more than the buffers: the oldest message stays queued while its buffer is
        // handled, and the re-queued buffer may come back before it is dropped.
        const uint32_t capacity = uint32_t{bufferCount} + 1;
        messages.messages = static_cast<WaveHeader**>(std::calloc(capacity, sizeof(WaveHeader*)));
        messages.capacity = messages.messages == nullptr ? 0 : capacity;
    }
    if (bufferMemory == nullptr || queueMemory == nullptr || headers == nullptr ||
        messages.messages == nullptr) {
        Close();
        return false;
    }

    const AudioSourceClient client{this, threadless ? HandleAtOnce : PostReturnedBuffer,
                                   ReaderDrained, TakeHandedOver};
    if (chosenSource == nullptr || !chosenSource->open(format, client)) {
        Close();
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        waveIn = chosenSource;
    }
    for (uint32_t j = 0; j < bufferCount; j++)
        QueueBuffer(*this, j);
    Resynchronize();
    std::lock_guard<std::mutex> guard(lock);
    overflowStopped = false;
    overflows = 0;
    waveIn->start();
    return true;
}

bool CaptureDevice::Close() {
    const bool threaded = thread.joinable();
    // Joining from the capture thread itself (a notify function closing the device) would
    // never return.
    if (threaded && std::this_thread::get_id() == threadId) return false;
    if (!threaded && !threadlessOpen) return false;
    const AudioSource* source = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock);
        source = waveIn;
        // From here on a returned buffer is dropped, whichever thread takes it in: the ring is
        // about to be freed.
        waveIn = nullptr;
        if (threaded && source != nullptr) source->stop();
    }
    if (threaded) {
        // The signal ends the thread's wait, and it takes no lock that anyone holds while
        // waiting, so the join is bounded. Nothing else ends or forgets the thread.
        SignalEvent(stopEvent);
        thread.join();
        threadId = std::thread::id();
    }
    threadlessOpen = false;
    if (source != nullptr) {
        // What it returns now goes to a message queue that nobody reads any more, or is
        // dropped at once.
        source->reset();
        source->close();
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        // The ring is freed: leave it unpositioned and empty so that Read fails and a stop
        // left from an overflow does not restart a closed source.
        readPosition = nullptr;
        available = 0;
        overflowStopped = false;
        fragmentBuffers = 1;
        std::free(bufferMemory);
        std::free(queueMemory);
        std::free(headers);
        bufferMemory = nullptr;
        queueMemory = nullptr;
        headers = nullptr;
    }
    std::lock_guard<std::mutex> guard(messages.mutex);
    std::free(messages.messages);
    messages.messages = nullptr;
    messages.capacity = 0;
    messages.first = 0;
    messages.count = 0;
    return true;
}

unsigned CaptureDevice::AvailableBytes() {
    std::lock_guard<std::mutex> guard(lock);
    return available;
}

bool CaptureDevice::Read(uint8_t* destination, unsigned n) {
    std::lock_guard<std::mutex> guard(lock);
    if (destination == nullptr || readPosition == nullptr || available < n) return false;
    const size_t offset = static_cast<size_t>(readPosition - queueMemory);
    if (offset + n > queueSize) {
        // Up to the ring's end (possibly nothing), then from its start.
        const size_t first = queueSize - offset;
        std::memcpy(destination, readPosition, first);
        std::memcpy(destination + first, queueMemory, n - first);
        readPosition = queueMemory + (offset + n - queueSize);
    } else {
        std::memcpy(destination, readPosition, n);
        readPosition += n;
    }
    available -= n;
    if (overflowStopped && waveIn != nullptr &&
        static_cast<uint64_t>(available) + bufferSize <= queueSize) {
        waveIn->start();  // room for one buffer again
        overflowStopped = false;
    }
    return true;
}

bool CaptureDevice::SetFragmentBuffers(unsigned buffers) {
    std::lock_guard<std::mutex> guard(lock);
    if (waveIn == nullptr || buffers < 1 || buffers > bufferCount) return false;
    fragmentBuffers = buffers;
    if (waveIn->setFragment != nullptr) waveIn->setFragment(buffers * bufferSize);
    return true;
}

void CaptureDevice::Resynchronize() {
    std::lock_guard<std::mutex> guard(lock);
    readPosition = nullptr;  // available is reset by the next buffer
    if (overflowStopped && waveIn != nullptr) {
        waveIn->start();
        overflowStopped = false;
    }
}
