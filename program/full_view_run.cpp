// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's block consumer: analysis, pitch at the full view's rate, log, repaint.
#include "program/full_view_run.h"

#include <QImage>
#include <QSize>
#include <QWidget>
#include <cstdio>

#include "analysis/accurate_pitch.h"
#include "capture/capture.h"
#include "fullview/full_analysis.h"
#include "fullview/full_options.h"
#include "fullview/full_pitch.h"
#include "fullview/full_tuner.h"
#include "fullview/full_view_choices.h"
#include "platform/files/file_names.h"
#include "platform/qt/full_view.h"
#include "platform/qt/full_view_window.h"
#include "platform/qt/level_meter_view.h"
#include "platform/qt/picture_file.h"
#include "platform/qt/window_extras.h"
#include "program/input_switch.h"
#include "program/program_options.h"
#include "shell/choices.h"
#include "shell/picture_mode.h"
#include "shell/pipeline.h"
#include "shell/pitch_log.h"
#include "shell/settings.h"
#include "views/note_scale.h"
#include "views/view_state.h"

namespace {

// Seconds of an ended file played again for the handheld picture: its spectrogram's 2.3 s.
constexpr double kHandheldTailSeconds = 3.0;

// The full view's audio as the pitch log counts it, and what it last saw of the input.
struct FullRunRecord {
    double seconds;     // audio consumed in the full view, for the pitch log
    bool noiseOn;       // the noise button as last handed to the analysis
    long long dropped;  // BlockCounter.dropped as last seen
};
FullRunRecord FullRun;

// The options' analysis at `rate` (the capture's), keeping what still fits; the pitch's
// samples start afresh at a new rate.
void AnalyseAt(int rate) {
    FullAnalysisConfig config = FullViewOptions.analysis;
    config.sampleRate = rate;
    const bool newRate = rate != FullSpectrum.config.sampleRate;
    if (!ChangeFullAnalysis(config) || !newRate) return;
    ConfigureFullPitch(rate);
    ResetFullTuner();
}

void ConsumeFullBlock(const int16_t* samples, int count, bool skipOutput) {
    // The analysis follows the rate the input is captured at (a file's own).
    const int rate = int(TheCaptureDevice.format.nSamplesPerSec);
    if (rate != FullSpectrum.config.sampleRate) AnalyseAt(rate);
    // Blocks the catch-up threw away leave a gap in the samples.
    if (BlockCounter.dropped != FullRun.dropped) {
        FullRun.dropped = BlockCounter.dropped;
        RestartFullSamples();
    }
    // The noise button measures and subtracts the full view's own reference too.
    if (NoiseReference.enabled != FullRun.noiseOn) {
        FullRun.noiseOn = NoiseReference.enabled;
        SetFullNoiseReference(FullRun.noiseOn);
    }
    FeedFullAnalysis(samples, count);
    TrackFullPitch(samples, count);
    FullRun.seconds += double(count) / double(FullSpectrum.config.sampleRate);
    const float pitch = AccuratePitchTracker.pitch;
    const int lockState = FullPitchLockState();
    LogPitchRow(FullRun.seconds, pitch, lockState);
    // The gauge follows every block, as the log does, so that its smoothing keeps one rhythm.
    UpdateFullTuner(pitch > 1.0f ? pitch : 0.0f, lockState, NoteScale.referenceHz);
    SetFullViewFrozen(pictureFrozen);  // the pause button holds this picture too
    if (skipOutput || !pictureWanted) return;
    SetFullViewPitch(pitch > 1.0f ? pitch : 0.0f, AccuratePitchTracker.locked, FullTuner);
    SetFullViewSpectrogram(ViewMode != kSpectrumView);  // the view buttons choose the plot
    if (!pictureFrozen) FullViewFramesAnalysed();
}

QSize SnapshotSize(const ProgramOptions& options) {
    return options.size ? QSize(options.size->first, options.size->second) : QSize(1280, 720);
}

bool FullShown() {
    return PictureModeState.mode == PictureMode::kFull;
}

// The input opened again when the shown picture's rate is not the one it records at; with
// `replayEnded`, a file that has ended also plays its last seconds again (as many as the
// picture now shown holds) so that the picture ends where the file did.
void FollowCaptureRate(bool replayEnded) {
    const bool ended = replayEnded && InputEnded();
    if (!ended && TheCaptureDevice.format.nSamplesPerSec == unsigned(PictureCaptureRate())) return;
    ReplayCurrentInput(FullShown() ? double(FullSpectrum.config.historySeconds)
                                   : kHandheldTailSeconds);
}

// The picture and the full view's options kept for the next start.
void RememberFullView() {
    if (!SaveFullViewChoices()) {
        std::fprintf(stderr, "quillo-sa: the picture could not be remembered in %s\n",
                     PrintableFileName(ChoicesFilePath()).c_str());
    }
}

bool ShowFull(bool full) {
    if (!SetPictureMode(full ? PictureMode::kFull : PictureMode::kHandheld)) return false;
    ResetAccuratePitch();
    ResetFullTuner();
    // The samples to come do not follow those the full view last had; the end of a file is
    // drawn from its replayed seconds alone, not after older ones.
    if (full) RestartFullSamples();
    if (full && InputEnded()) ConfigureFullAnalysis(FullSpectrum.config);
    FollowCaptureRate(true);
    FullViewOptionsChanged();  // drawn anew, in the colours of now
    RememberFullView();
    return true;
}

void FullOptionsChanged() {
    // Colours, the axis, the dB scale, the gauge or the reference pitch alone keep the
    // history; other changes keep what still fits.
    PictureModeState.fullCaptureRate = FullViewOptions.analysis.sampleRate;
    const int fileRate = PictureModeState.fileRate;
    AnalyseAt(fileRate > 0 ? fileRate : PictureModeState.fullCaptureRate);
    FullViewOptionsChanged();
    FollowCaptureRate(false);
    RememberFullView();
}

// Save Picture's picture while the full view is shown: the widget's, at its device pixels.
bool ShownFullPicture(QImage* picture) {
    const QWidget* view = FullViewWidget();
    if (!FullShown() || view == nullptr) return false;
    *picture = RenderFullView(view->size() * view->devicePixelRatio());
    return true;
}

// Every measured block: the meter of the picture shown repaints.
void ShowInputLevel() {
    const bool full = FullShown();
    ShowBarLevelMeter(!full);
    if (full) FullViewLevelMeasured();
}

const FullViewWindowTable kFullViewWindow = {ShowFull, FullShown, FullOptionsChanged};

}  // namespace

void EnableFullView(const ProgramOptions& options) {
    // --view outranks the kept picture; a headless run draws the handheld one unless --view
    // says otherwise, so that a script's output does not depend on what a window last showed.
    LoadFullViewChoices(options.view.has_value() || options.headless);
    ConfigureFullAnalysis(FullViewOptions.analysis);
    const int rate = FullSpectrum.config.sampleRate;
    ConfigureFullPitch(rate);
    ResetFullTuner();
    PictureModeState.fullCaptureRate = rate;
    PictureModeState.consumeFullBlock = ConsumeFullBlock;
    if (options.view) {
        PictureModeState.mode =
            *options.view == "full" ? PictureMode::kFull : PictureMode::kHandheld;
    }
}

void AttachFullView(const ProgramOptions& options) {
    if (options.headless) return;
    AttachFullViewToWindows(&kFullViewWindow);
    SetShownPictureSource(ShownFullPicture);
}

void EnableLevelMeter(const ProgramOptions& options) {
    if (options.headless) return;
    AttachBarLevelMeter();
    PictureModeState.levelMeasured = ShowInputLevel;
}

bool WriteFullViewSnapshot(const ProgramOptions& options, char* reason, size_t reasonSize) {
    return WritePicturePng(RenderFullView(SnapshotSize(options)), options.snapshot->c_str(), reason,
                           reasonSize);
}
