// SPDX-License-Identifier: GPL-3.0-or-later
// What recording costs on a live sound server, without analysis or drawing: the process's
// CPU time (all threads) over kSeconds of recording, as a share of one core ("cpu_pct").
// Needs a server with a default source that delivers (bench/live_cpu.sh ... pulse starts a
// private one and runs `parec` beside this for the comparison); skipped without one.
//   BM_PulseSource        the source alone, each buffer queued again at once
//   BM_CaptureDevice      the source behind the capture device, drained as the window does
//   BM_PulseSimpleReads   the simple API instead: blocking 2048-byte reads on a thread of
//                         its own, the other way the source could have been built
//   BM_HostedAnalysis     a live headless run without Qt's event loop: the source hosted on a
//                         bare poll loop, each buffer analysed as a headless run does
//                         (accurate estimator, nothing drawn); the least that such a run
//                         could cost
#include <benchmark/benchmark.h>
#include <poll.h>
#include <pulse/simple.h>
#include <sys/resource.h>

#include <algorithm>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "capture/capture.h"
#include "platform/audio/audio_pulse.h"
#include "platform/audio/audio_sources.h"
#include "platform/headless/display_memory.h"
#include "raster/display.h"
#include "shell/pipeline.h"
#include "shell/pitch_choice.h"
#include "shell/startup.h"
#include "views/view_frame.h"

namespace {

constexpr int kSeconds = 20;
constexpr uint32_t kBufferBytes = 2048;
constexpr int kBuffers = 20;

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs `record` (which records until the deadline and returns the bytes it got) and sets
// the counters.
template <typename Record>
void Measure(benchmark::State& state, Record record) {
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = ProcessCpuSeconds();
        const long long bytes = record(start + std::chrono::seconds(kSeconds));
        const double cpu = ProcessCpuSeconds() - cpuStart;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (bytes <= 0) {
            state.SkipWithError("nothing recorded: no sound server, or no default source");
            return;
        }
        state.counters["cpu_pct"] = 100.0 * cpu / wall;
        state.counters["buffers_per_s"] = static_cast<double>(bytes) / kBufferBytes / wall;
    }
}

const WaveFormat kMono{kWaveFormatPcm, 1, 22050, 44100, 2, 16, 0};

struct Returns {
    std::mutex mutex;
    std::condition_variable changed;
    long long bytes = 0;
};

// Gives the open source kBuffers empty buffers and starts it.
void QueueBuffersAndStart() {
    static std::vector<uint8_t> memory(kBuffers * kBufferBytes);
    static WaveHeader headers[kBuffers];
    for (int j = 0; j < kBuffers; j++) {
        headers[j] = WaveHeader{memory.data() + j * kBufferBytes, kBufferBytes, 0,
                                static_cast<uintptr_t>(j)};
        PulseMicrophoneSource.addBuffer(&headers[j]);
    }
    PulseMicrophoneSource.start();
}

void BM_PulseSource(benchmark::State& state) {
    Measure(state, [](std::chrono::steady_clock::time_point until) -> long long {
        static Returns returns;
        auto requeue = [](void*, WaveHeader* header) {
            {
                std::lock_guard<std::mutex> guard(returns.mutex);
                returns.bytes += header->dwBytesRecorded;
            }
            PulseMicrophoneSource.addBuffer(header);
        };
        const AudioSourceClient client{nullptr, requeue, [](void*) { return true; }, nullptr};
        if (OpenPulseMicrophone(kMono, client) != PulseOpening::kOpened) return 0;
        QueueBuffersAndStart();
        std::this_thread::sleep_until(until);
        PulseMicrophoneSource.reset();
        PulseMicrophoneSource.close();
        return returns.bytes;
    });
}

Returns Notices;

void OnNotice(int kind) {
    if (kind == kCaptureOverflowed) TheCaptureDevice.Resynchronize();
    Notices.changed.notify_one();
}

void BM_CaptureDevice(benchmark::State& state) {
    Measure(state, [](std::chrono::steady_clock::time_point until) -> long long {
        TheCaptureDevice.Configure(OnNotice, nullptr, kNormalThreadPriority, kCaptureBufferCount,
                                   kCaptureBufferSize, 1, 22050, 16);
        SetAudioSource(&MicrophoneSource);
        if (!TheCaptureDevice.Open()) return 0;
        uint8_t block[kCaptureBufferSize];
        long long bytes = 0;
        while (std::chrono::steady_clock::now() < until) {
            while (TheCaptureDevice.Read(block, kCaptureBufferSize))
                bytes += kCaptureBufferSize;
            std::unique_lock<std::mutex> guard(Notices.mutex);
            Notices.changed.wait_until(guard, until);  // a notice, or the end
        }
        TheCaptureDevice.Close();
        return bytes;
    });
}

void BM_PulseSimpleReads(benchmark::State& state) {
    Measure(state, [](std::chrono::steady_clock::time_point until) -> long long {
        const pa_sample_spec sampleFormat{PA_SAMPLE_S16LE, 22050, 1};
        pa_buffer_attr attributes{};
        attributes.maxlength = attributes.tlength = attributes.prebuf = attributes.minreq =
            static_cast<uint32_t>(-1);
        attributes.fragsize = kBufferBytes;
        pa_simple* simple = pa_simple_new(nullptr, "Quillo-SA bench", PA_STREAM_RECORD, nullptr,
                                          "capture", &sampleFormat, nullptr, &attributes, nullptr);
        if (simple == nullptr) return 0;
        uint8_t buffer[kBufferBytes];
        long long bytes = 0;
        while (std::chrono::steady_clock::now() < until &&
               pa_simple_read(simple, buffer, sizeof buffer, nullptr) == 0)
            bytes += kBufferBytes;
        pa_simple_free(simple);
        return bytes;
    });
}

// The bare loop that hosts the source: what it watches, and whether a turn is due at once.
struct BareLoopRecord {
    pollfd fds[16];
    unsigned count = 0;
    int timeoutMs = -1;
    bool due = false;
};
BareLoopRecord BareLoop;

void WatchOnBareLoop(const pollfd* fds, unsigned count, int timeoutMs) {
    BareLoop.count = std::min(count, 16u);
    std::copy_n(fds, BareLoop.count, BareLoop.fds);
    BareLoop.timeoutMs = timeoutMs;
}

// Only this thread adds buffers, so a wake comes from it too.
void WakeBareLoop() {
    BareLoop.due = true;
}

void BM_HostedAnalysis(benchmark::State& state) {
    ResetProgramState();
    SetDisplayBackEnd(&MemoryDisplayBackEnd);
    OpenDisplay(nullptr);
    InitViews(nullptr, 0, 26, 240, 268);
    SetPitchEstimator(PitchEstimatorKind::kAccurate);
    pictureWanted = false;
    static const PulseLoopHost host{WatchOnBareLoop, WakeBareLoop};
    SetPulseLoopHost(&host);
    Measure(state, [](std::chrono::steady_clock::time_point until) -> long long {
        static long long bytes = 0;
        auto analyse = [](void*, WaveHeader* header) {
            bytes += header->dwBytesRecorded;
            ProcessBlock(reinterpret_cast<const int16_t*>(header->lpData),
                         static_cast<int>(header->dwBytesRecorded / 2), false);
            PulseMicrophoneSource.addBuffer(header);
        };
        const AudioSourceClient client{nullptr, analyse, [](void*) { return true; }, nullptr};
        if (OpenPulseMicrophone(kMono, client) != PulseOpening::kOpened) return 0;
        QueueBuffersAndStart();
        TurnPulseLoop();
        while (std::chrono::steady_clock::now() < until) {
            const int left = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(
                                                  until - std::chrono::steady_clock::now())
                                                  .count());
            int timeout = BareLoop.timeoutMs < 0 ? left : std::min(BareLoop.timeoutMs, left);
            if (BareLoop.due) timeout = 0;
            BareLoop.due = false;
            poll(BareLoop.fds, BareLoop.count, std::max(timeout, 0));
            TurnPulseLoop();
        }
        PulseMicrophoneSource.reset();
        PulseMicrophoneSource.close();
        return bytes;
    });
    SetPulseLoopHost(nullptr);
}

BENCHMARK(BM_PulseSource)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_CaptureDevice)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_PulseSimpleReads)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_HostedAnalysis)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
