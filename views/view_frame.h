// SPDX-License-Identifier: GPL-3.0-or-later
// The frame of a view: the frequency view set up from the capture configuration, the
// static frame redrawn (dB axis area, frequency axis, grids, dB axis), the dB range, the
// "Calibrating" notice, and the sequences that enter each view.
#pragma once

#include <cstdint>

// ---- Frame ------------------------------------------------------------------------------

// Stores the four values, requests a reset, picks the band's tick table, clears the
// frequency axis area, rebuilds the column map and draws the frequency axis. A rate
// setting other than 0 and 1 (with a rate other than 11025) stops after the reset request.
void SetupFrequencyView(int captureRate, int fftSize, int rateSetting, uint8_t logScale, int view);
// Redraws the static frame of the view: dB axis area, frequency view, grids and dB axis.
void RedrawViewFrame(int view);
// Stores the range (limited to kViewDbLowest .. kViewDbHighest) and the step (truncated;
// 0 when not a number or below 1), then draws the dB axis.
void SetDbRange(int max, int min, float step, int view);
// "Calibrating": on the overlay in the spectrum view (off erases it), on the canvas in the
// spectrogram view (where it scrolls away; off draws nothing).
void ShowCalibrating(int view, bool on);

// ---- Entering a view (the menu commands' sequences, less title and menu bar) ------------

void EnterSpectrumView(int captureRate, int fftSize, int rateSetting, uint8_t logScale);
void EnterSpectrogramView(int captureRate, int fftSize, int rateSetting, uint8_t logScale);
