// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: any bytes, written to a file, through LoadAudioFile and, when the file is
// accepted, through the file source pulled on this thread into a reader that drains at once,
// until the source has delivered the whole stream (or a bounded part of a long one), twice.
// One thread, so that every run of an input takes the same path. Besides what the sanitizers
// catch, it aborts when a reason is not one line naming the file, when the source stops
// delivering without finishing, when an undamaged stream's length is more than a sample off
// what AudioFileFrames promised, or when the second play differs from the first.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_input.h"
#include "platform/audio/audio_sources.h"
#include "platform/files/file_names.h"

namespace {

constexpr uint32_t kBufferBytes = 2048;
constexpr int kBuffers = 8;
constexpr long long kMostSamples = 1 << 16;  // about 3 s at 22050 Hz: enough of a stream

[[noreturn]] void Fault(const char* what, const char* detail) {
    std::fprintf(stderr, "audio file fuzz: %s: %s\n", what, detail);
    std::abort();
}

// A one-line reason that starts with the file's name as messages show it.
void CheckReason(const std::string& reason) {
    const std::string named = PrintableFileName(InputPath().c_str()) + ": ";
    if (reason.compare(0, named.size(), named) != 0 &&
        reason.compare(0, 12 + named.size(), "cannot open " + named) != 0) {
        Fault("reason does not name the file", reason.c_str());
    }
    if (reason.find('\n') != std::string::npos) Fault("reason is not one line", reason.c_str());
}

// Counts and hashes what the source returns and, while playing, queues each buffer again.
struct Reader {
    uint8_t memory[kBuffers][kBufferBytes];
    WaveHeader headers[kBuffers];
    bool playing = false;
    long long samples = 0;
    uint64_t hash = 0;

    static void Return(void* context, WaveHeader* header) {
        Reader& self = *static_cast<Reader*>(context);
        if (header->dwBytesRecorded > header->dwBufferLength || header->dwBytesRecorded % 2 != 0)
            Fault("bad recorded length", "");
        self.samples += header->dwBytesRecorded / 2;
        for (uint32_t i = 0; i < header->dwBytesRecorded; i++)
            self.hash = (self.hash ^ header->lpData[i]) * 1099511628211u;  // FNV-1a
        if (self.playing) AudioFileSource.addBuffer(header);
    }
    static bool Drained(void*) { return true; }
};

struct Played {
    bool finished;  // false when stopped at kMostSamples
    long long samples;
    uint64_t hash;
};

Played Play(unsigned rate) {
    static Reader reader;
    reader.playing = true;
    reader.samples = 0;
    reader.hash = 14695981039346656037u;
    const WaveFormat format{kWaveFormatPcm, 1, rate, 2 * rate, 2, 16, 0};
    if (!AudioFileSource.open(format,
                              AudioSourceClient{&reader, Reader::Return, Reader::Drained, nullptr}))
        Fault("an accepted file does not open", "");
    for (int j = 0; j < kBuffers; j++) {
        reader.headers[j] =
            WaveHeader{reader.memory[j], kBufferBytes, 0, static_cast<uintptr_t>(j)};
        AudioFileSource.addBuffer(&reader.headers[j]);
    }
    AudioFileSource.start();
    while (reader.samples < kMostSamples && PullAudioFileBuffer()) {
    }
    const Played played{reader.samples < kMostSamples, reader.samples, reader.hash};
    if (played.finished && !AudioFileFinished()) Fault("the source stopped without finishing", "");
    reader.playing = false;
    AudioFileSource.reset();
    AudioFileSource.close();

    std::string reason;
    if (AudioFileFailed(&reason)) {
        CheckReason(reason);
    } else if (played.finished && AudioFileFrames() >= 0 &&
               std::llabs(played.samples - AudioFileFrames()) > 1) {
        char detail[96];
        std::snprintf(detail, sizeof detail, "%lld delivered, %lld promised", played.samples,
                      AudioFileFrames());
        Fault("length differs", detail);
    }
    return played;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WriteInput(data, size);
    // Both capture rates, the device profile's too, chosen by the input's length.
    const unsigned rate = size % 2 == 0 ? 22050 : 11025;
    std::string reason;
    if (!LoadAudioFile(InputPath().c_str(), rate, AudioFilePacing::kPulled, &reason)) {
        CheckReason(reason);
        return 0;
    }
    // Each opening plays the file from its start: the second play is the first again.
    const Played first = Play(rate);
    const Played second = Play(rate);
    if (first.finished && second.finished &&
        (first.samples != second.samples || first.hash != second.hash)) {
        char detail[96];
        std::snprintf(detail, sizeof detail, "%lld samples, then %lld", first.samples,
                      second.samples);
        Fault("a second play differs", detail);
    }
    return 0;
}
