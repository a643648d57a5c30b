// SPDX-License-Identifier: GPL-3.0-or-later
// The process-wide configuration the core reads: the view, the device profile, the capture
// configuration, and the eight persisted options with their one-line settings file. Main
// thread only; nothing here throws.
#pragma once

#include <cstdint>
#include <cstdio>

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
// The capture rate that the profile fixes: 11025 Hz on the device profile, else 22050 Hz.
int ProfileCaptureRate(bool deviceProfile);

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

// Reads the settings file when it is a regular file, anything else counting as missing (one
// "%d" conversion per field; a failed one, or a number that does not fit an int, keeps that
// field and all later ones), then applies the
// record: analysis window, frequency view, level table, dB range, averaging, peak hold,
// pre-emphasis. Values are kept as read (and saved so); the views limit the dB range they
// draw with (SetDbRange, BuildLevelTable). Called once at start-up, before capture starts.
void LoadSettings();

// Writes the eight options to the settings file, replacing it in one step (ReplaceFile, over
// a symlink's target); false, with errno telling why and the file as it was, when that fails.
// A file that this user cannot read (so it was never loaded) is not replaced.
bool SaveSettings();

// Opens a settings file for reading when it is a regular file (or a symlink to one). Null for
// a missing path and for anything else: a FIFO or a device would block or never end.
std::FILE* OpenRegularFile(const char* path);

// Turns the loudest power of an automatic-range run into the dB range 0 .. top (at least
// 0 .. 20); a level of 1e-10 or less changes nothing.
void ApplyAutoRange(float maxLevel);

// Puts ViewMode, deviceProfile and AnalyzerSettings back as they were when the program
// started.
void ResetSettings();
