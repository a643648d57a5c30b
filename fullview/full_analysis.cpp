// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's frames: ring, window, FFT, levels, averaging, peak hold, noise, history.
#include "fullview/full_analysis.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "fullview/full_axis.h"
#include "fullview/full_transform.h"

FullSpectrumRecord FullSpectrum = {};
FullHistoryRecord FullHistory = {};

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kShortAveragingSeconds = 0.1;  // time constants of the power averages
constexpr double kLongAveragingSeconds = 0.5;
constexpr float kFloorPower = 1e-20f;  // kFullFloorDb as a power

// The ring of the newest samples (-1 .. 1); writeIndex is the slot of the next one.
struct SampleRingState {
    float samples[kFullSampleRing];
    int writeIndex;
    int sinceFrame;  // samples since the last frame started
    int filled;      // samples since the ring started anew, up to kFullSampleRing
};
SampleRingState Ring;

static_assert(kFullMaxFftSize <= kFullTransformMaxSize);
FullTransformRecord Transform;

struct PowerState {
    float power[kFullMaxBins];     // this frame's power, after the noise reference
    float averaged[kFullMaxBins];  // the running average when averaging is on
    float alpha;                   // weight of a new frame in the average
    bool seeded;                   // averaged holds a frame: false until the first one
};
PowerState Power;

struct NoiseState {
    float reference[kFullMaxBins];  // mean power per bin, valid when ready
    bool enabled;
    bool ready;
    int framesSummed;
    int framesWanted;  // one second of frames
};
NoiseState Noise;

bool PowerOfTwo(int n) {
    return n > 0 && (n & (n - 1)) == 0;
}

uint8_t HistoryLevel(float db) {
    const float steps = (db - kFullHistoryFloorDb) / kFullHistoryStepDb + 0.5f;
    if (!(steps > 0.0f)) return 0;  // also NaN
    if (steps >= 255.0f) return 255;
    return uint8_t(steps);
}

void MeasureNoise(int bins) {
    if (!Noise.enabled || Noise.ready) return;
    for (int k = 0; k < bins; k++)
        Noise.reference[k] += Power.power[k];
    if (++Noise.framesSummed < Noise.framesWanted) return;
    const float inverse = 1.0f / float(Noise.framesSummed);
    for (int k = 0; k < bins; k++)
        Noise.reference[k] *= inverse;
    Noise.ready = true;
}

void AnalyseFrame() {
    FullSpectrumRecord& s = FullSpectrum;
    const int bins = s.binCount;
    FullFramePower(Transform, Ring.samples, kFullSampleRing, Ring.writeIndex, Power.power);
    MeasureNoise(bins);
    if (Noise.ready) {
        for (int k = 0; k < bins; k++)
            Power.power[k] = std::max(Power.power[k] - Noise.reference[k], 0.0f);
    }
    const float* power = Power.power;
    if (s.config.averaging != FullAveraging::Off) {
        const float a = Power.seeded ? Power.alpha : 1.0f;
        Power.seeded = true;
        for (int k = 0; k < bins; k++)
            Power.averaged[k] += a * (Power.power[k] - Power.averaged[k]);
        power = Power.averaged;
    }
    for (int k = 0; k < bins; k++)
        s.levelDb[k] = power[k] > kFloorPower ? 10.0f * std::log10(power[k]) : kFullFloorDb;
    if (s.config.peakHold) {
        const float fall = float(kFullPeakDecayDbPerSecond * FullFrameSeconds());
        for (int k = 0; k < bins; k++)
            s.peakDb[k] = std::max(s.levelDb[k], s.peakDb[k] - fall);
    }
    uint8_t* history =
        FullHistory.levels.data() + size_t(s.frames % FullHistory.capacity) * size_t(bins);
    for (int k = 0; k < bins; k++)
        history[k] = HistoryLevel(s.levelDb[k]);
    s.frames++;
}

// Everything that follows from the configuration alone: the bins, the hop, the window, the
// average's weight and the history's size (not its memory). Forgets nothing.
void TakeConfiguration(const FullAnalysisConfig& config) {
    FullSpectrumRecord& s = FullSpectrum;
    s.config = config;
    s.binCount = config.fftSize / 2 + 1;
    s.binHz = float(config.sampleRate) / float(config.fftSize);
    s.hop = FullHop(config);
    Transform.powerScale = BuildFullWindow(config.fftSize, config.window, Transform.window);
    const double seconds =
        config.averaging == FullAveraging::Long ? kLongAveragingSeconds : kShortAveragingSeconds;
    Power.alpha = float(1.0 - std::exp(-FullFrameSeconds() / seconds));
    const double framesPerSecond = double(config.sampleRate) / double(s.hop);
    FullHistory.capacity = int(std::ceil(framesPerSecond * config.historySeconds)) + 1;
    FullHistory.binCount = s.binCount;
}

// The history as it was before a change of the analysis.
struct HistoryShape {
    int binCount;
    float binHz;
    double frameSeconds;
    long long frames;  // frames analysed then
    int capacity;
};

// For each new bin, the old bins it takes the highest of: those whose centres lie within
// half a new bin of its centre, else the nearest; none above the old Nyquist.
struct BinSpans {
    int first[kFullMaxBins];
    int last[kFullMaxBins];  // first > last: no old bin, the floor
};
BinSpans Spans;

// The newest frames of the old history that the new one holds, in the new analysis's frames
// and bins: each new frame is the old frame of the same age, each bin as BinSpans says. The
// new history starts with them as frames 0 .. n - 1.
void CarryHistory(const HistoryShape& old, const std::vector<uint8_t>& levels) {
    FullSpectrumRecord& s = FullSpectrum;
    FullHistory.levels.assign(size_t(FullHistory.capacity) * size_t(s.binCount), 0);
    const long long held = std::min<long long>(old.frames, old.capacity);
    s.frames = 0;
    if (held <= 0) return;
    const double ratio = double(s.binHz) / double(old.binHz);  // old bins per new bin
    for (int k = 0; k < s.binCount; k++) {
        const double centre = double(k) * ratio;
        int first = int(std::ceil(centre - ratio / 2.0));
        int last = int(std::floor(centre + ratio / 2.0));
        if (first > last) first = last = int(std::lround(centre));
        Spans.first[k] = std::max(first, 0);
        Spans.last[k] = std::min(last, old.binCount - 1);
    }
    const double oldFramesPerNew = FullFrameSeconds() / old.frameSeconds;
    const long long count = std::min<long long>(
        FullHistory.capacity, 1 + (long long)(double(held - 1) / oldFramesPerNew + 1e-9));
    for (long long j = 0; j < count; j++) {
        const long long age = std::llround(double(count - 1 - j) * oldFramesPerNew);
        const long long frame = old.frames - 1 - std::min(age, held - 1);
        const uint8_t* from = levels.data() + size_t(frame % old.capacity) * size_t(old.binCount);
        uint8_t* to = FullHistory.levels.data() + size_t(j) * size_t(s.binCount);
        for (int k = 0; k < s.binCount; k++) {
            uint8_t highest = 0;
            for (int b = Spans.first[k]; b <= Spans.last[k]; b++)
                highest = std::max(highest, from[b]);
            to[k] = highest;
        }
    }
    s.frames = count;
}

}  // namespace

FullAnalysisConfig DefaultFullAnalysisConfig() {
    return {kFullDefaultRate,
            kFullDefaultFftSize,
            FullWindowKind::Hann,
            75,
            FullAveraging::Off,
            false,
            10};
}

float BuildFullWindow(int n, FullWindowKind kind, float* window) {
    double sum = 0.0;
    for (int i = 0; i < n; i++) {
        const double x = 2.0 * kPi * double(i) / double(n);
        double w;
        if (kind == FullWindowKind::Hann) {
            w = 0.5 - 0.5 * std::cos(x);
        } else {
            w = 0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2.0 * x) -
                0.01168 * std::cos(3.0 * x);
        }
        window[i] = float(w);
        sum += w;
    }
    // A full-scale sine of amplitude 1 at a bin's centre gives |X| = sum / 2 there.
    const double peak = sum / 2.0;
    return float(1.0 / (peak * peak));
}

int FullHop(const FullAnalysisConfig& config) {
    const int overlapHop = config.fftSize * (100 - config.overlapPercent) / 100;
    return std::max(1, std::min(overlapHop, config.sampleRate / kFullMinFramesPerSecond));
}

bool ValidFullAnalysisConfig(const FullAnalysisConfig& c) {
    return c.sampleRate >= kFullMinRate && c.sampleRate <= kFullMaxRate && PowerOfTwo(c.fftSize) &&
           c.fftSize >= kFullMinFftSize && c.fftSize <= kFullMaxFftSize &&
           (c.window == FullWindowKind::Hann || c.window == FullWindowKind::BlackmanHarris) &&
           c.overlapPercent >= 0 && c.overlapPercent <= 95 &&
           (c.averaging == FullAveraging::Off || c.averaging == FullAveraging::Short ||
            c.averaging == FullAveraging::Long) &&
           c.historySeconds >= kFullMinHistorySeconds && c.historySeconds <= kFullMaxHistorySeconds;
}

bool SameFullAnalysisConfig(const FullAnalysisConfig& a, const FullAnalysisConfig& b) {
    return a.sampleRate == b.sampleRate && a.fftSize == b.fftSize && a.window == b.window &&
           a.overlapPercent == b.overlapPercent && a.averaging == b.averaging &&
           a.peakHold == b.peakHold && a.historySeconds == b.historySeconds;
}

bool ConfigureFullAnalysis(const FullAnalysisConfig& config) {
    if (!ValidFullAnalysisConfig(config) || !PlanFullTransform(Transform, config.fftSize)) {
        return false;
    }
    TakeConfiguration(config);
    FullSpectrumRecord& s = FullSpectrum;
    s.frames = 0;
    std::fill_n(s.levelDb, kFullMaxBins, kFullFloorDb);
    std::fill_n(s.peakDb, kFullMaxBins, kFullFloorDb);
    std::fill_n(Ring.samples, kFullSampleRing, 0.0f);
    Ring.writeIndex = 0;
    Ring.sinceFrame = 0;
    Ring.filled = 0;
    std::fill_n(Power.averaged, kFullMaxBins, 0.0f);
    Power.seeded = false;
    SetFullNoiseReference(Noise.enabled);
    FullHistory.levels.assign(size_t(FullHistory.capacity) * size_t(s.binCount), 0);
    return true;
}

bool ChangeFullAnalysis(const FullAnalysisConfig& config) {
    const FullSpectrumRecord& s = FullSpectrum;
    if (s.binCount == 0) return ConfigureFullAnalysis(config);
    const FullAnalysisConfig before = s.config;
    if (SameFullAnalysisConfig(config, before)) return true;
    if (!ValidFullAnalysisConfig(config) || !PlanFullTransform(Transform, config.fftSize)) {
        return false;
    }
    const HistoryShape shape{s.binCount, s.binHz, FullFrameSeconds(), s.frames,
                             FullHistory.capacity};
    std::vector<uint8_t> levels;
    levels.swap(FullHistory.levels);
    TakeConfiguration(config);
    const bool sameRate = config.sampleRate == before.sampleRate;
    const bool sameBins = sameRate && config.fftSize == before.fftSize;
    if (!sameRate) {
        std::fill_n(Ring.samples, kFullSampleRing, 0.0f);
        Ring.writeIndex = 0;
        Ring.sinceFrame = 0;
        Ring.filled = 0;
    }
    if (!sameBins) {
        std::fill_n(FullSpectrum.levelDb, kFullMaxBins, kFullFloorDb);
        std::fill_n(FullSpectrum.peakDb, kFullMaxBins, kFullFloorDb);
        Power.seeded = false;
    } else if (config.peakHold && !before.peakHold) {
        std::copy_n(s.levelDb, kFullMaxBins, FullSpectrum.peakDb);
    }
    // An average switched on starts at the newest frame.
    if (sameBins && before.averaging == FullAveraging::Off) {
        std::copy_n(Power.power, kFullMaxBins, Power.averaged);
        Power.seeded = true;
    }
    // A reference taken in other bins, or through another window, no longer fits.
    if (!sameBins || config.window != before.window || !Noise.ready)
        SetFullNoiseReference(Noise.enabled);
    CarryHistory(shape, levels);
    return true;
}

int FeedFullAnalysis(const int16_t* samples, int count) {
    if (FullSpectrum.binCount == 0) return 0;
    const int hop = FullSpectrum.hop;
    int frames = 0;
    for (int i = 0; i < count; i++) {
        Ring.samples[Ring.writeIndex] = float(samples[i]) * (1.0f / 32768.0f);
        Ring.writeIndex = (Ring.writeIndex + 1) & (kFullSampleRing - 1);
        Ring.filled = std::min(Ring.filled + 1, kFullSampleRing);
        if (++Ring.sinceFrame < hop) continue;
        Ring.sinceFrame = 0;
        // A window over silence and a start, or over a join, is a stripe of every frequency.
        if (Ring.filled < FullSpectrum.config.fftSize) continue;
        AnalyseFrame();
        frames++;
    }
    return frames;
}

void RestartFullSamples() {
    Ring.filled = 0;
    Ring.sinceFrame = 0;
}

void FullRecentSamples(float* out, int count) {
    count = std::min(count, kFullSampleRing);
    int index = (Ring.writeIndex - count) & (kFullSampleRing - 1);
    for (int i = 0; i < count; i++) {
        out[i] = Ring.samples[index];
        index = (index + 1) & (kFullSampleRing - 1);
    }
}

void FullWaveformColumns(int samples, int columns, float* low, float* high) {
    samples = std::clamp(samples, 0, kFullSampleRing);
    columns = std::clamp(columns, 0, kFullMaxPositions);
    const int start = Ring.writeIndex - samples;
    for (int c = 0; c < columns; c++) {
        // Column c covers samples [c * samples / columns, (c + 1) * samples / columns), and
        // at least the one under its left edge when samples are fewer than columns.
        const long long from = (long long)c * samples / columns;
        const long long to = std::max(from + 1, (long long)(c + 1) * samples / columns);
        float lo = INFINITY, hi = -INFINITY;
        // One sample further joins each column's stroke to the next one's.
        for (long long i = from; i <= to && i < samples; i++) {
            const float v = Ring.samples[(start + int(i)) & (kFullSampleRing - 1)];
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        low[c] = lo <= hi ? lo : 0.0f;
        high[c] = lo <= hi ? hi : 0.0f;
    }
}

void SetFullNoiseReference(bool on) {
    Noise.enabled = on;
    Noise.ready = false;
    Noise.framesSummed = 0;
    Noise.framesWanted = FullSpectrum.hop > 0 ? int(std::ceil(1.0 / FullFrameSeconds())) : 1;
    std::fill_n(Noise.reference, kFullMaxBins, 0.0f);
}

bool FullNoiseReferenceReady() {
    return Noise.ready;
}

const uint8_t* FullHistoryFrame(long long frame) {
    if (frame < 0 || frame >= FullSpectrum.frames ||
        frame <= FullSpectrum.frames - 1 - FullHistory.capacity) {
        return nullptr;
    }
    return FullHistory.levels.data() +
           size_t(frame % FullHistory.capacity) * size_t(FullHistory.binCount);
}

float FullHistoryDb(uint8_t level) {
    return kFullHistoryFloorDb + float(level) * kFullHistoryStepDb;
}

double FullFrameSeconds() {
    const FullSpectrumRecord& s = FullSpectrum;
    return s.config.sampleRate > 0 ? double(s.hop) / double(s.config.sampleRate) : 0.0;
}

float FullPeakExponent() {
    return FullSpectrum.config.window == FullWindowKind::BlackmanHarris ? 0.1f : 0.23f;
}
