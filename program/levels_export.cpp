// SPDX-License-Identifier: GPL-3.0-or-later
// Export Spectrum... and --spectrum-out.
#include "program/levels_export.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "analysis/analysis.h"
#include "capture/capture.h"
#include "fullview/bin_levels_csv.h"
#include "fullview/full_analysis.h"
#include "fullview/full_options.h"
#include "fullview/long_term_average.h"
#include "platform/files/file_names.h"
#include "platform/files/output_files.h"
#include "platform/qt/levels_export_item.h"
#include "program/program_options.h"
#include "shell/picture_mode.h"
#include "shell/pipeline.h"
#include "shell/settings.h"

namespace {

constexpr double kHandheldDbOffset = 100.0;  // the handheld scale: power 1e-10 is 0 dB

// The spectrum as the picture shows it; taken when asked, or held from the moment the pause
// button froze the picture. Main thread only.
struct ShownSpectrumRecord {
    bool held;  // the picture is frozen and these are its levels
    int binCount;
    double binHz;
    float levelDb[kFullMaxBins];
};
ShownSpectrumRecord Shown;

bool AverageWanted = false;  // --spectrum-out was given

float HandheldLevelDb(float power) {
    const double db =
        power > 0.0f ? 10.0 * std::log10(double(power)) + kHandheldDbOffset : double(kFullFloorDb);
    return float(std::max(db, double(kFullFloorDb)));
}

void TakeShownSpectrum() {
    if (PictureModeState.mode == PictureMode::kFull) {
        const FullSpectrumRecord& s = FullSpectrum;
        Shown.binCount = s.binCount;
        Shown.binHz = double(s.config.sampleRate) / double(s.config.fftSize);
        std::copy_n(s.levelDb, s.binCount, Shown.levelDb);
        return;
    }
    // The bins the trace was last drawn from (the pipeline draws the early spectrum on an
    // analysis turn, the late one on the next), every second sample in the half band.
    const AnalyzerSettingsRecord& a = AnalyzerSettings;
    const float* power = analysisTurn ? PowerSpectrumEarly : PowerSpectrumLate;
    const int step = EffectiveRateSetting() == 0 ? 2 : 1;
    Shown.binCount = a.fftSize / 2 + 1;
    Shown.binHz = double(a.captureRate) / double(a.fftSize) / double(step);
    for (int k = 0; k < Shown.binCount; k++)
        Shown.levelDb[k] = HandheldLevelDb(power[k]);
}

void FeedAverage(const int16_t* samples, int count) {
    const int rate = int(TheCaptureDevice.format.nSamplesPerSec);
    if (AverageSpectrum.binCount == 0 || AverageSpectrum.config.sampleRate != rate) {
        FullAnalysisConfig config = FullViewOptions.analysis;
        config.sampleRate = rate;
        if (!ConfigureAverageSpectrum(config)) return;
    }
    FeedAverageSpectrum(samples, count);
}

// Before the picture takes the block: the first block after the pause button froze the
// picture finds the spectrum it shows still in place.
void ObserveBlock(const int16_t* samples, int count) {
    if (!pictureFrozen) {
        Shown.held = false;
    } else if (!Shown.held) {
        TakeShownSpectrum();
        Shown.held = true;
    }
    if (AverageWanted) FeedAverage(samples, count);
}

}  // namespace

void EnableSpectrumExport(const ProgramOptions& options) {
    AverageWanted = options.spectrumOut.has_value();
    PictureModeState.observeBlock = ObserveBlock;
    if (!options.headless) OfferSpectrumExport(ShownSpectrumCsv);
}

bool ShownSpectrumCsv(std::string* csv) {
    if (!Shown.held) TakeShownSpectrum();
    if (Shown.binCount <= 0) return false;
    *csv = SpectrumCsv(Shown.levelDb, Shown.binCount, Shown.binHz);
    return true;
}

bool WriteAverageSpectrum(const ProgramOptions& options, char* reason, size_t reasonSize) {
    static float levels[kFullMaxBins];
    const std::string name = PrintableFileName(options.spectrumOut->c_str());
    if (!AverageSpectrumLevels(levels)) {
        std::snprintf(reason, reasonSize, "%s: the run ended before one frame of %d samples",
                      name.c_str(), FullViewOptions.analysis.fftSize);
        return false;
    }
    const std::string csv = SpectrumCsv(levels, AverageSpectrum.binCount, AverageSpectrum.binHz);
    if (WriteWholeFile(options.spectrumOut->c_str(), csv.data(), int(csv.size()))) return true;
    std::snprintf(reason, reasonSize, "%s: %s", name.c_str(), std::strerror(errno));
    return false;
}
