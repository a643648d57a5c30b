// SPDX-License-Identifier: GPL-3.0-or-later
// The microphone through PortAudio.
//
// PortAudio's callback may not allocate, lock or post, so buffers travel through two
// fixed-size single-producer single-consumer rings:
//
//     addBuffer --queued--> callback (fills in order) --filled--> relay thread --> client
//
// stop and reset, once the stream has stopped, take the callback's place on both rings.
#include <fcntl.h>
#include <portaudio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <semaphore>
#include <string>
#include <system_error>
#include <thread>

#include "platform/audio/audio_sources.h"
#include "platform/files/file_names.h"

namespace {

constexpr unsigned long kFramesPerCallback = 1024;
constexpr int kMaxDeviceName = 256;
constexpr int kMaxFailure = 4 * kMaxDeviceName + 128;  // room for an escaped device name

struct HeaderRing {
    WaveHeader* slots[kMaxSourceBuffers];
    std::atomic<uint32_t> head;  // next to take; written by the consumer
    std::atomic<uint32_t> tail;  // next free; written by the producer
};

bool PushHeader(HeaderRing& ring, WaveHeader* header) {
    const uint32_t tail = ring.tail.load(std::memory_order_relaxed);
    if (tail - ring.head.load(std::memory_order_acquire) == kMaxSourceBuffers) return false;
    ring.slots[tail % kMaxSourceBuffers] = header;
    ring.tail.store(tail + 1, std::memory_order_release);
    return true;
}

WaveHeader* PeekHeader(HeaderRing& ring) {
    const uint32_t head = ring.head.load(std::memory_order_relaxed);
    if (head == ring.tail.load(std::memory_order_acquire)) return nullptr;
    return ring.slots[head % kMaxSourceBuffers];
}

void PopHeader(HeaderRing& ring) {
    ring.head.store(ring.head.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

struct MicrophoneRecord {
    char deviceName[kMaxDeviceName];  // empty = the default input device
    char failure[kMaxFailure];        // why the last open failed; empty after a good one
    PaStream* stream;                 // open stream; null when closed
    uint16_t blockAlign;              // bytes per frame
    AudioSourceClient client;
    std::mutex addLock;                         // one producer at a time on `queued`
    HeaderRing queued;                          // empty buffers, the first one being filled
    HeaderRing filled;                          // filled buffers for the relay thread
    std::counting_semaphore<> filledSignal{0};  // released after pushes to `filled`
    std::atomic<bool> quit;                     // tells the relay thread to end
    std::thread relay;
};
MicrophoneRecord Microphone;

void SignalFilled(WaveHeader* header) {
    PushHeader(Microphone.filled, header);  // cannot fail: both rings hold every buffer
    Microphone.filledSignal.release();
}

int MicrophoneCallback(const void* input, void*, unsigned long frames,
                       const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* userData) {
    MicrophoneRecord& mic = *static_cast<MicrophoneRecord*>(userData);
    if (input == nullptr) return paContinue;
    const uint8_t* bytes = static_cast<const uint8_t*>(input);
    size_t remaining = frames * mic.blockAlign;
    bool anyFilled = false;
    while (remaining > 0) {
        WaveHeader* header = PeekHeader(mic.queued);
        if (header == nullptr) break;  // no empty buffer: this audio is lost, as with a driver
        const size_t take =
            std::min<size_t>(header->dwBufferLength - header->dwBytesRecorded, remaining);
        std::memcpy(header->lpData + header->dwBytesRecorded, bytes, take);
        header->dwBytesRecorded += static_cast<uint32_t>(take);
        bytes += take;
        remaining -= take;
        if (header->dwBytesRecorded == header->dwBufferLength) {
            PopHeader(mic.queued);
            PushHeader(mic.filled, header);
            anyFilled = true;
        }
    }
    if (anyFilled) mic.filledSignal.release();
    return paContinue;
}

void RelayFilledBuffers() {
    for (;;) {
        Microphone.filledSignal.acquire();
        while (WaveHeader* header = PeekHeader(Microphone.filled)) {
            PopHeader(Microphone.filled);
            Microphone.client.returnBuffer(Microphone.client.context, header);
        }
        if (Microphone.quit.load()) return;
    }
}

PaDeviceIndex FindInputDevice() {
    if (Microphone.deviceName[0] == '\0') return Pa_GetDefaultInputDevice();
    const PaDeviceIndex count = Pa_GetDeviceCount();
    for (PaDeviceIndex i = 0; i < count; i++) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info != nullptr && std::strcmp(info->name, Microphone.deviceName) == 0) return i;
    }
    for (PaDeviceIndex i = 0; i < count; i++) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info != nullptr && std::strstr(info->name, Microphone.deviceName) != nullptr) return i;
    }
    return paNoDevice;
}

// Notes why the opening failed (printf's format); false.
[[gnu::format(printf, 1, 2)]] bool Fail(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(Microphone.failure, sizeof Microphone.failure, format, arguments);
    va_end(arguments);
    return false;
}

// Opens the stream for the format; false, with the reason, when there is no such input.
bool OpenStream(const WaveFormat& format) {
    const PaDeviceIndex device = FindInputDevice();
    const PaDeviceInfo* info = device == paNoDevice ? nullptr : Pa_GetDeviceInfo(device);
    if (info == nullptr) {
        if (Microphone.deviceName[0] == '\0') return Fail("there is no input device");
        return Fail("no input device is named \"%s\" or has it in its name",
                    PrintableFileName(Microphone.deviceName).c_str());
    }
    const std::string name = PrintableFileName(info->name);
    if (info->maxInputChannels < format.nChannels) {
        return Fail("\"%s\" has no input of %d channel(s)", name.c_str(), format.nChannels);
    }
    PaStreamParameters parameters{};
    parameters.device = device;
    parameters.channelCount = format.nChannels;
    parameters.sampleFormat = format.wBitsPerSample == 8 ? paUInt8 : paInt16;
    parameters.suggestedLatency = info->defaultLowInputLatency;
    const PaError supported = Pa_IsFormatSupported(&parameters, nullptr, format.nSamplesPerSec);
    if (supported != paFormatIsSupported) {
        return Fail("\"%s\" cannot record %u Hz, %d channel(s), %d bits: %s", name.c_str(),
                    format.nSamplesPerSec, format.nChannels, format.wBitsPerSample,
                    Pa_GetErrorText(supported));
    }
    const PaError opened =
        Pa_OpenStream(&Microphone.stream, &parameters, nullptr, format.nSamplesPerSec,
                      kFramesPerCallback, paNoFlag, MicrophoneCallback, &Microphone);
    if (opened != paNoError)
        return Fail("\"%s\" cannot be opened: %s", name.c_str(), Pa_GetErrorText(opened));
    return true;
}

// PortAudio's start-up probes every ALSA and JACK device it knows of, and those libraries
// report each missing card or server on stderr: dozens of lines that say nothing about the
// program's own success. They are kept off the terminal; the program says what failed.
bool InitializeQuietly() {
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    const int sink = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved >= 0 && sink >= 0) dup2(sink, STDERR_FILENO);
    const bool ok = Pa_Initialize() == paNoError;
    if (saved >= 0 && sink >= 0) dup2(saved, STDERR_FILENO);
    if (sink >= 0) close(sink);
    if (saved >= 0) close(saved);
    return ok;
}

bool MicrophoneOpen(const WaveFormat& format, const AudioSourceClient& client) {
    const bool supported = format.wFormatTag == kWaveFormatPcm && format.nChannels >= 1 &&
                           (format.wBitsPerSample == 8 || format.wBitsPerSample == 16) &&
                           format.nBlockAlign == format.nChannels * format.wBitsPerSample / 8;
    Microphone.failure[0] = '\0';
    if (Microphone.stream != nullptr) return Fail("the input is already open");
    if (!supported) return Fail("the capture format is not PCM of 8 or 16 bits");
    if (!InitializeQuietly()) return Fail("the sound system (PortAudio) could not be started");
    Microphone.client = client;
    Microphone.blockAlign = format.nBlockAlign;
    Microphone.queued.head = Microphone.queued.tail = 0;
    Microphone.filled.head = Microphone.filled.tail = 0;
    Microphone.quit = false;
    if (!OpenStream(format)) {
        Microphone.stream = nullptr;
        Pa_Terminate();
        return false;
    }
    try {
        Microphone.relay = std::thread(RelayFilledBuffers);
    } catch (const std::system_error&) {
        Pa_CloseStream(Microphone.stream);
        Microphone.stream = nullptr;
        Pa_Terminate();
        return Fail("no thread could be started for the input");
    }
    return true;
}

bool MicrophoneAddBuffer(WaveHeader* header) {
    if (header == nullptr) return false;
    std::lock_guard<std::mutex> guard(Microphone.addLock);
    header->dwBytesRecorded = 0;
    return PushHeader(Microphone.queued, header);
}

void MicrophoneStart() {
    if (Microphone.stream != nullptr && Pa_IsStreamStopped(Microphone.stream) == 1) {
        Pa_StartStream(Microphone.stream);
    }
}

// After this the callback is not running and its place on both rings is free.
void MicrophoneStop() {
    if (Microphone.stream == nullptr) return;
    if (Pa_IsStreamStopped(Microphone.stream) == 0) Pa_StopStream(Microphone.stream);
    WaveHeader* current = PeekHeader(Microphone.queued);
    if (current != nullptr && current->dwBytesRecorded > 0) {
        PopHeader(Microphone.queued);
        SignalFilled(current);
    }
}

void MicrophoneReset() {
    MicrophoneStop();
    while (WaveHeader* header = PeekHeader(Microphone.queued)) {
        PopHeader(Microphone.queued);
        SignalFilled(header);
    }
}

void MicrophoneClose() {
    if (Microphone.stream == nullptr) return;
    Pa_CloseStream(Microphone.stream);
    Microphone.stream = nullptr;
    Microphone.quit = true;  // the relay returns what is left, then ends
    Microphone.filledSignal.release();
    Microphone.relay.join();
    Pa_Terminate();
}

}  // namespace

// Its pace stays one buffer per callback: the stream fixes its buffer size when it opens.
const AudioSource PortAudioMicrophoneSource = {MicrophoneOpen, MicrophoneAddBuffer, MicrophoneStart,
                                               MicrophoneStop, MicrophoneReset,     MicrophoneClose,
                                               nullptr};

const char* PortAudioMicrophoneFailure() {
    return Microphone.failure;
}

void SetPortAudioMicrophoneName(const char* name) {
    const char* chosen = name == nullptr ? "" : name;
    std::snprintf(Microphone.deviceName, sizeof Microphone.deviceName, "%s", chosen);
}

bool ListPortAudioMicrophones(unsigned rate,
                              void (*found)(const char* name, bool isDefault, void* context),
                              void* context) {
    if (found == nullptr || !InitializeQuietly()) return false;
    const PaDeviceIndex defaultInput = Pa_GetDefaultInputDevice();
    const PaDeviceIndex count = Pa_GetDeviceCount();
    for (PaDeviceIndex i = 0; i < count; i++) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info == nullptr || info->maxInputChannels < 1) continue;
        PaStreamParameters parameters{};
        parameters.device = i;
        parameters.channelCount = 1;
        parameters.sampleFormat = paInt16;
        parameters.suggestedLatency = info->defaultLowInputLatency;
        if (Pa_IsFormatSupported(&parameters, nullptr, rate) == paFormatIsSupported) {
            found(info->name, i == defaultInput, context);
        }
    }
    Pa_Terminate();
    return true;
}
