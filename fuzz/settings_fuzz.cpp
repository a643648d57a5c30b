// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: any bytes as the settings file, read by start-up's view initialisation,
// then drawn with: blocks of a tone and noise through the pipeline in the spectrogram view,
// the spectrum view entered and fed, the grids and labels switched and the frame redrawn,
// an automatic range applied, then the file saved and read again and fed once more. The
// input's last bytes also steer the run (device profile, switches, level, range), so the
// fuzzer finds those paths with the values that reach them. Besides what the sanitizers
// catch, it aborts when saving and reading back does not give the same eight options.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/fuzz_input.h"
#include "platform/headless/display_memory.h"
#include "raster/display.h"
#include "raster/display_backend.h"
#include "shell/host.h"
#include "shell/pipeline.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "views/view_frame.h"
#include "views/view_state.h"

namespace {

constexpr int kBlock = 1024;

[[noreturn]] void Fault(const char* what, const std::string& detail) {
    std::fprintf(stderr, "settings fuzz: %s: %s\n", what, detail.c_str());
    std::abort();
}

// How the run goes besides the file: from the input's last five bytes (zeros when shorter).
struct Steering {
    bool deviceProfile;
    bool dbGrid, freqGrid, dbLabels;
    int level;         // 0 silence, 1 quiet, 2 moderate, 3 clipped
    float rangeLevel;  // ApplyAutoRange's argument: the last four bytes' bits
};

Steering SteeringOf(const uint8_t* data, size_t size) {
    uint8_t tail[5] = {};
    const size_t n = size < sizeof tail ? size : sizeof tail;
    std::memcpy(tail + sizeof tail - n, data + size - n, n);
    Steering s{};
    s.deviceProfile = (tail[0] & 1) != 0;
    s.dbGrid = (tail[0] & 2) != 0;
    s.freqGrid = (tail[0] & 4) != 0;
    s.dbLabels = (tail[0] & 8) != 0;
    s.level = (tail[0] >> 4) & 3;
    std::memcpy(&s.rangeLevel, tail + 1, sizeof s.rangeLevel);
    return s;
}

// A 440 Hz tone with a harmonic and noise, continuous across blocks; level 3 overdrives
// it into clipping.
void FeedBlocks(int count, int level, long* first) {
    static const double kAmplitude[4] = {0.0, 40.0, 6000.0, 60000.0};
    int16_t block[kBlock];
    for (int b = 0; b < count; ++b) {
        uint32_t noise = 2463534242u + static_cast<uint32_t>(*first);
        for (int i = 0; i < kBlock; ++i) {
            const double phase = 2.0 * 3.141592653589793 * 440.0 * static_cast<double>(*first + i) /
                                 AnalyzerSettings.captureRate;
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            const double a = kAmplitude[level];
            double v = a * std::sin(phase) + 0.3 * a * std::sin(3 * phase) +
                       (a / 8.0) * (static_cast<double>(noise >> 16) / 32768.0 - 1.0);
            v = v > 32767.0 ? 32767.0 : (v < -32768.0 ? -32768.0 : v);
            block[i] = static_cast<int16_t>(std::lround(v));
        }
        ProcessBlock(block, kBlock, false);
        *first += kBlock;
    }
}

struct Options {
    int values[8];
};

Options OptionsNow() {
    const AnalyzerSettingsRecord& s = AnalyzerSettings;
    return Options{{s.logScale, s.dbMax, s.dbMin, s.freqResolution, s.timeAveraging, s.peakProfile,
                    s.rateSetting, s.filtering}};
}

std::string Text(const Options& o) {
    std::string text;
    for (int v : o.values)
        text += std::to_string(v) + " ";
    return text;
}

}  // namespace

// The core's settings file is the input.
const char* SettingsFilePath() {
    return InputPath().c_str();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WriteInput(data, size);
    const Steering steer = SteeringOf(data, size);

    // As start-up brings the views up, from the state of a fresh process.
    ResetProgramState();
    CloseDisplay();
    ResumeDrawing();
    std::memset(&MemoryDisplay, 0, sizeof MemoryDisplay);
    SetDeviceProfile(steer.deviceProfile);
    SetDisplayBackEnd(&MemoryDisplayBackEnd);
    if (!OpenDisplay(nullptr)) Fault("the memory display does not open", "");
    InitViews(nullptr, 0, 26, 240, 268);  // reads the file

    // Two blocks at least after each change: the pipeline analyses on every second call.
    long samples = 0;
    FeedBlocks(2, steer.level, &samples);

    ViewMode = kSpectrumView;
    const AnalyzerSettingsRecord& s = AnalyzerSettings;
    EnterSpectrumView(s.captureRate, s.fftSize, EffectiveRateSetting(), s.logScale);
    FeedBlocks(4, steer.level, &samples);

    SetDbGridVisible(steer.dbGrid);
    SetFreqGridVisible(steer.freqGrid);
    SetDbLabelsVisible(steer.dbLabels);
    RedrawViewFrame(ViewMode);
    FeedBlocks(2, steer.level, &samples);

    ApplyAutoRange(steer.rangeLevel);
    FeedBlocks(2, steer.level, &samples);

    // Values are saved as read: a second reading gives the same options.
    const Options before = OptionsNow();
    SaveSettings();
    LoadSettings();
    const Options after = OptionsNow();
    if (std::memcmp(&before, &after, sizeof before) != 0)
        Fault("saved and read back differently", Text(before) + "-> " + Text(after));
    FeedBlocks(2, steer.level, &samples);

    ViewMode = kSpectrogramView;
    EnterSpectrogramView(s.captureRate, s.fftSize, EffectiveRateSetting(), s.logScale);
    FeedBlocks(2, steer.level, &samples);
    return 0;
}
