// SPDX-License-Identifier: GPL-3.0-or-later
// The process-wide configuration: view, device profile, capture configuration and the eight
// persisted options with their one-line settings file.
#include "shell/settings.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "analysis/analysis.h"
#include "shell/host.h"
#include "views/block_view.h"
#include "views/view_frame.h"
#include "views/view_state.h"

namespace {
constexpr int kSettingsTextSize = 8 * 12;  // eight ints of at most 11 characters and blanks
// The file's first number as read: logScale keeps its low eight bits, and the number itself
// is saved again unless the scale has changed since.
int logScaleAsRead = 0;
}  // namespace

int ViewMode = 0;
bool deviceProfile = false;

constexpr AnalyzerSettingsRecord kInitialSettings = {
    .logScale = 0,
    .dbMax = 80,
    .dbMin = 20,
    .freqResolution = 0,
    .timeAveraging = 1,
    .peakProfile = 2,
    .rateSetting = 1,
    .filtering = 2,
    .windowAlpha = 2.5f,
    .pitchTrackingOn = false,  // until the first load
    .preEmphasis = 0.85f,
    .captureRate = 22050,
    .fftSize = 1024,
    .fftLog2 = 10,
    .timeTickMs = 1,
};
AnalyzerSettingsRecord AnalyzerSettings = kInitialSettings;

void ResetSettings() {
    ViewMode = 0;
    deviceProfile = false;
    AnalyzerSettings = kInitialSettings;
    logScaleAsRead = 0;
}

int ProfileCaptureRate(bool on) {
    return on ? 11025 : 22050;
}

void SetDeviceProfile(bool on) {
    deviceProfile = on;
    AnalyzerSettings.captureRate = ProfileCaptureRate(on);
    AnalyzerSettings.fftSize = on ? 512 : 1024;
    AnalyzerSettings.fftLog2 = on ? 9 : 10;
    AnalyzerSettings.timeTickMs = on ? 2 : 1;
}

int EffectiveRateSetting() {
    if (deviceProfile && AnalyzerSettings.rateSetting == 0) return 1;
    return AnalyzerSettings.rateSetting;
}

// ---- Reading the file -------------------------------------------------------------------

// One "%d" conversion: white space, an optional sign, at least one digit. Unlike fscanf it
// refuses (returns false) a number that does not fit an int instead of leaving it undefined;
// like fscanf it consumes the whole digit run either way.
static bool ReadDecimal(std::FILE* file, int* value) {
    int c = std::fgetc(file);
    while (c != EOF && std::isspace(c))
        c = std::fgetc(file);
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = std::fgetc(file);
    }
    if (c == EOF || !std::isdigit(c)) return false;
    const int64_t limit = negative ? -static_cast<int64_t>(INT32_MIN) : INT32_MAX;
    int64_t magnitude = 0;
    bool fits = true;
    for (; c != EOF && std::isdigit(c); c = std::fgetc(file)) {
        if (fits) magnitude = magnitude * 10 + (c - '0');
        if (magnitude > limit) fits = false;
    }
    if (c != EOF) std::ungetc(c, file);
    if (!fits) return false;
    *value = static_cast<int>(negative ? -magnitude : magnitude);
    return true;
}

// Reads the fields in file order; the first failed conversion ends the reading.
static void ReadSettingsFile(std::FILE* file) {
    AnalyzerSettingsRecord& s = AnalyzerSettings;
    int flag = 0;
    if (!ReadDecimal(file, &flag)) return;
    s.logScale = static_cast<uint8_t>(flag & 0xFF);
    logScaleAsRead = flag;
    int* const fields[] = {&s.dbMax,       &s.dbMin,       &s.freqResolution, &s.timeAveraging,
                           &s.peakProfile, &s.rateSetting, &s.filtering};
    for (int* field : fields) {
        if (!ReadDecimal(file, field)) break;
    }
}

// ---- Applying the record ----------------------------------------------------------------

// Level-table power of a dB value on whole tens: 10^((db - 100) / 10), the quotient an
// integer division. Formed in 64 bits, as a file's dB value may be any int; a power beyond
// the float range is the level table's to limit, as the range is SetDbRange's.
static float TensPower(int db) {
    const int64_t tens = (static_cast<int64_t>(db) - 100) / 10;
    return static_cast<float>(std::pow(10.0, static_cast<double>(tens)));
}

static bool IsOption(int value) {
    return value >= 0 && value < kOptionCount;
}

static void ApplySettings() {
    AnalyzerSettingsRecord& s = AnalyzerSettings;
    if (IsOption(s.freqResolution)) {
        s.windowAlpha = kWindowAlphas[s.freqResolution];
        s.pitchTrackingOn = s.freqResolution == 0;
    }
    BuildAnalysisWindow(s.fftSize, s.windowAlpha);
    SetupFrequencyView(s.captureRate, s.fftSize, EffectiveRateSetting(), s.logScale, ViewMode);
    BuildLevelTable(TensPower(s.dbMax), TensPower(s.dbMin), kLevelTableCount);
    SetDbRange(s.dbMax, s.dbMin, kDbStep, ViewMode);
    if (IsOption(s.timeAveraging)) SetAveragingFactor(kAveragingFactors[s.timeAveraging]);
    SetPeakProfile(s.peakProfile);
    if (IsOption(s.filtering)) s.preEmphasis = kPreEmphases[s.filtering];
}

std::FILE* OpenRegularFile(const char* path) {
    if (path == nullptr) return nullptr;
    std::error_code error;
    if (std::filesystem::status(path, error).type() != std::filesystem::file_type::regular) {
        return nullptr;
    }
    return std::fopen(path, "r");
}

void LoadSettings() {
    std::FILE* file = OpenRegularFile(SettingsFilePath());
    if (file != nullptr) {
        ReadSettingsFile(file);
        std::fclose(file);
    }
    ApplySettings();
}

bool SaveSettings() {
    const char* path = SettingsFilePath();
    if (path == nullptr) return true;  // a host without a settings file has nothing to keep
    // A file that could not be read was not loaded: it is the user's, not ours to replace.
    std::error_code error;
    if (std::filesystem::status(path, error).type() == std::filesystem::file_type::regular) {
        std::FILE* readable = std::fopen(path, "r");
        if (readable == nullptr) return false;
        std::fclose(readable);
    }
    const AnalyzerSettingsRecord& s = AnalyzerSettings;
    const int logScale = static_cast<uint8_t>(logScaleAsRead & 0xFF) == s.logScale
                             ? logScaleAsRead
                             : static_cast<int>(s.logScale);
    char text[kSettingsTextSize];
    const int length =
        std::snprintf(text, sizeof text, "%d %d %d %d %d %d %d %d", logScale, s.dbMax, s.dbMin,
                      s.freqResolution, s.timeAveraging, s.peakProfile, s.rateSetting, s.filtering);
    return ReplaceFile(path, text, length, true);
}

// ---- Automatic range --------------------------------------------------------------------

void ApplyAutoRange(float maxLevel) {
    const float floor = static_cast<float>(std::pow(10.0, -10.0));  // 0 dB
    const float quiet = static_cast<float>(std::pow(10.0, -8.0));   // 20 dB above it
    // Nothing changes for a level at or below 0 dB, or for one no float spectrum can reach.
    if (!(maxLevel > floor) || std::isinf(maxLevel)) return;
    AnalyzerSettingsRecord& s = AnalyzerSettings;
    if (maxLevel - floor >= quiet) {
        // A finite float's level is below 500 dB: the truncation always fits an int.
        const int top = static_cast<int>(10.0 * std::log10(static_cast<double>(maxLevel)) + 100.0);
        s.dbMin = 0;
        s.dbMax = top;
        BuildLevelTable(maxLevel, floor, kLevelTableCount);
        SetDbRange(top, 0, kDbStep, ViewMode);
    } else {
        s.dbMax = 20;
        s.dbMin = 0;
        BuildLevelTable(quiet, floor, kLevelTableCount);
        SetDbRange(20, 0, kDbStep, ViewMode);
    }
    RedrawViewFrame(ViewMode);
}
