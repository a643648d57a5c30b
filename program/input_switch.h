// SPDX-License-Identifier: GPL-3.0-or-later
// Which input plays, and changing it while the window runs: the microphones the machine
// lists and audio files (Open File..., a drop). A switch closes the capture device and
// opens it on the new input as start-up does, and the views start afresh as after a view
// switch; an input that cannot be opened is "Sound input failed!" with its reason, and the
// one that played before plays again (when there is none, or it fails too, the window stays
// with nothing playing). A microphone chosen in the window is remembered with the program's
// own choices (shell/choices.h) for the next start, where --device and --input still win.
// The window names the input beside its title, and says when a file has
// ended. Main thread only.
#pragma once

#include <string>

#include "platform/audio/audio_sources.h"

// ---- Start ----

// Loads the file for the picture shown: converted to `handheldRate` for the handheld picture;
// in the full view at its own rate, within what capture takes. PictureModeState.fileRate
// follows the file. False with a one-line reason.
bool LoadInputFile(const char* path, unsigned handheldRate, AudioFilePacing pacing,
                   std::string* reason);

// The microphone to record at start: `device` (--device) when given, else the one remembered
// while the machine still lists it, else the default input.
void StartOnMicrophone(const char* device);
// The file of --input, already loaded, plays at start.
void StartOnFile(const char* path);
// In a window: the file of --input could not be loaded, for `reason`; the window opens with
// nothing playing and says why.
void StartOnUnreadableFile(const char* reason);
// In a window: the Input menu, Open File..., drops, Save Picture... and the note beside the
// title; an input that cannot be opened at start, or a microphone lost while it records,
// leaves the window with nothing playing ("Sound input failed!" and the reason, in a box).
// After the QApplication exists, before the program runs; a headless run has none of them,
// and ends when its input fails.
void EnableInputSwitching();

// ---- Switching ----

// Records from the input listed as `label` (platform/audio/source_label.h); a label that names the
// playing file plays it again from its start. True when the new input plays.
bool SwitchToDevice(const char* label);
// Plays the file, paced in real time. True when it plays.
bool SwitchToFile(const char* path);
// Opens the playing input again at the shown picture's capture rate: a file where it was,
// or, when it has ended, `endedTailSeconds` before its end, to end again from there.
bool ReplayCurrentInput(double endedTailSeconds);
// True once the playing file has ended (and until it is opened again).
bool InputEnded();

// What the window says of the input beside its title: the file's name or the input's
// description, with ", input ended" once a file has played; "nothing plays" after a failure.
const char* InputStatus();
