// SPDX-License-Identifier: GPL-3.0-or-later
// Which picture takes the captured blocks, and at what rate they are captured.
#include "shell/picture_mode.h"

#include "analysis/level_meter.h"
#include "raster/display.h"
#include "shell/pipeline.h"
#include "shell/settings.h"

PictureModeRecord PictureModeState = {PictureMode::kHandheld, 48000, 0, nullptr, nullptr, nullptr};

int PictureCaptureRate() {
    const PictureModeRecord& p = PictureModeState;
    if (p.mode != PictureMode::kFull) return AnalyzerSettings.captureRate;
    return p.fileRate > 0 ? p.fileRate : p.fullCaptureRate;
}

void ConsumeBlock(const int16_t* samples, int count, bool skipOutput) {
    if (PictureModeState.observeBlock) PictureModeState.observeBlock(samples, count);
    // The meter is part of the picture (the window's bar, the full view's snapshot).
    if (pictureWanted) {
        if (LevelMeterRate() != PictureCaptureRate()) ConfigureLevelMeter(PictureCaptureRate());
        FeedLevelMeter(samples, count);
    }
    if (!skipOutput && PictureModeState.levelMeasured && !PictureStill())
        PictureModeState.levelMeasured();
    if (PictureModeState.mode == PictureMode::kFull && PictureModeState.consumeFullBlock) {
        BlockCounter.blocks += 1;
        BlockCounter.samples += count;
        PictureModeState.consumeFullBlock(samples, count, skipOutput);
        return;
    }
    ProcessBlock(samples, count, skipOutput);
}

bool PictureStill() {
    return pictureFrozen || drawingSuspended;
}

bool SetPictureMode(PictureMode mode) {
    if (mode == PictureMode::kFull && PictureModeState.consumeFullBlock == nullptr) return false;
    PictureModeState.mode = mode;
    return true;
}
