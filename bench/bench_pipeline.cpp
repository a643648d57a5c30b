// SPDX-License-Identifier: GPL-3.0-or-later
// The block pipeline at the capture rate's pace, presented to the in-memory display and
// brought up as start-up does. One iteration is two 1024-sample blocks: one analysis call
// (frames, FFT, peak picking, readout, draw) and one draw-only call; at 22050 Hz the pair
// must fit in 92.9 ms. "block_us" is the mean CPU time of one call; "x_floor" divides it by
// the floor, the plain copy of the bytes that composing and presenting must touch.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "platform/headless/display_memory.h"
#include "raster/display.h"
#include "raster/surface.h"
#include "shell/pipeline.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "views/view_frame.h"
#include "views/view_state.h"

namespace {

constexpr int kBlock = 1024;
constexpr int kViewRows = 268;
constexpr size_t kViewBytes = sizeof(uint16_t) * kSurfaceWidth * kViewRows;

// Composing reads the overlay and reads and writes the canvas; presenting reads the canvas
// and writes the frame buffer: two copies of the 240 x 268 view.
struct FloorBuffers {
    std::vector<uint16_t> overlay, canvas, screen;
    FloorBuffers()
        : overlay(kViewBytes / 2, 0x1234), canvas(kViewBytes / 2), screen(kViewBytes / 2) {}
    void Copy() {
        std::memcpy(canvas.data(), overlay.data(), kViewBytes);
        std::memcpy(screen.data(), canvas.data(), kViewBytes);
        benchmark::DoNotOptimize(screen.data());
        benchmark::ClobberMemory();
    }
};

void BM_FloorCopy(benchmark::State& state) {
    FloorBuffers b;
    for (auto _ : state)
        b.Copy();
    state.SetBytesProcessed(state.iterations() * 4 * static_cast<int64_t>(kViewBytes));
}
BENCHMARK(BM_FloorCopy)->Unit(benchmark::kMicrosecond);

// CPU time of this thread: on a machine shared with other work, wall time also counts the
// time the thread waited for a core.
double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// The floor in seconds, measured in place for the ratio: the fastest of many timed batches.
double FloorSeconds() {
    static const double seconds = [] {
        FloorBuffers b;
        double best = 1.0;
        for (int batch = 0; batch < 50; ++batch) {
            const double start = ThreadSeconds();
            for (int i = 0; i < 20; ++i)
                b.Copy();
            best = std::min(best, (ThreadSeconds() - start) / 20);
        }
        return best;
    }();
    return seconds;
}

// 440 Hz with two harmonics and a little noise, continuous from block to block.
void Signal(int16_t* block, long first) {
    uint32_t noise = 12345u + static_cast<uint32_t>(first);
    for (int i = 0; i < kBlock; ++i) {
        const double phase = 2.0 * 3.141592653589793 * 440.0 * (first + i) / 22050.0;
        noise = noise * 1664525u + 1013904223u;
        block[i] = static_cast<int16_t>(
            std::lround(8000.0 * std::sin(phase) + 3000.0 * std::sin(2 * phase) +
                        1500.0 * std::sin(3 * phase) + static_cast<double>(noise >> 22) - 512.0));
    }
}

// Args: view (0 spectrogram, 1 spectrum), noise reference (1: measured, valid, subtracted).
void BM_ProcessBlock(benchmark::State& state) {
    const int view = static_cast<int>(state.range(0));
    const bool noise = state.range(1) != 0;
    // No settings file: the defaults (Narrow with pitch tracking, Hum filtering).
    ResetProgramState();
    SetDisplayBackEnd(&MemoryDisplayBackEnd);
    OpenDisplay(nullptr);
    InitViews(nullptr, 0, 26, 240, 268);
    ViewMode = view;
    if (ViewMode == kSpectrumView) EnterSpectrumView(22050, 1024, 1, 0);
    int16_t blocks[2][kBlock];
    long t = 0;
    if (noise) {
        SetNoiseReferenceEnabled(true);
        for (int b = 0; b < 40 && !NoiseReference.valid; ++b, t += kBlock) {
            Signal(blocks[0], t);
            ProcessBlock(blocks[0], kBlock, false);
        }
        if (!NoiseReference.valid) state.SkipWithError("noise reference not measured");
    }
    // An even number of blocks so far: blocks[0] is always the drawing call's.
    if (t / kBlock % 2 != 0) t += kBlock;
    Signal(blocks[0], t);
    Signal(blocks[1], t + kBlock);
    for (int warm = 0; warm < 8; ++warm)
        ProcessBlock(blocks[warm & 1], kBlock, false);
    const double floor = FloorSeconds();
    const double start = ThreadSeconds();
    for (auto _ : state) {
        ProcessBlock(blocks[0], kBlock, false);
        ProcessBlock(blocks[1], kBlock, false);
        benchmark::DoNotOptimize(MemoryDisplay.pixels[0]);
    }
    const double perBlock =
        (ThreadSeconds() - start) / (2.0 * static_cast<double>(state.iterations()));
    state.SetItemsProcessed(state.iterations() * 2);
    state.counters["block_us"] = perBlock * 1e6;
    state.counters["floor_us"] = floor * 1e6;
    state.counters["x_floor"] = perBlock / floor;
    state.SetLabel(std::string(view == kSpectrumView ? "spectrum" : "spectrogram") +
                   (noise ? ", noise reference" : ""));
}
BENCHMARK(BM_ProcessBlock)
    ->ArgNames({"view", "noise"})
    ->Args({kSpectrogramView, 0})
    ->Args({kSpectrumView, 0})
    ->Args({kSpectrogramView, 1})
    ->Args({kSpectrumView, 1})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
