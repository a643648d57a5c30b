// SPDX-License-Identifier: GPL-3.0-or-later
// The input level meter: the peak and RMS of the newest 100 ms of captured samples in dBFS
// (0 dBFS: a sample at full scale, so a full-scale sine has peak 0 and RMS -3.01 dBFS), and a
// clip sign that a sample at or above -0.1 dBFS raises and that stays for 2 s of samples.
// Counted in samples, never by the clock, so that a paused source holds the meter as it is.
// Fed every captured block, whichever picture is shown; main thread only.
//
//   ConfigureLevelMeter(rate);        // at a new capture rate: forgets everything
//   FeedLevelMeter(samples, count);   // every block
//   LevelReading now = ReadLevelMeter();
#pragma once

#include <cstdint>

constexpr int kLevelMeterMaxRate = 96000;      // Hz
constexpr float kLevelMeterFloorDb = -100.0f;  // silence and anything quieter read this
constexpr float kLevelMeterClipDb = -0.1f;     // a sample this loud raises the clip sign
constexpr int kLevelMeterWindowMs = 100;       // the span peak and RMS are taken over
constexpr int kLevelMeterClipHoldSeconds = 2;

struct LevelReading {
    float peakDb;  // dBFS, kLevelMeterFloorDb .. 0
    float rmsDb;   // dBFS, kLevelMeterFloorDb .. 0
    bool clipped;  // a sample reached kLevelMeterClipDb within the hold
};

// The meter at a capture rate (8000 .. kLevelMeterMaxRate Hz; others are limited to it): the
// window and the hold in samples, and nothing measured yet (silence before the first sample).
void ConfigureLevelMeter(int sampleRate);
// The capture rate last configured, as given; 0 before the first configuration.
int LevelMeterRate();
// Takes captured samples (16-bit units); nothing before the first configuration.
void FeedLevelMeter(const int16_t* samples, int count);
LevelReading ReadLevelMeter();
// ReadLevelMeter().clipped, without measuring the window.
bool LevelMeterClipping();
// Whole kLevelMeterWindowMs spans of samples taken since the configuration: a clock of the
// samples, by which a view paces its redraws (no reading changes much within one span).
long long LevelMeterSpansTaken();

// "Peak -6.0  RMS -9.0 dBFS", or `compact` "-6.0 / -9.0 dBFS", cut to `capacity` bytes (NUL
// included); returns the characters written.
int FormatLevelReading(const LevelReading& reading, bool compact, char* text, int capacity);
