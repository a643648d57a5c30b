// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's analysis: its own sample ring, overlapping windowed frames through FFTW
// (single precision, planned once per size), the level of every bin in dB relative to a
// full-scale sine, averaging, peak hold, the noise reference, and the spectrogram's
// history of frames. Main thread only. Memory is taken when the configuration changes,
// never per frame; a frame costs one FFT, one logarithm per bin and no allocation.
//
// A caller configures once, then feeds every captured block:
//   ConfigureFullAnalysis(config);                 // false: the configuration was refused
//   int frames = FeedFullAnalysis(samples, count); // frames analysed by this block
//   ... FullSpectrum.levelDb / peakDb, FullHistory (newest frame last) ...
#pragma once

#include <cstdint>
#include <vector>

constexpr int kFullMinFftSize = 1024;
constexpr int kFullMaxFftSize = 32768;
constexpr int kFullDefaultFftSize = 8192;
constexpr int kFullMaxBins = kFullMaxFftSize / 2 + 1;
constexpr int kFullMinFramesPerSecond = 60;  // the spectrogram advances at least this fast
constexpr int kFullMinHistorySeconds = 5;
constexpr int kFullMaxHistorySeconds = 60;
constexpr int kFullDefaultRate = 48000;
constexpr int kFullMinRate = 8000;  // a file's own rate is taken down to this
constexpr int kFullMaxRate = 96000;
constexpr float kFullFloorDb = -200.0f;  // the level of a bin with no power

enum class FullWindowKind : uint8_t { Hann, BlackmanHarris };
enum class FullAveraging : uint8_t { Off, Short, Long };

struct FullAnalysisConfig {
    int sampleRate;  // Hz: 22050, 44100, 48000 or 96000, or a file's own (kFullMinRate ..)
    int fftSize;     // a power of two, kFullMinFftSize .. kFullMaxFftSize
    FullWindowKind window;
    int overlapPercent;  // 0 .. 95: share of a frame the next one repeats, at least
    FullAveraging averaging;
    bool peakHold;
    int historySeconds;  // kFullMinHistorySeconds .. kFullMaxHistorySeconds
};
// 48000 Hz, 8192, Hann, 75 %, no averaging, no peak hold, 10 s.
FullAnalysisConfig DefaultFullAnalysisConfig();
// True when every field is one ConfigureFullAnalysis accepts.
bool ValidFullAnalysisConfig(const FullAnalysisConfig& config);
// Samples between frame starts: the overlap's hop, shortened to keep kFullMinFramesPerSecond.
int FullHop(const FullAnalysisConfig& config);
// Fills window[0 .. n-1] with the window's weights; returns the factor that turns a bin's
// |X|^2 into power relative to a full-scale sine at the bin's centre.
float BuildFullWindow(int n, FullWindowKind kind, float* window);
// True when the two are the same analysis, field by field.
bool SameFullAnalysisConfig(const FullAnalysisConfig& a, const FullAnalysisConfig& b);

// What the analysis has produced; set by FeedFullAnalysis, cleared by a configuration.
struct FullSpectrumRecord {
    FullAnalysisConfig config;    // as last configured
    int binCount;                 // fftSize / 2 + 1
    float binHz;                  // sampleRate / fftSize
    int hop;                      // samples between frame starts
    long long frames;             // frames analysed since the configuration
    float levelDb[kFullMaxBins];  // dB per bin of the newest frame (averaged, noise removed)
    float peakDb[kFullMaxBins];   // held maxima, falling kFullPeakDecayDbPerSecond
};
extern FullSpectrumRecord FullSpectrum;

constexpr float kFullPeakDecayDbPerSecond = 10.0f;

// Takes the configuration (plans the FFT when the size changed, sizes the history), and
// forgets every sample, frame, average and held peak. False, changing nothing, when the
// configuration is not valid.
bool ConfigureFullAnalysis(const FullAnalysisConfig& config);

// As ConfigureFullAnalysis, but what still fits the new configuration is kept: the
// spectrogram's history (the newest frames the new length holds, taken into the new bins and
// frame rate by age: each new bin the highest of the old bins it covers), the samples when
// the rate stays, the levels, held peaks, average and noise reference when the bins stay
// (the noise reference also needs the same window). False, changing nothing, when the
// configuration is not valid.
bool ChangeFullAnalysis(const FullAnalysisConfig& config);

// Appends samples (16-bit units) to the ring and analyses every frame that became due, from
// the first whole window of samples on. Returns the frames analysed; 0 before the first
// configuration.
int FeedFullAnalysis(const int16_t* samples, int count);
// The samples that come next do not follow the ones before (the input was opened again
// elsewhere): frames wait for a whole window of them, so that none spans the join.
void RestartFullSamples();

// The newest `count` samples (oldest first, in -1 .. 1) into out; older than the first fed
// sample reads as 0. At most kFullSampleRing.
constexpr int kFullSampleRing = 65536;
void FullRecentSamples(float* out, int count);
// The waveform of the newest `samples` samples over `columns` pixel columns (oldest left):
// the lowest and highest sample of each column's share and of the first sample of the next
// (so that the strokes join), in -1 .. 1. At most
// kFullMaxPositions columns and kFullSampleRing samples.
void FullWaveformColumns(int samples, int columns, float* low, float* high);

// ---- Noise reference ---------------------------------------------------------------------

// On: measures the mean power of every bin over the next second of frames, then subtracts
// it from every frame's power (what is left is never below the floor). Off: forgets it.
void SetFullNoiseReference(bool on);
bool FullNoiseReferenceReady();

// ---- History -------------------------------------------------------------------------------

// The spectrogram's frames, each the levels of every bin in steps of kFullHistoryStepDb
// from kFullHistoryFloorDb (0 = at or below the floor, 255 = 3 dB above full scale).
constexpr float kFullHistoryFloorDb = -150.0f;
constexpr float kFullHistoryStepDb = 0.6f;
struct FullHistoryRecord {
    std::vector<uint8_t> levels;  // capacity frames of binCount bytes; sized by configuration
    int capacity;                 // frames held: historySeconds of frames, and one more
    int binCount;
};
extern FullHistoryRecord FullHistory;

// The frame with index `frame` (0 = the first since the configuration), or nullptr when it
// is not held (not yet analysed, or older than the history).
const uint8_t* FullHistoryFrame(long long frame);
// Level in dB of a history byte.
float FullHistoryDb(uint8_t level);
// The exponent of the magnitudes through which FullLevelAtBin draws a peak for the
// configured window (0.23 for Hann, 0.1 for Blackman-Harris: the parabola's top then lies
// where a lone tone is).
float FullPeakExponent();
// Seconds between frame starts.
double FullFrameSeconds();
