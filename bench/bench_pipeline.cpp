// The block pipeline at the capture rate's pace: one iteration is two 1024-sample blocks,
// one analysis call (frames, FFT, peak picking, readout, draw) and one draw-only call, both
// presented to the in-memory display, brought up as start-up does. At 22050 Hz the
// pair must fit in 92.9 ms.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>

#include "platform/display_memory.h"
#include "raster/display.h"
#include "shell/shell.h"
#include "shell/startup.h"
#include "views/view_frame.h"
#include "views/view_state.h"

namespace {

constexpr int kBlock = 1024;

void BM_ProcessBlockPair(benchmark::State& state) {
    // No settings file: the defaults (Narrow with pitch tracking, Hum filtering).
    ResetProgramState();
    SetDisplayBackEnd(&MemoryDisplayBackEnd);
    OpenDisplay(nullptr);
    InitViews(nullptr, 0, 26, 240, 268);
    ViewMode = static_cast<int>(state.range(0));
    if (ViewMode == kSpectrumView) EnterSpectrumView(22050, 1024, 1, 0);
    // 440 Hz with two harmonics: 20.43 cycles per block, so the blocks differ in phase.
    int16_t blocks[2][kBlock];
    for (int b = 0; b < 2; ++b) {
        for (int i = 0; i < kBlock; ++i) {
            const double phase = 2.0 * 3.141592653589793 * 440.0 * (b * kBlock + i) / 22050.0;
            blocks[b][i] = static_cast<int16_t>(std::lround(8000.0 * std::sin(phase) +
                                                            3000.0 * std::sin(2 * phase) +
                                                            1500.0 * std::sin(3 * phase)));
        }
    }
    for (int warm = 0; warm < 8; ++warm)
        ProcessBlock(blocks[warm & 1], kBlock, false);
    for (auto _ : state) {
        // Analysis runs on every second call: each pair holds one analysis call.
        ProcessBlock(blocks[0], kBlock, false);
        ProcessBlock(blocks[1], kBlock, false);
        benchmark::DoNotOptimize(MemoryDisplay.pixels[0]);
    }
    state.SetItemsProcessed(state.iterations() * 2);
    state.SetLabel(ViewMode == kSpectrumView ? "spectrum" : "spectrogram");
}
BENCHMARK(BM_ProcessBlockPair)
    ->Arg(kSpectrogramView)
    ->Arg(kSpectrumView)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
