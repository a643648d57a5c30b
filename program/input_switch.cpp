// SPDX-License-Identifier: GPL-3.0-or-later
// The playing input and its switches.
#include "program/input_switch.h"

#include <QApplication>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "capture/capture.h"
#include "platform/audio/audio_file_formats.h"
#include "platform/audio/audio_sources.h"
#include "platform/audio/source_label.h"
#include "platform/files/file_names.h"
#include "platform/qt/qt_host.h"
#include "platform/qt/window_extras.h"
#include "resources/resources.h"
#include "shell/choices.h"
#include "shell/host.h"
#include "shell/main_window.h"
#include "shell/picture_mode.h"
#include "shell/settings.h"
#include "views/view_state.h"

namespace {

constexpr size_t kLabelSize = 512;        // a listed input's label
constexpr size_t kPathSize = 4096;        // a file's path
constexpr unsigned kListingRate = 22050;  // what --list-devices asks the inputs to record
constexpr int kEndCheckMs = 100;
// While the picture stands still the source delivers about once in kStillFragmentSeconds, and
// an end noticed a little later shows no picture late.
constexpr int kStillEndCheckMs = 1000;
constexpr const char* kEnded = ", input ended";
constexpr const char* kNothingPlays = "nothing plays";

// The input that plays. Main thread only.
struct InputRecord {
    bool isFile;
    bool nothing;            // no input plays: the one chosen failed, or was lost
    char label[kLabelSize];  // microphone: as listed, or as given with --device; "" = default
    char path[kPathSize];    // file: as given
    bool endShown;           // the file's end has been shown beside the title
};
InputRecord Current;
double ResumeSeconds = 0.0;  // where a replayed file starts; 0 for every other opening
std::string StartFailure;    // why the file of the command line could not be loaded

char Status[kLabelSize + sizeof ", input ended"];
char FilePatterns[2048];

// The microphone name of the input that plays.
const char* CurrentName() {
    static char name[kLabelSize];
    SourceNameOfLabel(Current.label, name, sizeof name);
    return name;
}

// What the window calls the input: a file's name, a listed input's description.
std::string ShownName(const InputRecord& input) {
    if (input.nothing) return kNothingPlays;
    if (input.isFile) return std::filesystem::path(input.path).filename().string();
    if (input.label[0] == '\0') return "default input";
    return SourceDescriptionOfLabel(input.label);
}

void ShowStatus() {
    std::snprintf(Status, sizeof Status, "%s%s", ShownName(Current).c_str(),
                  Current.isFile && Current.endShown ? kEnded : "");
    if (!IsHeadlessRun()) SetMainWindowStatus(Status);
}

// Looks for the end of the file every kEndCheckMs (kStillEndCheckMs while the picture stands
// still, as of the last look) while one plays in the window and its end has not been shown,
// and never otherwise: a microphone, a window whose file has ended, start no timer. (The
// source settles a moment after its last buffer has been drained, with no message to
// follow, so the end is looked for between messages.)
QTimer* EndCheck = nullptr;

void WatchForEndOfFile() {
    if (EndCheck == nullptr) return;
    if (Current.isFile && !Current.endShown) {
        const int interval = PictureStill() ? kStillEndCheckMs : kEndCheckMs;
        if (!EndCheck->isActive() || EndCheck->interval() != interval) EndCheck->start(interval);
    } else {
        EndCheck->stop();
    }
}

void CheckEndOfFile() {
    if (Current.isFile && !Current.endShown && AudioFileFinished()) {
        Current.endShown = true;  // the picture stops with the sound; the note says why
        ShowStatus();
        SetInputAtRest(true);
    }
    WatchForEndOfFile();
}

// Sets up the sources for `input`; false with a reason when its file cannot be loaded.
bool Prepare(const InputRecord& input, std::string* reason) {
    if (input.isFile) {
        if (!LoadInputFile(input.path, unsigned(AnalyzerSettings.captureRate),
                           AudioFilePacing::kRealTime, reason)) {
            return false;
        }
        StartAudioFileAt(ResumeSeconds);
        SetAudioSource(&AudioFileSource);
        return true;
    }
    char name[kLabelSize];
    SourceNameOfLabel(input.label, name, sizeof name);
    SetMicrophoneName(name);
    SetAudioSource(&MicrophoneSource);
    PictureModeState.fileRate = 0;
    return true;
}

// Prepares `input` and opens the capture device on it at the shown picture's rate.
bool Open(const InputRecord& input, std::string* reason) {
    if (!Prepare(input, reason)) return false;
    TheCaptureDevice.SetRate(unsigned(PictureCaptureRate()));
    return TheCaptureDevice.Open();
}

// Stores the label with the program's choices and writes them; false when that fails.
bool RememberInput(const char* label) {
    return SetChoice(kChoiceMicrophone, label) && SaveChoices();
}

// The window stays, with nothing playing: the picture rests, the title says so, and the Input
// menu and Open File go on from there.
void EnterNothingPlays() {
    TheCaptureDevice.Close();
    PictureModeState.fileRate = 0;
    Current = InputRecord{};
    Current.nothing = true;
    ShowStatus();
    WatchForEndOfFile();
    SetInputAtRest(true);
}

// "Sound input failed!" with the reason under it, in a box and on stderr.
void SayInputFailed(const std::string& reason) {
    std::fprintf(stderr, "quillo-sa: %s\n", reason.c_str());
    const std::string text = "Sound input failed!\n" + reason;
    ShowMessageBox(MainWindowWidget(), text.c_str(), "Fatal error", kMessageBoxExclamation);
}

// Why `input` did not open, when loading gave no reason: the sound system's, else the format.
std::string FailureReason(const InputRecord& input, std::string reason) {
    if (reason.empty()) reason = input.isFile ? "" : MicrophoneFailure();
    if (reason.empty()) {
        reason = ShownName(input) + " cannot record " + std::to_string(PictureCaptureRate()) +
                 " Hz mono 16-bit";
    }
    return reason;
}

// On the source's thread: the microphone that records was lost (unplugged, the sound server
// gone). On the main thread the window stays with nothing playing and says why; a notice
// that arrives after a switch to a file is old news.
void OnMicrophoneLost(const char* reason) {
    QMetaObject::invokeMethod(
        qApp,
        [line = std::string(reason != nullptr ? reason : "")] {
            if (Current.isFile || Current.nothing) return;
            EnterNothingPlays();
            SayInputFailed(line);
        },
        Qt::QueuedConnection);
}

// The first paint could not open the input of the command line.
void OnStartFailed() {
    const std::string reason = FailureReason(Current, StartFailure);
    StartFailure.clear();
    EnterNothingPlays();
    SayInputFailed(reason);
}

// Closes the capture device and opens it on `next`; on failure opens it again on the input
// that played (a file from its start), then says why, in a box and on stderr.
bool Switch(const InputRecord& next) {
    std::string reason;
    TheCaptureDevice.Close();
    if (Open(next, &reason)) {
        Current = next;
        ShowStatus();
        WatchForEndOfFile();
        SetInputAtRest(false);
        // The views start afresh, as the view's own command makes them.
        PostMainWindowMessage(
            WM_COMMAND, static_cast<uintptr_t>(ViewMode == kSpectrumView ? kCommandSpectrum
                                                                         : kCommandSpectrogram));
        if (!next.isFile && !RememberInput(next.label)) {
            std::fprintf(stderr, "quillo-sa: the input could not be remembered in %s\n",
                         PrintableFileName(ChoicesFilePath()).c_str());
        }
        return true;
    }
    reason = FailureReason(next, reason);
    std::string ignored;
    if (Current.nothing) {
        EnterNothingPlays();
    } else if (Open(Current, &ignored)) {
        Current.endShown = false;
        ShowStatus();
        WatchForEndOfFile();
        SetInputAtRest(false);
    } else {
        std::fprintf(stderr, "quillo-sa: %s cannot be opened again either\n",
                     ShownName(Current).c_str());
        EnterNothingPlays();
    }
    SayInputFailed(reason);
    return false;
}

// ---- The window's table ----

struct Listing {
    void (*add)(const char*, bool, void*);
    void* menu;
};

void ListInputs(void (*add)(const char* label, bool current, void* menu), void* menu) {
    if (Current.isFile) add(ShownName(Current).c_str(), true, menu);
    Listing listing{add, menu};
    ListMicrophones(
        kListingRate,
        [](const char* label, bool isDefault, void* context) {
            const Listing& l = *static_cast<const Listing*>(context);
            char name[kLabelSize];
            SourceNameOfLabel(label, name, sizeof name);
            const bool current =
                !Current.isFile &&
                (Current.label[0] == '\0' ? isDefault : std::strcmp(CurrentName(), name) == 0);
            l.add(label, current, l.menu);
        },
        &listing);
}

void ChooseDevice(const char* label) {
    SwitchToDevice(label);
}

void ChooseFile(const char* path) {
    SwitchToFile(path);
}

// A later start's file or microphone, handed to this window: played as if chosen here.
void PlayHandedInput(bool isFile, const char* what) {
    if (isFile) {
        SwitchToFile(what);
    } else {
        SwitchToDevice(what);
    }
}

WindowExtras Extras = {ListInputs, ChooseDevice, ChooseFile, FilePatterns, InputStatus};

// Finds the remembered input's label among the listed ones, by its name.
struct Search {
    char name[kLabelSize];
    char found[kLabelSize];
};

}  // namespace

void StartOnMicrophone(const char* device) {
    Current = InputRecord{};
    const char* remembered = GetChoice(kChoiceMicrophone);
    if (device != nullptr) {
        std::snprintf(Current.label, sizeof Current.label, "%s", device);
    } else if (remembered[0] != '\0') {
        // An input that has gone (a microphone unplugged) must not stop the program starting.
        Search search{};
        SourceNameOfLabel(remembered, search.name, sizeof search.name);
        ListMicrophones(
            kListingRate,
            [](const char* label, bool, void* context) {
                Search& s = *static_cast<Search*>(context);
                char name[kLabelSize];
                SourceNameOfLabel(label, name, sizeof name);
                if (s.found[0] == '\0' && std::strcmp(name, s.name) == 0) {
                    std::snprintf(s.found, sizeof s.found, "%s", label);
                }
            },
            &search);
        if (search.found[0] != '\0') {
            std::snprintf(Current.label, sizeof Current.label, "%s", search.found);
        } else {
            std::fprintf(stderr, "quillo-sa: %s, chosen before, is not here: the default input\n",
                         PrintableFileName(remembered).c_str());
        }
    }
    SetMicrophoneName(CurrentName());
    ShowStatus();
    WatchForEndOfFile();
}

void StartOnFile(const char* path) {
    Current = InputRecord{};
    Current.isFile = true;
    std::snprintf(Current.path, sizeof Current.path, "%s", path != nullptr ? path : "");
    ShowStatus();
    WatchForEndOfFile();
}

void StartOnUnreadableFile(const char* reason) {
    Current = InputRecord{};
    Current.nothing = true;
    StartFailure = reason != nullptr ? reason : "";
    SetAudioSource(nullptr);  // the first paint's opening fails, and says why
    ShowStatus();
}

void EnableInputSwitching() {
    if (IsHeadlessRun()) return;
    CaptureFailureHandler = OnStartFailed;
    SetMicrophoneLostNotice(OnMicrophoneLost);
    SetHandedInputReceiver(PlayHandedInput);
    if (!AudioFilePatterns(FilePatterns, sizeof FilePatterns)) std::snprintf(FilePatterns, 2, "*");
    SetWindowExtras(&Extras);
    EndCheck = new QTimer(qApp);
    QObject::connect(EndCheck, &QTimer::timeout, CheckEndOfFile);
    WatchForEndOfFile();
}

bool LoadInputFile(const char* path, unsigned handheldRate, AudioFilePacing pacing,
                   std::string* reason) {
    const bool full = PictureModeState.mode == PictureMode::kFull;
    const bool loaded = full ? LoadAudioFileNearItsRate(path, kLowestCaptureRate,
                                                        kHighestCaptureRate, pacing, reason)
                             : LoadAudioFile(path, handheldRate, pacing, reason);
    if (loaded) {
        PictureModeState.fileRate =
            int(std::clamp(AudioFileOwnRate(), kLowestCaptureRate, kHighestCaptureRate));
    }
    return loaded;
}

bool SwitchToDevice(const char* label) {
    if (label == nullptr) return false;
    if (Current.isFile && ShownName(Current) == label) return SwitchToFile(Current.path);
    InputRecord next{};
    std::snprintf(next.label, sizeof next.label, "%s", label);
    return Switch(next);
}

bool ReplayCurrentInput(double endedTailSeconds) {
    if (Current.nothing) return false;  // nothing to open again
    InputRecord again = Current;
    // A file keeps its place: the same second of it, at the new rate. One that has ended
    // plays its last seconds again and ends anew, so the picture shown ends where it did.
    if (Current.isFile) {
        ResumeSeconds = AudioFileSeconds();
        if (Current.endShown) ResumeSeconds = std::max(0.0, ResumeSeconds - endedTailSeconds);
        again.endShown = false;
    }
    const bool played = Switch(again);
    ResumeSeconds = 0.0;
    return played;
}

bool InputEnded() {
    return Current.isFile && Current.endShown;
}

bool SwitchToFile(const char* path) {
    if (path == nullptr) return false;
    InputRecord next{};
    next.isFile = true;
    std::snprintf(next.path, sizeof next.path, "%s", path);
    return Switch(next);
}

const char* InputStatus() {
    return Status;
}
