// SPDX-License-Identifier: GPL-3.0-or-later
// The two pictures: the handheld one, which the block pipeline draws, and the full view,
// whose analysis and drawing the program composes above the core. The main window captures
// at the shown picture's rate and hands every block to that picture.
#pragma once

#include <cstdint>

enum class PictureMode : uint8_t {
    kHandheld,  // the described picture, at the settings' capture rate; the first start's
    kFull,      // the full view, at its own capture rate
};

struct PictureModeRecord {
    PictureMode mode;     // kHandheld at start
    int fullCaptureRate;  // Hz: the full view's capture rate, set by the program
    // Hz: the playing file's own rate, limited to what capture takes; 0 while no file plays.
    // A file plays at this rate in the full view. Set by the program's input code.
    int fileRate;
    // Set by the program: takes every captured block while the full view is shown (its
    // analysis, pitch, log and drawing); skipOutput as for ProcessBlock. The full mode is
    // refused while it is null.
    void (*consumeFullBlock)(const int16_t* samples, int count, bool skipOutput);
    // Set by the program, null when unused: sees every captured block, in either picture,
    // before the picture takes it.
    void (*observeBlock)(const int16_t* samples, int count);
    // Set by the program, may be null: the input level meter took a block that is to be shown
    // (in either picture; blocks skipped for catching up are measured but not announced).
    void (*levelMeasured)();
};
extern PictureModeRecord PictureModeState;

// The capture rate of the picture shown (in the full view a file's own rate).
int PictureCaptureRate();
// Shows `mode` from the next block on; refused (false) for the full view while it has no
// consumer. The capture's rate is the caller's: it reopens the input (the window's start
// and every input switch open it at PictureCaptureRate).
bool SetPictureMode(PictureMode mode);
// Hands one block to the picture shown, counting it in BlockCounter, and to the input level
// meter (analysis/level_meter.h) at the picture's capture rate while a picture is wanted;
// the meter's reading is announced only while the picture moves.
void ConsumeBlock(const int16_t* samples, int count, bool skipOutput);
// True while nothing on the screen changes: the picture is paused or not shown (drawing
// suspended).
bool PictureStill();
