// The file source: a whole audio file decoded at load time (so that a damaged file is
// refused before anything opens), mixed to mono, converted to the capture rate and delivered
// in 16-bit buffers, paced in real time or in lock-step with the reader.
#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/audio_sources.h"
#include "platform/audio_thread.h"

namespace {

constexpr int kReadFrames = 4096;     // file frames decoded per step
constexpr int kConvertFrames = 4096;  // converted frames produced per step
constexpr int kBytesPerSample = 2;

// Guarded by source.mutex while the source is open; loading happens while it is closed.
struct AudioFileRecord {
    SourceThread source;
    std::vector<int16_t> samples;  // the whole file at `rate`, mono
    unsigned rate = 0;             // samples per second
    AudioFilePacing pacing = AudioFilePacing::kRealTime;
    size_t position = 0;             // next sample to deliver
    SourceClock::time_point origin;  // when sample 0 would have been recorded (real time)
};
AudioFileRecord AudioFile;

void SetReason(char* reason, size_t reasonSize, const char* format, ...) {
    if (reason == nullptr || reasonSize == 0) return;
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(reason, reasonSize, format, arguments);
    va_end(arguments);
}

// A float sample (full scale 1.0) as 16 bits, rounded; NaN is silence, the rest is clipped.
int16_t ToSample(float value) {
    if (std::isnan(value)) return 0;
    const float scaled = value * 32768.0f;
    if (scaled >= 32767.0f) return 32767;
    if (scaled <= -32768.0f) return -32768;
    return static_cast<int16_t>(std::lrint(scaled));
}

void AppendSamples(std::vector<int16_t>& out, const float* values, long n) {
    for (long i = 0; i < n; i++)
        out.push_back(ToSample(values[i]));
}

// Feeds `n` mono frames (n = 0 with endOfInput flushes) through the converter into `out`.
// Returns 0 or a libsamplerate error.
int Convert(SRC_STATE* converter, double ratio, const float* mono, long n, bool endOfInput,
            std::vector<int16_t>& out) {
    float converted[kConvertFrames];
    SRC_DATA data{};
    data.data_in = mono;
    data.input_frames = n;
    data.data_out = converted;
    data.output_frames = kConvertFrames;
    data.end_of_input = endOfInput ? 1 : 0;
    data.src_ratio = ratio;
    for (;;) {
        const int error = src_process(converter, &data);
        if (error != 0) return error;
        AppendSamples(out, converted, data.output_frames_gen);
        data.data_in += data.input_frames_used;
        data.input_frames -= data.input_frames_used;
        // Done when the input is used up and, at the end, nothing more comes out.
        if (data.input_frames == 0 && (!endOfInput || data.output_frames_gen == 0)) return 0;
    }
}

// Decodes the open file into `out`. False with the reason written.
bool Decode(SNDFILE* file, const SF_INFO& info, const char* path, unsigned rate,
            std::vector<int16_t>& out, char* reason, size_t reasonSize) {
    const double ratio = static_cast<double>(rate) / info.samplerate;
    SRC_STATE* converter = nullptr;
    if (info.samplerate != static_cast<int>(rate)) {
        if (!src_is_valid_ratio(ratio)) {
            SetReason(reason, reasonSize, "%s: unsupported sample rate %d Hz", path,
                      info.samplerate);
            return false;
        }
        int error = 0;
        converter = src_new(SRC_SINC_MEDIUM_QUALITY, 1, &error);
        if (converter == nullptr) {
            SetReason(reason, reasonSize, "%s: %s", path, src_strerror(error));
            return false;
        }
    }
    std::vector<float> frames(static_cast<size_t>(kReadFrames) * info.channels);
    float mono[kReadFrames];
    sf_count_t total = 0;
    bool ok = true;
    for (;;) {
        const sf_count_t n = sf_readf_float(file, frames.data(), kReadFrames);
        if (sf_error(file) != SF_ERR_NO_ERROR) {
            SetReason(reason, reasonSize,
                      "%s: damaged or truncated after %" PRId64 " of %" PRId64 " frames (%s)", path,
                      static_cast<int64_t>(total), static_cast<int64_t>(info.frames),
                      sf_strerror(file));
            ok = false;
            break;
        }
        for (sf_count_t i = 0; i < n; i++) {
            float sum = 0.0f;
            for (int c = 0; c < info.channels; c++)
                sum += frames[i * info.channels + c];
            mono[i] = sum / static_cast<float>(info.channels);
        }
        total += n;
        if (converter == nullptr) {
            AppendSamples(out, mono, static_cast<long>(n));
        } else {
            const int error = Convert(converter, ratio, mono, static_cast<long>(n), n == 0, out);
            if (error != 0) {
                SetReason(reason, reasonSize, "%s: %s", path, src_strerror(error));
                ok = false;
                break;
            }
        }
        if (n == 0) break;
    }
    if (converter != nullptr) src_delete(converter);
    if (!ok) return false;
    // The frame count comes from the header; a file holding fewer frames was cut short.
    if (info.frames != SF_COUNT_MAX && total < info.frames) {
        SetReason(reason, reasonSize, "%s: truncated: %" PRId64 " of %" PRId64 " frames", path,
                  static_cast<int64_t>(total), static_cast<int64_t>(info.frames));
        return false;
    }
    if (out.empty()) {
        SetReason(reason, reasonSize, "%s: holds no audio", path);
        return false;
    }
    return true;
}

std::chrono::nanoseconds Duration(size_t samples) {
    return std::chrono::nanoseconds(static_cast<int64_t>(samples) * 1000000000 / AudioFile.rate);
}

size_t RemainingSamples() {
    return AudioFile.samples.size() - AudioFile.position;
}

SourceClock::time_point FileNextDue(const WaveHeader& next) {
    if (RemainingSamples() == 0) return SourceClock::time_point::max();
    if (AudioFile.pacing == AudioFilePacing::kLockStep) return SourceClock::time_point::min();
    const size_t take = std::min<size_t>(next.dwBufferLength / kBytesPerSample, RemainingSamples());
    return AudioFile.origin + Duration(AudioFile.position + take);
}

// Lock-step: the previous buffer is back in the queue and the reader has drained it.
bool FileReady() {
    if (AudioFile.pacing == AudioFilePacing::kRealTime) return true;
    AudioSourceClient client;
    {
        std::lock_guard<std::mutex> guard(AudioFile.source.mutex);
        if (AudioFile.source.inClient > 0) return false;
        client = AudioFile.source.client;
    }
    return client.readerDrained(client.context);
}

void FileFill(WaveHeader& header) {
    const size_t take =
        std::min<size_t>(header.dwBufferLength / kBytesPerSample, RemainingSamples());
    std::memcpy(header.lpData, AudioFile.samples.data() + AudioFile.position,
                take * kBytesPerSample);
    header.dwBytesRecorded = static_cast<uint32_t>(take * kBytesPerSample);
    AudioFile.position += take;
}

// Resumes without catching up on the time spent stopped.
void FileStarted() {
    AudioFile.origin = SourceClock::now() - Duration(AudioFile.position);
}

bool FileOpen(const WaveFormat& format, const AudioSourceClient& client) {
    if (AudioFile.samples.empty() || format.wFormatTag != kWaveFormatPcm || format.nChannels != 1 ||
        format.wBitsPerSample != 16 || format.nSamplesPerSec != AudioFile.rate) {
        return false;
    }
    AudioFile.position = 0;
    return OpenSourceThread(AudioFile.source, client,
                            SourceThreadHooks{FileNextDue, FileReady, FileFill, FileStarted});
}

}  // namespace

const AudioSource AudioFileSource = SourceThreadTable<AudioFile>(FileOpen);

bool LoadAudioFile(const char* path, unsigned captureRate, AudioFilePacing pacing, char* reason,
                   size_t reasonSize) {
    {
        std::lock_guard<std::mutex> guard(AudioFile.source.mutex);
        if (AudioFile.source.open) {
            SetReason(reason, reasonSize, "%s: the audio file source is in use", path);
            return false;
        }
    }
    if (captureRate == 0) {
        SetReason(reason, reasonSize, "%s: no capture rate", path);
        return false;
    }
    SF_INFO info{};
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    if (file == nullptr) {
        SetReason(reason, reasonSize, "%s: not a readable audio file (%s)", path,
                  sf_strerror(nullptr));
        return false;
    }
    std::vector<int16_t> samples;
    bool ok = true;
    if (info.channels < 1 || info.samplerate < 1) {
        SetReason(reason, reasonSize, "%s: unsupported: %d channels at %d Hz", path, info.channels,
                  info.samplerate);
        ok = false;
    } else {
        ok = Decode(file, info, path, captureRate, samples, reason, reasonSize);
    }
    sf_close(file);
    if (!ok) return false;
    AudioFile.samples.swap(samples);
    AudioFile.rate = captureRate;
    AudioFile.pacing = pacing;
    return true;
}

bool AudioFileFinished() {
    AudioSourceClient client;
    {
        std::lock_guard<std::mutex> guard(AudioFile.source.mutex);
        if (!AudioFile.source.open || RemainingSamples() > 0 || AudioFile.source.inClient > 0 ||
            AudioFile.source.delivering) {
            return false;
        }
        client = AudioFile.source.client;
    }
    return client.readerDrained(client.context);
}
