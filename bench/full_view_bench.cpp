// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's costs per second of live audio and per frame: its analysis of 48000 Hz at
// FFT 8192 (about 60 frames a second), and its picture painted at 1920 x 1080 (spectrum and
// spectrogram) into an image as the backing store receives it, on Qt's offscreen platform.
// Live at 60 frames a second the budget is 10 % of a core: 100 ms of work per second.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "fullview/full_analysis.h"
#include "fullview/full_options.h"
#include "platform/qt/full_view.h"

namespace {

std::vector<int16_t> ToneSecond(int rate) {
    std::vector<int16_t> samples(static_cast<size_t>(rate));
    for (size_t i = 0; i < samples.size(); i++)
        samples[i] = int16_t(8000.0 * std::sin(2.0 * M_PI * 440.0 * double(i) / rate) +
                             2000.0 * std::sin(2.0 * M_PI * 5000.0 * double(i) / rate));
    return samples;
}

// One second of audio through the analysis, in the capture's blocks of 1024 samples.
void BM_FullAnalysisSecond(benchmark::State& state) {
    FullAnalysisConfig config = DefaultFullAnalysisConfig();
    config.fftSize = int(state.range(0));
    ConfigureFullAnalysis(config);
    const std::vector<int16_t> second = ToneSecond(config.sampleRate);
    for (auto _ : state) {
        for (size_t at = 0; at + 1024 <= second.size(); at += 1024)
            FeedFullAnalysis(second.data() + at, 1024);
        benchmark::DoNotOptimize(FullSpectrum.levelDb[0]);
    }
}
BENCHMARK(BM_FullAnalysisSecond)->Arg(8192)->Arg(32768)->Unit(benchmark::kMillisecond);

// One frame of the picture after 1/60 s of new audio.
void PaintFrames(benchmark::State& state, bool spectrogram) {
    ConfigureFullAnalysis(DefaultFullAnalysisConfig());
    const std::vector<int16_t> second = ToneSecond(48000);
    for (int i = 0; i < 4; i++)
        FeedFullAnalysis(second.data(), 48000);
    SetFullViewSpectrogram(spectrogram);
    FullViewOptionsChanged();
    const QSize size(1920, 1080);
    RenderFullView(size);  // the ring drawn whole once
    size_t at = 0;
    for (auto _ : state) {
        FeedFullAnalysis(second.data() + at, 800);  // one frame's hop: one new column
        at = (at + 800) % (second.size() - 800);
        benchmark::DoNotOptimize(RenderFullView(size).constBits());
    }
}

void BM_FullSpectrumFrame(benchmark::State& state) {
    PaintFrames(state, false);
}
void BM_FullSpectrogramFrame(benchmark::State& state) {
    PaintFrames(state, true);
}
BENCHMARK(BM_FullSpectrumFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullSpectrogramFrame)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
