// SPDX-License-Identifier: GPL-3.0-or-later
// The file source: how long LoadAudioFile takes and the process's peak memory while it
// runs, and how fast the source converts once playing (it must stay well ahead of real
// time). The files, made with sox on first use: about 57 minutes of 8-bit mono at 87 Hz
// (converted up 253 times to 22050 Hz) and an hour of stereo silence in FLAC at 44100 Hz.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/audio/audio_sources.h"

namespace {

constexpr unsigned kRate = 22050;
constexpr uint32_t kBufferBytes = 2048;
constexpr int kBuffers = 20;

struct BenchFile {
    const char* name;
    const char* soxArguments;  // between "sox -D -n" and the output path
};

const BenchFile kLong87HzWav = {"long87.wav", "-r 87 -c 1 -b 8 -e unsigned-integer"};
const BenchFile kHourFlac = {"hour.flac", "-r 44100 -c 2 -b 16"};

std::string MakeFile(const BenchFile& file, const char* effect) {
    const char* dir = std::getenv("TMPDIR");
    const std::string path =
        std::string(dir != nullptr ? dir : "/tmp") + "/quillo_bench_" + file.name;
    if (std::ifstream(path).good()) return path;
    // Made under another name and renamed, so that an interrupted run leaves no part file.
    const std::string part = path + ".part." + (path.c_str() + path.rfind('.') + 1);
    const std::string command = std::string("sox -D -n ") + file.soxArguments + " '" + part + "' " +
                                effect + " && mv '" + part + "' '" + path + "'";
    if (std::system(command.c_str()) != 0) return "";
    return path;
}

std::string Long87HzWav() {
    return MakeFile(kLong87HzWav, "synth 3448 sine 20");  // 300,000 one-byte samples
}

std::string HourFlac() {
    return MakeFile(kHourFlac, "trim 0 3600");
}

// Peak resident memory since the last ResetPeakRss, in MiB (Linux: VmHWM).
double PeakRssMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    }
    return 0.0;
}

void ResetPeakRss() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

void BM_LoadAudioFile(benchmark::State& state, std::string (*make)()) {
    const std::string path = make();
    if (path.empty()) {
        state.SkipWithError("sox could not make the file");
        return;
    }
    double peak = 0.0;
    for (auto _ : state) {
        ResetPeakRss();
        std::string reason;
        if (!LoadAudioFile(path.c_str(), kRate, AudioFilePacing::kPulled, &reason)) {
            state.SkipWithError(reason.c_str());
            return;
        }
        peak = std::max(peak, PeakRssMiB());
    }
    state.counters["peak_rss_MiB"] = peak;
}
BENCHMARK_CAPTURE(BM_LoadAudioFile, long_8bit_wav_87Hz, Long87HzWav)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadAudioFile, hour_of_flac_silence, HourFlac)->Unit(benchmark::kMillisecond);

// A reader that drains at once: every buffer goes straight back to the source.
struct DrainingReader {
    std::vector<uint8_t> memory = std::vector<uint8_t>(kBuffers * kBufferBytes);
    WaveHeader headers[kBuffers];
    long long bytes = 0;

    static void Return(void* context, WaveHeader* header) {
        DrainingReader& self = *static_cast<DrainingReader*>(context);
        self.bytes += header->dwBytesRecorded;
        AudioFileSource.addBuffer(header);
    }
    static bool Drained(void*) { return true; }
};

// One iteration: one second of audio at the capture rate, converted and delivered, pulled as
// a one-thread run pulls it.
void BM_PlayAudioFile(benchmark::State& state, std::string (*make)()) {
    const std::string path = make();
    std::string reason;
    if (path.empty() || !LoadAudioFile(path.c_str(), kRate, AudioFilePacing::kPulled, &reason)) {
        state.SkipWithError(path.empty() ? "sox could not make the file" : reason.c_str());
        return;
    }
    DrainingReader reader;
    const WaveFormat format{kWaveFormatPcm, 1, kRate, 2 * kRate, 2, 16, 0};
    if (!AudioFileSource.open(format, AudioSourceClient{&reader, DrainingReader::Return,
                                                        DrainingReader::Drained, nullptr})) {
        state.SkipWithError("the source does not open");
        return;
    }
    for (int j = 0; j < kBuffers; j++) {
        reader.headers[j] = WaveHeader{reader.memory.data() + j * kBufferBytes, kBufferBytes, 0,
                                       static_cast<uintptr_t>(j)};
        AudioFileSource.addBuffer(&reader.headers[j]);
    }
    AudioFileSource.start();
    long long target = 0;
    for (auto _ : state) {
        target += 2 * kRate;
        while (reader.bytes < target && PullAudioFileBuffer()) {
        }
    }
    AudioFileSource.reset();
    AudioFileSource.close();
}
BENCHMARK_CAPTURE(BM_PlayAudioFile, long_8bit_wav_87Hz, Long87HzWav)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_PlayAudioFile, hour_of_flac_silence, HourFlac)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
