// SPDX-License-Identifier: GPL-3.0-or-later
// The block pipeline driver: every captured block goes into the sample ring; every second
// block cuts a frame pair, transforms it and post-processes the two spectra (noise
// reference, automatic range, peak picking); every block draws one spectrum of the pair,
// the pitch readout and the waveform strip, and presents the frame.
#include "shell/pipeline.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "analysis/accurate_pitch.h"
#include "analysis/analysis.h"
#include "raster/display.h"
#include "raster/surface.h"
#include "shell/pitch_choice.h"
#include "shell/pitch_log.h"
#include "shell/settings.h"
#include "views/block_view.h"
#include "views/readout.h"
#include "views/view_frame.h"
#include "views/view_state.h"
#include "views/waveform.h"

SampleRingRecord SampleRing = {};
BlockCounterRecord BlockCounter = {};
bool pictureWanted = true;
bool stripUnseen = false;
bool analysisTurn = true;
int samplesSinceFrame = 0;
bool pictureFrozen = false;
float FrameEarly[kFrameCapacity] = {};
float FrameLate[kFrameCapacity] = {};
NoiseReferenceRecord NoiseReference = {};
AutoRangeRecord AutoRange = {};
constexpr PitchLockRecord kInitialPitchLock = {.pitchLockState = kPitchLost,
                                               .confidence = 0,
                                               .missCount = 0,
                                               .estimateEarly = {},
                                               .estimateLate = {}};
PitchLockRecord PitchLock = kInitialPitchLock;

static constexpr float kSampleScale = 32800.0f;  // 16-bit units to about unit amplitude
static constexpr int kLockConfidence = 2;        // accepted pitches in a row that lock
static constexpr int kLostAfterMisses = 40;

void ResetPipeline() {
    pictureWanted = true;
    stripUnseen = false;
    SampleRing = {};
    analysisTurn = true;
    samplesSinceFrame = 0;
    BlockCounter = {};
    std::memset(FrameEarly, 0, sizeof FrameEarly);
    std::memset(FrameLate, 0, sizeof FrameLate);
    NoiseReference = {};
    AutoRange = {};
    PitchLock = kInitialPitchLock;
    pictureFrozen = false;
}

void SetNoiseReferenceEnabled(bool on) {
    NoiseReference.enabled = on;
    NoiseReference.valid = false;
    if (on) NoiseReference.runState = 1;
}

void StartAutoRange() {
    AutoRange.active = true;
    AutoRange.runState = 1;
}

// Decimation: "11025 Hz" takes every second sample of the 22050 Hz capture. The device
// profile captures at 11025 and never decimates; an unknown setting takes every sample.
static int DecimationStep() {
    return EffectiveRateSetting() == 0 ? 2 : 1;
}

// frame[n] = x[start + n*step] - k * x[start + n*step - 1] for n >= 1, where x is the ring
// read with masked indices; frame[0] keeps its raw sample. The subtracted sample is always
// the raw one just before the sample taken, also when every second sample is taken.
//
// The ring is read in stretches in which neither index wraps, so that the loop over a
// stretch runs on plain pointers and vectorises; the sample at ring position 0 pairs with
// the one at the ring's end and is taken alone.
static void CutFrame(float* frame, int start, int n, int step, float k) {
    const int16_t* x = SampleRing.samples;
    frame[0] = static_cast<float>(x[start & kRingMask]);
    int i = 1;
    while (i < n) {
        const int j = (start + i * step) & kRingMask;
        if (j == 0) {
            frame[i] = static_cast<float>(x[0]) - static_cast<float>(x[kRingMask]) * k;
            ++i;
            continue;
        }
        const int count = std::min(n - i, (kRingMask - j) / step + 1);
        const int16_t* taken = x + j;
        float* out = frame + i;
        if (step == 1) {
            for (int t = 0; t < count; ++t)
                out[t] = static_cast<float>(taken[t]) - static_cast<float>(taken[t - 1]) * k;
        } else {
            for (int t = 0; t < count; ++t) {
                out[t] = static_cast<float>(taken[t * step]) -
                         static_cast<float>(taken[t * step - 1]) * k;
            }
        }
        i += count;
    }
}

static int RingStartBefore(int index, int span) {
    const int start = index - span;
    return start < 0 ? start + kRingSamples : start;
}

static void SubtractNoiseReference(int n) {
    if (!NoiseReference.enabled || !NoiseReference.valid) return;
    const float* reference = NoiseReference.referenceSpectrum;
    for (int i = 0; i < n; ++i) {
        PowerSpectrumLate[i] -= reference[i];
        PowerSpectrumEarly[i] -= reference[i];
    }
}

// A reference entry takes a spectrum value above it, unless that is twice it or more.
static void RiseToBackground(float* entry, float b) {
    if (b > *entry && b < *entry * 2.0f) *entry = b;
}

// Half a second of summed spectra, scaled, then half a second in which each entry rises to
// a spectrum value above it but below twice it: the background without tones and clicks.
static void MeasureNoiseReference(int n, int count) {
    NoiseReferenceRecord& r = NoiseReference;
    if (!r.enabled) return;
    float* reference = r.referenceSpectrum;
    const int rate = AnalyzerSettings.captureRate;
    switch (r.runState) {
        case 1:
            for (int i = 0; i < n; ++i)
                reference[i] = 0.0f;
            r.elapsedSamples = 0;
            r.spectraSummed = 0;
            r.runState = 2;
            break;
        case 2:
            r.elapsedSamples += 2 * count;
            r.spectraSummed += 1;
            if (r.elapsedSamples < rate / 2) {
                for (int i = 0; i < n; ++i) {
                    reference[i] = (PowerSpectrumEarly[i] + PowerSpectrumLate[i]) + reference[i];
                }
            } else {
                // The divisor counts this call too, whose spectra were not added.
                r.runState = 3;
                const float scale = 1.0f / static_cast<float>(r.spectraSummed);
                for (int i = 0; i < n; ++i)
                    reference[i] *= scale;
            }
            break;
        case 3:
            r.elapsedSamples += 2 * count;
            if (r.elapsedSamples < rate) {
                for (int i = 0; i < n; ++i) {
                    RiseToBackground(&reference[i], PowerSpectrumLate[i]);
                    RiseToBackground(&reference[i], PowerSpectrumEarly[i]);
                }
            } else {
                r.runState = 4;
            }
            break;
        case 4:
            r.runState = 0;
            r.valid = true;
            ShowCalibrating(ViewMode, false);
            RedrawViewFrame(ViewMode);
            break;
        default:
            break;
    }
}

// The loudest bin of both spectra over one second of captured samples.
static void MeasureAutoRange(int n, int count) {
    AutoRangeRecord& a = AutoRange;
    if (!a.active) return;
    switch (a.runState) {
        case 1:
            a.runState = 2;
            a.elapsedSamples = 0;
            a.maxLevel = -4.0f;
            ShowCalibrating(ViewMode, true);
            break;
        case 2:
            a.elapsedSamples += 2 * count;
            if (a.elapsedSamples < AnalyzerSettings.captureRate) {
                for (int i = 0; i < n; ++i) {
                    if (PowerSpectrumEarly[i] > a.maxLevel) a.maxLevel = PowerSpectrumEarly[i];
                    if (PowerSpectrumLate[i] > a.maxLevel) a.maxLevel = PowerSpectrumLate[i];
                }
            } else {
                a.runState = 3;
            }
            break;
        case 3:
            a.active = false;
            ShowCalibrating(ViewMode, false);
            ApplyAutoRange(a.maxLevel);
            break;
        default:
            break;
    }
}

// Both spectra are scanned: the late estimate is never read, but the scan zeroes the late
// spectrum's bin 0 before the next call draws it.
static void PickPeaks(int n) {
    const int rateSetting = EffectiveRateSetting();
    if (rateSetting != 0 && rateSetting != 1) return;
    float binHz = static_cast<float>(AnalyzerSettings.captureRate) / static_cast<float>(n);
    if (rateSetting == 0) binHz *= 0.5f;
    PitchLock.estimateEarly = FindSpectralPeak(n / 2, PowerSpectrumEarly, binHz);
    PitchLock.estimateLate = FindSpectralPeak(n / 2, PowerSpectrumLate, binHz);
}

static void AnalyseFramePair() {
    const AnalyzerSettingsRecord& s = AnalyzerSettings;
    const int n = s.fftSize;
    const int step = DecimationStep();
    const int span = n * step;  // at most 2048: 1024 points every second sample
    const float k = s.preEmphasis;
    const float divisor = kSampleScale / s.windowAlpha;

    const int lateStart = RingStartBefore(SampleRing.writeIndex, span);
    CutFrame(FrameLate, lateStart, n, step, k);
    ApplyAnalysisWindow(n, FrameLate, divisor);
    CutFrame(FrameEarly, RingStartBefore(lateStart, span), n, step, k);
    ApplyAnalysisWindow(n, FrameEarly, divisor);
    TransformFramePair(s.fftLog2, FrameEarly, FrameLate, PowerSpectrumEarly, PowerSpectrumLate);

    SubtractNoiseReference(n);
}

// Lock state from the tracker's verdict: two accepted pitches in a row lock, misses wear
// the confidence down, and more than 40 misses in a row lose the pitch.
static void UpdatePitchLock(bool accepted, float pitch) {
    PitchLockRecord& p = PitchLock;
    if (accepted) {
        if (pitch > 1.0f) {
            if (p.confidence < kLockConfidence) p.confidence += 1;
            p.missCount = 0;
        }
    } else {
        if (p.confidence == 0 && p.pitchLockState == kPitchLocked) {
            p.pitchLockState = kPitchNotLocked;
        }
        if (p.confidence > 0) p.confidence -= 1;
        if (p.missCount < INT_MAX) p.missCount += 1;  // a long silence must not overflow
    }
    if (p.confidence >= kLockConfidence) p.pitchLockState = kPitchLocked;
    if (p.missCount > kLostAfterMisses) p.pitchLockState = kPitchLost;
}

static float accurateSegment[kAccuratePitchMaxSegment];
static double accurateSeconds = 0.0;  // audio time of the previous estimate

// The newest `count` ring samples, oldest first.
static void CutNewestSamples(int count) {
    const int16_t* ring = SampleRing.samples;
    const int start = SampleRing.writeIndex - count;
    for (int i = 0; i < count; ++i)
        accurateSegment[i] = static_cast<float>(ring[(start + i) & kRingMask]);
}

static int AccurateLockState() {
    const AccuratePitchTrackerRecord& t = AccuratePitchTracker;
    if (t.locked) return kPitchLocked;
    return t.missCount > kLostAfterMisses ? kPitchLost : kPitchNotLocked;
}

// In accurate mode, per block instead of the classic readout: the pitch of the newest samples
// drawn in the readout band and written to the pitch log's row for the audio's `seconds`.
static void ShowAccuratePitch(double seconds) {
    const AnalyzerSettingsRecord& s = AnalyzerSettings;
    // The small device's 512-point frames halve the window with the rate: the same span of
    // time, 70 ms, at either rate.
    const int window = s.fftSize;
    const int maxLag = window / 2;
    CutNewestSamples(window + maxLag);
    const float rate = static_cast<float>(s.captureRate);
    // The count starts again with a new input: no interval is negative.
    const float interval = seconds > accurateSeconds ? float(seconds - accurateSeconds) : 0.0f;
    accurateSeconds = seconds;
    TrackAccuratePitch(EstimateAccuratePitch(accurateSegment, window, maxLag, rate), interval);
    const float pitch = AccuratePitchTracker.pitch;
    const int lockState = AccurateLockState();
    if (pitch > 1.0f && pictureWanted) DrawPeakReadout(pitch, lockState);
    LogPitchRow(seconds, pitch, lockState);
}

static void UpdateReadout() {
    if (!AnalyzerSettings.pitchTrackingOn) {
        if (pictureWanted) DrawReadoutBand();
        return;
    }
    const bool accepted =
        TrackPitch(PitchLock.estimateEarly.frequency, PitchLock.estimateEarly.weight);
    const float pitch = TrackedPitch();
    UpdatePitchLock(accepted, pitch);
    const double seconds = double(BlockCounter.samples) / double(AnalyzerSettings.captureRate);
    if (PitchChoice.estimator == PitchEstimatorKind::kAccurate) {
        ShowAccuratePitch(seconds);
        return;
    }
    if (pitch > 1.0f && pictureWanted) DrawPeakReadout(pitch, PitchLock.pitchLockState);
    LogPitchRow(seconds, pitch, PitchLock.pitchLockState);
}

void ProcessBlock(const int16_t* samples, int count, bool skipOutput) {
    if (!SampleRing.zeroed) {
        for (int16_t& sample : SampleRing.samples)
            sample = 0;
        SampleRing.zeroed = true;
    }
    analysisTurn = !analysisTurn;
    BlockCounter.blocks += 1;
    BlockCounter.samples += count;
    // Appended in at most a few stretches up to the ring's end.
    for (int i = 0; i < count;) {
        const int n = std::min(count - i, kRingSamples - SampleRing.writeIndex);
        std::memcpy(SampleRing.samples + SampleRing.writeIndex, samples + i, sizeof(int16_t) * n);
        SampleRing.writeIndex = (SampleRing.writeIndex + n) & kRingMask;
        i += n;
    }
    samplesSinceFrame += count;
    const bool frameDue = samplesSinceFrame > kFrameDueSamples;
    if (frameDue) samplesSinceFrame -= kFrameDueSamples;
    if (drawingSuspended || !frameDue || skipOutput) return;

    const AnalyzerSettingsRecord& s = AnalyzerSettings;
    if (analysisTurn) {
        AnalyseFramePair();
        MeasureNoiseReference(s.fftSize, count);
        MeasureAutoRange(s.fftSize, count);
        if (s.pitchTrackingOn) PickPeaks(s.fftSize);
    }
    UpdateReadout();
    if (!pictureWanted) return;
    DrawBlockView(analysisTurn ? PowerSpectrumEarly : PowerSpectrumLate, s.captureRate, count,
                  ViewMode);
    if (!stripUnseen) DrawWaveformStrip(samples, count, s.captureRate, false);
    if (!pictureFrozen) PresentFrame();
    if (stripUnseen) {
        AdvanceFadeTiming();
    } else {
        FadeWaveformStrip();
    }
    if (ViewMode == kSpectrumView) FadeSpectrumPlot();
}
