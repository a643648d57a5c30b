// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's procedure: the first paint starts capture, capture notices drain the
// queue into the block pipeline, activation suspends and resumes drawing, and the menu
// commands and buttons switch views, grids, labels and measurements, open the dialogs and
// help, and end the program. Main thread only.
#pragma once

#include <cstdint>

// The switches behind the toggle buttons and the window's own state; none is saved.
struct MainWindowStateRecord {
    bool captureStarted;  // set by the first paint, which starts capture
    void* menuBar;        // the current menu bar; null when it could not be built
    void* window;         // the window OnCaptureNotify posts to; set by the first paint
    bool dbLabelsOn;      // dB labels button; initially true
    bool dbGridOn;        // dB grid button; initially false
    bool freqGridOn;      // frequency grid button; initially false
    // Set by the host while no input plays (a file has ended, an input failed or was lost):
    // no block will present the picture, so the commands present what they redraw.
    bool inputAtRest;
    // What went wrong, for the program's exit code.
    bool captureFailed;  // capture could not be opened ("Sound input failed!")
    bool saveFailed;     // "Exit" could not save the settings
    // Blocks the source may still deliver from the large deliveries it made while the picture
    // stood still, to be read as then once the picture is shown again.
    int stillBlocksDue;
};
extern MainWindowStateRecord MainWindowState;

// The main window; null before it is created and after it is destroyed.
extern void* MainWindow;

// Set by a host whose window outlives an input that cannot be opened (a desktop window
// offers other inputs): called by the first paint instead of the box and the closing. Null:
// "Sound input failed!", then the window closes and captureFailed tells the exit code.
extern void (*CaptureFailureHandler)();

// Tells the window that no input plays (true) or that one plays again; at rest, the picture
// as drawn so far is presented (a window whose input failed at once shows its empty view).
void SetInputAtRest(bool atRest);

// Puts MainWindow and MainWindowState back as they were when the program started.
void ResetMainWindowState();

// Bytes of one block: 1024 signed 16-bit samples, reused for every block.
constexpr unsigned kBlockBytes = 2048;
// A backlog of this many bytes or more is dropped before processing (8.5 blocks).
constexpr unsigned kCatchUpBytes = 17408;
// Blocks read while more than this many bytes remain only feed the ring (1.5 blocks).
constexpr unsigned kSkipOutputBytes = 3072;
constexpr int kBlocksPerNotice = 3;
// The full view catches up by time, as its blocks come faster: a backlog of this much audio
// at its rate (or, at a rate where that would not fit, a queue one buffer short of full) is
// dropped, and each notice reads every queued block; its analysis is cheap, and only the
// blocks that kSkipOutputBytes lets through draw.
constexpr double kFullCatchUpSeconds = 0.4;
// While the picture stands still (PictureStill), the source is asked for deliveries of about
// this much audio (at most half the capture queue), so the window wakes about once a
// delivery; each is read whole, no block dropped, and no block of the handheld picture
// skips its output (it analyses only what it draws), so the pitch log keeps every row. Shown
// again, the source delivers one buffer at a time, and what it recorded before is still read
// so.
constexpr double kStillFragmentSeconds = 0.75;

intptr_t MainWindowProc(void* window, unsigned message, uintptr_t wParam, intptr_t lParam);

// Builds the menu bar of `view` with the noise button's current image; null on failure.
void* BuildMenuBar(int view);
// Replaces the menu bar with the current view's and posts a paint message.
void RebuildMenuBar();

// The About dialog (resource 103).
intptr_t AboutDialogProc(void* dialog, unsigned message, uintptr_t wParam, intptr_t lParam);

// Reads what the capture device has queued into the picture shown (ConsumeBlock), then
// re-arms the capture notice (message 960).
void DrainCapturedAudio();
