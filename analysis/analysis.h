// SPDX-License-Identifier: GPL-3.0-or-later
// Spectral analysis: the Gaussian analysis window, the two-frame FFT with its two power
// spectra, harmonic peak picking and the pitch tracker. Plain procedures over the global
// records below; nothing here allocates and nothing throws.
//
// Per analysis (every second audio block) the pipeline calls:
//   ApplyAnalysisWindow(N, FrameEarly, d); ApplyAnalysisWindow(N, FrameLate, d);
//   TransformFramePair(L, FrameEarly, FrameLate, PowerSpectrumEarly, PowerSpectrumLate);
//   FindSpectralPeak(N / 2, PowerSpectrumEarly, binHz);   // zeroes bin 0 of the spectrum
// and on every block TrackPitch(estimate.frequency, estimate.weight), then TrackedPitch().
#pragma once

#include <cstdint>

// ---- Analysis window --------------------------------------------------------------------

constexpr int kAnalysisWindowSize = 4096;  // entries; the largest frame ComplexFft accepts

// Gaussian weights, entry i for frame sample i; only the first N (frame length) entries are
// meaningful. Rebuilt in place by BuildAnalysisWindow when the resolution setting changes.
extern float AnalysisWindow[kAnalysisWindowSize];

// Fills AnalysisWindow[0 .. frameLength-1] with exp(-(2 * windowAlpha * (i - N/2) / N)^2).
// Does nothing when frameLength <= 0 or frameLength > kAnalysisWindowSize.
void BuildAnalysisWindow(int frameLength, float windowAlpha);

// frame[i] = (AnalysisWindow[i] * frame[i]) * (1 / divisor) for i < frameLength, in place.
// The pipeline passes divisor = 32800 / windowAlpha. Does nothing when frameLength <= 0 or
// frameLength > kAnalysisWindowSize.
void ApplyAnalysisWindow(int frameLength, float* frame, float divisor);

// ---- Two-frame FFT and spectra ----------------------------------------------------------

constexpr int kFftMinLog2 = 2;
constexpr int kFftMaxLog2 = 12;
constexpr int kFftMaxSize = 1 << kFftMaxLog2;  // 4096 complex points
constexpr int kSpectrumSize = 1024;            // bins held by each power spectrum

// Raw transform of the last frame pair (FrameEarly real, FrameLate imaginary); entries
// 0 .. N-1 written by TransformFramePair, the rest never touched.
extern float FftRe[kFftMaxSize];
extern float FftIm[kFftMaxSize];

// |DFT|^2 / N^2 of the windowed, scaled frames, all N bins (entry N-k equals entry k).
// Consumers read bins 0 .. N/2 + 1. FindSpectralPeak zeroes bin 0.
extern float PowerSpectrumEarly[kSpectrumSize];
extern float PowerSpectrumLate[kSpectrumSize];
// Zeroes both spectra, as they are when the program starts.
void ClearPowerSpectra();

// Unnormalised forward DFT of inRe + i*inIm, N = 2^log2Size points, written to outRe and
// outIm (N entries each). Writes nothing unless 2 <= log2Size <= 12. Inputs and outputs may
// alias: the transform works in a private scratch array.
void ComplexFft(int log2Size, const float* inRe, const float* inIm, float* outRe, float* outIm);

// One complex FFT of two real frames (reInput as real part, imInput as imaginary part) into
// FftRe/FftIm, then separated into the power spectrum of each frame (N entries each).
// Precondition: 2 <= log2Size <= 12; power arrays hold N entries.
void TransformFramePair(int log2Size, const float* reInput, const float* imInput, float* rePower,
                        float* imPower);

// ---- Peak picking -----------------------------------------------------------------------

// Fundamental estimate of one spectrum; (0, 0) when nothing was found.
struct PeakEstimate {
    float frequency;  // Hz
    float weight;     // summed 5-bin energy of the winning harmonic series
};
static_assert(sizeof(PeakEstimate) == 8, "PeakEstimate is two 32-bit floats");

constexpr int kHarmonicCandidateRows = 100;  // storage rows
constexpr int kHarmonicCandidateLimit = 99;  // rows a call may fill; further peaks dropped

// One harmonic series found in the spectrum under scan.
struct HarmonicCandidateRow {
    float fundamental;  // bins (fractional): positionSum / harmonicSum
    int nextHarmonic;   // harmonic number the series expects next; 2 at creation
    float harmonicSum;  // sum of the harmonic numbers of its peaks; 1 at creation
    float positionSum;  // bins: sum of the positions of its peaks
    float weight;       // sum of the 5-bin energies of its peaks
};

// Rebuilt from empty by every FindSpectralPeak call; left as the last call finished it.
struct HarmonicCandidateTable {
    int count;  // rows in use, 0 .. kHarmonicCandidateLimit
    HarmonicCandidateRow rows[kHarmonicCandidateRows];
};
extern HarmonicCandidateTable HarmonicCandidate;

// Scans bins trunc(50 / binHz) .. count-1 of spectrum (which must hold count + 2 entries)
// for peaks, groups them into harmonic series and returns the strongest series'
// fundamental in Hz. Sets spectrum[0] to 0. Precondition: binHz <= 25.
PeakEstimate FindSpectralPeak(int count, float* spectrum, float binHz);

// ---- Pitch tracking ---------------------------------------------------------------------

enum class PitchState : int32_t {
    Idle,      // no pitch yet
    Tracking,  // following pitch
    Pending,   // one estimate disagreed; awaiting confirmation
};

// The one pitch follower; all zero (Idle) at start, never reset by the program.
struct PitchTrackerState {
    PitchState state;
    float pitch;            // Hz: internal smoothed pitch
    float referenceWeight;  // weight the pitch is judged against; raised by stronger matches
    float jumpCandidate;    // Hz: the disagreeing estimate remembered while Pending
    float reportedPitch;    // Hz: what TrackedPitch returns; 0 until first set
};
extern PitchTrackerState PitchTracker;
// Puts the follower back to Idle, as it is when the program starts (tests and fuzzing).
void ResetPitchTracker();

// Feeds one estimate; true when it was accepted as, or confirmed, the tracked pitch.
bool TrackPitch(float frequency, float weight);

// The reported pitch in Hz; above 1.0 means a pitch is present.
float TrackedPitch();
