// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's block consumer: analysis, pitch at the full view's rate, log, repaint.
#include "program/full_view_run.h"

#include <QImage>
#include <QSize>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analysis/accurate_pitch.h"
#include "capture/capture.h"
#include "fullview/full_analysis.h"
#include "fullview/full_options.h"
#include "fullview/full_view_choices.h"
#include "platform/files/file_names.h"
#include "platform/qt/full_view.h"
#include "platform/qt/full_view_window.h"
#include "platform/qt/picture_file.h"
#include "platform/qt/window_extras.h"
#include "program/input_switch.h"
#include "program/program_options.h"
#include "shell/choices.h"
#include "shell/picture_mode.h"
#include "shell/pipeline.h"
#include "shell/pitch_log.h"
#include "shell/settings.h"
#include "views/readout.h"
#include "views/view_state.h"

namespace {

constexpr int kPitchRate = 22050;  // the accurate estimator's figures hold about this rate
constexpr int kPitchWindow = 1024;
constexpr int kPitchMaxLag = 512;
constexpr int kPitchRing = 4096;  // power of two, above kAccuratePitchMaxSegment
// Seconds of an ended file played again for the handheld picture: its spectrogram's 2.3 s.
constexpr double kHandheldTailSeconds = 3.0;

// The samples the pitch is estimated from: the capture averaged over `factor` samples (a
// gentle low-pass) down to about kPitchRate, newest at writeIndex - 1.
struct FullPitchRecord {
    float ring[kPitchRing];
    int writeIndex;
    int factor;   // capture samples per pitch sample
    int pending;  // capture samples summed into `sum` so far
    float sum;
    double seconds;     // audio consumed in the full view, for the pitch log
    bool noiseOn;       // the noise button as last handed to the analysis
    long long dropped;  // BlockCounter.dropped as last seen
    float segment[kAccuratePitchMaxSegment];
};
FullPitchRecord FullPitch;

int LockState() {
    const AccuratePitchTrackerRecord& t = AccuratePitchTracker;
    if (t.locked) return kPitchLocked;
    return t.missCount > 2 ? kPitchLost : kPitchNotLocked;
}

void TrackFullPitch(const int16_t* samples, int count) {
    FullPitchRecord& p = FullPitch;
    for (int i = 0; i < count; i++) {
        p.sum += float(samples[i]);
        if (++p.pending < p.factor) continue;
        p.ring[p.writeIndex] = p.sum / float(p.factor);
        p.writeIndex = (p.writeIndex + 1) & (kPitchRing - 1);
        p.sum = 0.0f;
        p.pending = 0;
    }
    const int length = kPitchWindow + kPitchMaxLag;
    for (int i = 0; i < length; i++)
        p.segment[i] = p.ring[(p.writeIndex - length + i) & (kPitchRing - 1)];
    const float rate = float(FullSpectrum.config.sampleRate) / float(p.factor);
    TrackAccuratePitch(EstimateAccuratePitch(p.segment, kPitchWindow, kPitchMaxLag, rate));
    p.seconds += double(count) / double(FullSpectrum.config.sampleRate);
}

// The options' analysis at `rate` (the capture's), keeping what still fits; the pitch's
// samples start afresh at a new rate.
void AnalyseAt(int rate) {
    FullAnalysisConfig config = FullViewOptions.analysis;
    config.sampleRate = rate;
    const bool newRate = rate != FullSpectrum.config.sampleRate;
    if (!ChangeFullAnalysis(config) || !newRate) return;
    FullPitchRecord& p = FullPitch;
    std::fill_n(p.ring, kPitchRing, 0.0f);
    p.writeIndex = p.pending = 0;
    p.sum = 0.0f;
    p.factor = std::max(1, int(std::lround(double(rate) / kPitchRate)));
}

void ConsumeFullBlock(const int16_t* samples, int count, bool skipOutput) {
    // The analysis follows the rate the input is captured at (a file's own).
    const int rate = int(TheCaptureDevice.format.nSamplesPerSec);
    if (rate != FullSpectrum.config.sampleRate) AnalyseAt(rate);
    // Blocks the catch-up threw away leave a gap in the samples.
    if (BlockCounter.dropped != FullPitch.dropped) {
        FullPitch.dropped = BlockCounter.dropped;
        RestartFullSamples();
    }
    // The noise button measures and subtracts the full view's own reference too.
    if (NoiseReference.enabled != FullPitch.noiseOn) {
        FullPitch.noiseOn = NoiseReference.enabled;
        SetFullNoiseReference(FullPitch.noiseOn);
    }
    FeedFullAnalysis(samples, count);
    TrackFullPitch(samples, count);
    const float pitch = AccuratePitchTracker.pitch;
    LogPitchRow(FullPitch.seconds, pitch, LockState());
    SetFullViewFrozen(pictureFrozen);  // the pause button holds this picture too
    if (skipOutput || !pictureWanted) return;
    SetFullViewPitch(pitch > 1.0f ? pitch : 0.0f, AccuratePitchTracker.locked);
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

const FullViewWindowTable kFullViewWindow = {ShowFull, FullShown, FullOptionsChanged};

}  // namespace

void EnableFullView(const ProgramOptions& options) {
    // --view outranks the kept picture; a headless run draws the handheld one unless --view
    // says otherwise, so that a script's output does not depend on what a window last showed.
    LoadFullViewChoices(options.view.has_value() || options.headless);
    ConfigureFullAnalysis(FullViewOptions.analysis);
    const int rate = FullSpectrum.config.sampleRate;
    FullPitch = {};
    FullPitch.factor = std::max(1, int(std::lround(double(rate) / kPitchRate)));
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

bool WriteFullViewSnapshot(const ProgramOptions& options, char* reason, size_t reasonSize) {
    return WritePicturePng(RenderFullView(SnapshotSize(options)), options.snapshot->c_str(), reason,
                           reasonSize);
}
