// SPDX-License-Identifier: GPL-3.0-or-later
// The block pipeline driver: the records it keeps between blocks (sample ring, block count,
// frames, noise reference, automatic range, pitch lock) and ProcessBlock, which turns every
// captured block into analysed and drawn output. Main thread only; nothing here allocates
// per block and nothing throws.
#pragma once

#include <cstdint>

#include "analysis/analysis.h"

// ---- Block pipeline ---------------------------------------------------------------------

constexpr int kRingSamples = 2048;  // power of two: indices wrap by masking
constexpr int kRingMask = kRingSamples - 1;
constexpr int kFrameCapacity = 1024;  // floats per frame; the first fftSize are used
constexpr int kFrameDueSamples = 1024;

// The newest kRingSamples samples at captureRate. writeIndex is the slot of the next sample:
//
//   samples: [ ..older.. | newest ][ next -> oldest ... ]
//                                  ^ writeIndex
struct SampleRingRecord {
    int16_t samples[kRingSamples];
    int writeIndex;  // 0 .. kRingSamples-1
    bool zeroed;     // set by the first ProcessBlock, which clears the samples
};
extern SampleRingRecord SampleRing;

// Blocks and samples handed to ProcessBlock since start: the pitch log's clock and the
// count that scripted commands wait for.
struct BlockCounterRecord {
    long long blocks;
    long long samples;  // at captureRate
    long long dropped;  // whole blocks the main window's catch-up threw away unprocessed
};
extern BlockCounterRecord BlockCounter;

// False when nobody sees the picture (a headless run that writes no snapshot): blocks are
// analysed, measured, tracked and logged as ever, but nothing is drawn, presented or faded
// and the input level meter is not fed.
// Nothing that the analysis reads is kept by the drawing, so the log and the settings are
// the same either way.
extern bool pictureWanted;

// Blocks within which the waveform strip's fades take every pixel drawn before them to
// black (at most 20 fades, and the strip fades on 2 blocks of every 5 in either view, with
// room to spare): the strip as presented depends only on the blocks drawn since.
constexpr int kStripFadesOutBlocks = 96;
// Set by a driver that knows nobody looks at the picture within kStripFadesOutBlocks
// blocks: the waveform strip is then neither drawn nor faded (the fades' rhythm goes on),
// as its pixels will have faded out by the time anyone looks.
extern bool stripUnseen;

// Inverted at the start of every ProcessBlock (initially true, so the first call runs with
// false); the calls that run with it true analyse: calls 2, 4, 6, ...
extern bool analysisTurn;
// Samples received since the last frame became due (due when the sum exceeds 1024).
extern int samplesSinceFrame;

// The frame pair of the last analysis, in 16-bit sample units, pre-emphasised, then
// windowed and scaled. FrameLate ends with the newest sample, FrameEarly precedes it.
extern float FrameEarly[kFrameCapacity];
extern float FrameLate[kFrameCapacity];

// Background-noise reference: measured over about one second after the noise button is
// switched on, then subtracted from both spectra of every analysis.
struct NoiseReferenceRecord {
    float referenceSpectrum[kSpectrumSize];  // power per bin, entries 0 .. fftSize-1
    bool enabled;                            // noise button state
    bool valid;                              // a measurement has finished since the last switch
    int runState;        // 0 idle; 1 start, 2 summing, 3 rising to the background, 4 done
    int elapsedSamples;  // raw samples measured: 2 x block length per analysis call
    int spectraSummed;   // analysis calls in state 2, the last one included
};
extern NoiseReferenceRecord NoiseReference;

// Automatic dB range: the loudest bin over one second of analyses.
struct AutoRangeRecord {
    bool active;
    int runState;        // 1 start, 2 measuring, 3 apply
    int elapsedSamples;  // raw samples measured
    float maxLevel;      // loudest power seen; starts at -4
};
extern AutoRangeRecord AutoRange;

// How sure the readout is of the tracked pitch.
struct PitchLockRecord {
    int pitchLockState;          // 0 locked, 1 not locked, 2 lost (initially)
    int confidence;              // 0 .. 2
    int missCount;               // unaccepted estimates since the last accepted pitch > 1 Hz
    PeakEstimate estimateEarly;  // last estimate of PowerSpectrumEarly, fed every call
    PeakEstimate estimateLate;   // computed for its side effect (bin 0 zeroed); unused
};
extern PitchLockRecord PitchLock;

// The pause button: while set, blocks are analysed, measured, logged and drawn as ever, but
// nothing is presented, so the screen keeps the last presented frame.
extern bool pictureFrozen;

// Appends one captured block (count samples, 1024 from the window procedure) to the ring;
// unless drawing is suspended, no frame is due or skipOutput is set, analyses every second
// call and draws, presents (unless pictureFrozen) and fades on every call.
void ProcessBlock(const int16_t* samples, int count, bool skipOutput);

// Noise button: enabled = on, valid = false; switching on restarts the measurement.
void SetNoiseReferenceEnabled(bool on);

// Automatic-range button: starts (or restarts) a one-second run.
void StartAutoRange();

// Puts every record above back as it was when the program started.
void ResetPipeline();
