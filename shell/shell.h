// Application shell: the process-wide values the core reads (view, device profile, capture
// configuration), the settings with their file, and the block pipeline driver that turns
// every captured block into analysed and drawn output. Main thread only; nothing here
// allocates per block and nothing throws.
//
// Sections:
//   Process-wide values      ViewMode, deviceProfile, SetDeviceProfile
//   Settings                 AnalyzerSettings, LoadSettings, SaveSettings, ApplyAutoRange
//   Block pipeline           SampleRing, BlockCounter, frames, NoiseReference, AutoRange,
//                            PitchLock,
//                            ProcessBlock, SetNoiseReferenceEnabled, StartAutoRange
#pragma once

#include <cstdint>

#include "analysis/analysis.h"

// ---- Process-wide values ----------------------------------------------------------------

// 0 = Spectrogram (the initial view), 1 = Spectrum. Switched only by the view commands;
// passed as the last argument of every view operation that differs by view.
extern int ViewMode;

// Set at start-up when the OEM text names the small device: capture at 11025 Hz with
// 512-point frames, never decimated. Change it only through SetDeviceProfile.
extern bool deviceProfile;

// Sets deviceProfile and the capture configuration it fixes (captureRate, fftSize,
// fftLog2, timeTickMs in AnalyzerSettings). Start-up calls it once, before LoadSettings.
void SetDeviceProfile(bool on);

// ---- Settings ---------------------------------------------------------------------------

// The eight persisted options in file order, their derived analysis values and the capture
// configuration. The options are written by LoadSettings, the options dialog and
// ApplyAutoRange; the capture configuration only by SetDeviceProfile.
struct AnalyzerSettingsRecord {
    // Persisted, in file order ("%d %d %d %d %d %d %d %d").
    uint8_t logScale;    // 0 = Linear, any other value = Log; saved as read
    int dbMax;           // dB (power 1e-10 = 0 dB, 1.0 = 100 dB): top of the range
    int dbMin;           // dB: bottom of the range
    int freqResolution;  // 0 Narrow, 1 Medium, 2 Wide
    int timeAveraging;   // 0 Short, 1 Medium, 2 Long
    int peakProfile;     // 0 None, 1 Calibrate, 2 Music
    int rateSetting;     // 0 "11025 Hz" (every second sample), 1 "22050 Hz"
    int filtering;       // 0 None, 1 Auditory, 2 Hum

    // Derived from the options above; an option outside its range leaves them unchanged.
    float windowAlpha;     // Gaussian width: 2.5, 6.25, 15.625 by freqResolution
    bool pitchTrackingOn;  // freqResolution == 0: peak picking, tracker and readout run
    float preEmphasis;     // frame pre-emphasis k: 0, 0.97, 0.85 by filtering

    // Capture configuration, fixed at start-up, never saved.
    int captureRate;  // samples per second: 22050, 11025 on the device profile
    int fftSize;      // frame length N: 1024, 512 on the device profile
    int fftLog2;      // log2 N
    int timeTickMs;   // ms between waveform time-axis ticks: 1, 2 on the device profile
};
extern AnalyzerSettingsRecord AnalyzerSettings;

// Values of the three-way options, indexed by the option; other values change nothing.
constexpr int kOptionCount = 3;
constexpr float kWindowAlphas[kOptionCount] = {2.5f, 6.25f, 15.625f};  // freqResolution
constexpr float kAveragingFactors[kOptionCount] = {0.0f, 0.7f, 0.9f};  // timeAveraging
constexpr float kPreEmphases[kOptionCount] = {0.0f, 0.97f, 0.85f};     // filtering
constexpr int kLevelTableCount = 256;  // levels of the table a dB range builds
constexpr float kDbStep = 10.0f;       // dB between ticks, labels and grid lines

// The rate setting the analysis and the views work with. It is rateSetting, except that on
// the device profile, whose frames are never decimated, a stored 0 counts as 1: the bin
// width is then the true captureRate / fftSize in the peak picker and on the axis alike.
// Every caller of SetupFrequencyView passes this value.
int EffectiveRateSetting();

// Reads the settings file when it exists (one "%d" conversion per field; a failed one, or
// a number that does not fit an int, keeps that field and all later ones), then applies the
// record: analysis window, frequency view, level table, dB range, averaging, peak hold,
// pre-emphasis. Values are kept as read (and saved so); the views limit the dB range they
// draw with (SetDbRange, BuildLevelTable). Called once at start-up, before capture starts.
void LoadSettings();

// Writes the eight options to the settings file, replacing it; failures are ignored.
void SaveSettings();

// Turns the loudest power of an automatic-range run into the dB range 0 .. top (at least
// 0 .. 20); a level of 1e-10 or less changes nothing.
void ApplyAutoRange(float maxLevel);

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

// Appends one captured block (count samples, 1024 from the window procedure) to the ring;
// unless drawing is suspended, no frame is due or skipOutput is set, analyses every second
// call and draws, presents and fades on every call.
void ProcessBlock(const int16_t* samples, int count, bool skipOutput);

// Noise button: enabled = on, valid = false; switching on restarts the measurement.
void SetNoiseReferenceEnabled(bool on);

// Automatic-range button: starts (or restarts) a one-second run.
void StartAutoRange();
