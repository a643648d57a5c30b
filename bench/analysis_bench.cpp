// SPDX-License-Identifier: GPL-3.0-or-later
// Speed of the per-analysis work: one 1024-point transform of a frame pair and the peak
// picker on a voiced spectrum, which run every second audio block (about 21 times a second
// at 22050 Hz), and the accurate pitch estimator, which runs every block when chosen. Each
// must take a small fraction of 46 ms.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "analysis/accurate_pitch.h"
#include "analysis/analysis.h"
#include "analysis/lag_products.h"
#include "analysis/level_meter.h"

namespace {

constexpr int kLog2 = 10;
constexpr int kSize = 1 << kLog2;

// Two windowed frames of a voice-like tone: 180 Hz with eight harmonics at 22050 Hz.
struct FramePair {
    std::array<float, kSize> early{};
    std::array<float, kSize> late{};
    FramePair() {
        for (int i = 0; i < kSize; ++i) {
            double v = 0.0;
            for (int h = 1; h <= 8; ++h) {
                v += 4000.0 / h * std::sin(2.0 * 3.141592653589793 * 180.0 * h * i / 22050.0);
            }
            early[i] = static_cast<float>(v);
            late[i] = static_cast<float>(v * 0.9);
        }
        BuildAnalysisWindow(kSize, 2.5f);
        ApplyAnalysisWindow(kSize, early.data(), 32800.0f / 2.5f);
        ApplyAnalysisWindow(kSize, late.data(), 32800.0f / 2.5f);
    }
};

void BM_ComplexFft1024(benchmark::State& state) {
    const FramePair frames;
    std::array<float, kSize> re, im;
    for (auto _ : state) {
        ComplexFft(kLog2, frames.early.data(), frames.late.data(), re.data(), im.data());
        benchmark::DoNotOptimize(re.data());
        benchmark::DoNotOptimize(im.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ComplexFft1024);

void BM_TransformFramePair1024(benchmark::State& state) {
    const FramePair frames;
    for (auto _ : state) {
        TransformFramePair(kLog2, frames.early.data(), frames.late.data(), PowerSpectrumEarly,
                           PowerSpectrumLate);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TransformFramePair1024);

void BM_FindSpectralPeak512(benchmark::State& state) {
    const FramePair frames;
    TransformFramePair(kLog2, frames.early.data(), frames.late.data(), PowerSpectrumEarly,
                       PowerSpectrumLate);
    std::array<float, kSpectrumSize> spectrum;
    std::copy(PowerSpectrumEarly, PowerSpectrumEarly + kSpectrumSize, spectrum.begin());
    const float binHz = 22050.0f / kSize;
    const PeakEstimate found = FindSpectralPeak(kSize / 2, spectrum.data(), binHz);
    if (!(std::fabs(found.frequency - 180.0f) < 5.0f)) state.SkipWithError("tone not found");
    for (auto _ : state) {
        // The picker clears bin 0 only; the rest of the spectrum is read, not written.
        benchmark::DoNotOptimize(FindSpectralPeak(kSize / 2, spectrum.data(), binHz));
    }
}
BENCHMARK(BM_FindSpectralPeak512);

// The accurate estimator's terms r(t) alone, through the transforms: the same segment sizes.
void BM_ComputeLagProducts(benchmark::State& state) {
    const int window = static_cast<int>(state.range(0));
    const int maxLag = window / 2;
    std::array<float, kAccuratePitchMaxSegment> segment{};
    for (int i = 0; i < window + maxLag; ++i)
        segment[i] = static_cast<float>(4000.0 * std::sin(0.05 * i) + 500.0 * std::sin(0.31 * i));
    std::array<float, kAccuratePitchMaxLag + 1> products{};
    for (auto _ : state) {
        ComputeLagProducts(segment.data(), maxLag, products.data());
        benchmark::DoNotOptimize(products.data());
    }
}
BENCHMARK(BM_ComputeLagProducts)->Arg(1024)->Arg(512)->Unit(benchmark::kMicrosecond);

// The accurate estimator runs on every block (about 21.5 times a second at 22050 Hz, 10.8
// at 11025 Hz) when chosen. Args: window (1024, or 512 on the small device); the lag
// range is half of it. The tone is the frame pair's, continuous over the segment.
void BM_EstimateAccuratePitch(benchmark::State& state) {
    const int window = static_cast<int>(state.range(0));
    const int maxLag = window / 2;
    const float rate = window == 1024 ? 22050.0f : 11025.0f;
    std::array<float, kAccuratePitchMaxSegment> segment{};
    for (int i = 0; i < window + maxLag; ++i) {
        double v = 0.0;
        for (int h = 1; h <= 8; ++h)
            v += 4000.0 / h * std::sin(2.0 * 3.141592653589793 * 180.0 * h * i / rate);
        segment[i] = static_cast<float>(v);
    }
    const PitchCandidate found = EstimateAccuratePitch(segment.data(), window, maxLag, rate);
    if (!(std::fabs(found.frequency - 180.0f) < 0.5f)) state.SkipWithError("tone not found");
    for (auto _ : state)
        benchmark::DoNotOptimize(EstimateAccuratePitch(segment.data(), window, maxLag, rate));
}
BENCHMARK(BM_EstimateAccuratePitch)->Arg(1024)->Arg(512)->Unit(benchmark::kMicrosecond);

// The tracker after it, on a held note whose estimates swing 10 cents either way: every
// call averages the run's last 0.25 s.
void BM_TrackAccuratePitch(benchmark::State& state) {
    ResetAccuratePitch();
    float cents = 10.0f;
    for (auto _ : state) {
        cents = -cents;
        TrackAccuratePitch({440.0f * std::exp2(cents / 1200.0f), 0.99f}, 1024.0f / 22050.0f);
        benchmark::DoNotOptimize(AccuratePitchTracker.pitch);
    }
}
BENCHMARK(BM_TrackAccuratePitch)->Unit(benchmark::kMicrosecond);

// The input level meter takes every block and the window's bar reads it after each. Arg: the
// capture rate (the window's 100 ms is 2205 samples at 22050 Hz, 9600 at the top rate).
void BM_FeedAndReadLevelMeter(benchmark::State& state) {
    const int rate = static_cast<int>(state.range(0));
    ConfigureLevelMeter(rate);
    std::array<int16_t, 1024> block{};
    for (int i = 0; i < 1024; ++i)
        block[i] = static_cast<int16_t>(12000.0 * std::sin(0.07 * i) + 3000.0 * std::sin(0.9 * i));
    for (auto _ : state) {
        FeedLevelMeter(block.data(), 1024);
        benchmark::DoNotOptimize(ReadLevelMeter());
    }
}
BENCHMARK(BM_FeedAndReadLevelMeter)->Arg(22050)->Arg(96000)->Unit(benchmark::kMicrosecond);

}  // namespace
