// The program quillo-sa: reads the command line, chooses the audio source and the window
// display, runs the program, and writes what was asked for when it ends (headless_run.h).
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "capture/capture.h"
#include "platform/audio/audio_sources.h"
#include "platform/qt/qt_host.h"
#include "program/headless_run.h"
#include "program/input_switch.h"
#include "program/program_options.h"
#include "raster/display_backend.h"
#include "shell/host.h"
#include "shell/pitch_choice.h"
#include "shell/pitch_log.h"
#include "shell/startup.h"

namespace {

constexpr unsigned kDefaultCaptureRate = 22050;
constexpr unsigned kDeviceProfileCaptureRate = 11025;

int SignalPipe[2] = {-1, -1};  // SIGINT and SIGTERM write here; the main thread reads

void OnTerminationSignal(int) {
    const char byte = 1;
    const ssize_t written = write(SignalPipe[1], &byte, 1);
    (void)written;  // a full pipe already holds a request
}

// SIGINT and SIGTERM close the window as its close button does.
void WatchTerminationSignals(QApplication& app) {
    if (pipe2(SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(SignalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        char bytes[16];
        while (read(SignalPipe[0], bytes, sizeof bytes) > 0) {
        }
        PostMainWindowMessage(WM_CLOSE);
    });
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// A lock-step run has one block in flight, handed from the file source's thread to the
// capture thread to the window and back, so it never keeps two cores busy. Waking a thread
// on the same core costs a fraction of waking it on another (on a virtual machine above
// all), so the process stays on the core it started on; threads made later inherit that.
// A core outside the allowed set, or a refusal, leaves the run as it was.
void KeepToOneCore() {
    const int cpu = sched_getcpu();
    cpu_set_t allowed;
    if (cpu < 0 || cpu >= CPU_SETSIZE || sched_getaffinity(0, sizeof allowed, &allowed) != 0 ||
        !CPU_ISSET(cpu, &allowed)) {
        return;
    }
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    sched_setaffinity(0, sizeof one, &one);
}

// Start-up decides the device profile from the same text; the file must be converted to
// the rate it will capture at before any window opens.
unsigned CaptureRateForThisMachine() {
    char16_t text[kOemTextLength + 1] = {};
    if (!ReadOemText(text, kOemTextLength)) return kDefaultCaptureRate;
    int length = 0;
    while (length < kOemTextLength && text[length] != u'\0')
        length++;
    return IsDeviceProfileText(text, length) ? kDeviceProfileCaptureRate : kDefaultCaptureRate;
}

// The settings folder, as installing the program made it on the device; failures are the
// settings code's silent ones.
void MakeSettingsFolder() {
    const char* path = SettingsFilePath();
    if (path == nullptr) return;
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
}

std::atomic<bool> SoundInputLost{false};

// On the source's thread, when the microphone is lost mid-run: said as a failed opening is,
// with the reason on a line of its own, then the window closes and the run ends with code 1.
void OnMicrophoneLost(const char* reason) {
    SoundInputLost = true;
    QMetaObject::invokeMethod(
        qApp,
        [line = std::string(reason)] {
            ShowMessageBox(MainWindowWidget(), "Sound input failed!", "Fatal error",
                           kMessageBoxExclamation);
            std::fprintf(stderr, "quillo-sa: %s\n", line.c_str());
            PostMainWindowMessage(WM_CLOSE);
        },
        Qt::QueuedConnection);
}

void PrintDevice(const char* name, bool isDefault, void* listed) {
    std::printf("%s%s\n", name, isDefault ? " (default)" : "");
    ++*static_cast<int*>(listed);
}

// --help, --version, --list-devices and command-line mistakes end the program before it
// starts; true with the exit code in `code` when one of them did.
bool AnsweredWithoutRunning(const ProgramOptions& options, int* code) {
    *code = 0;
    if (!options.error.empty()) {
        std::fprintf(stderr, "%s\n", options.error.c_str());
        *code = kUsageError;
        return true;
    }
    if (options.help) {
        std::fputs(ProgramUsage(), stdout);
        return true;
    }
    if (options.version) {
        std::puts("quillo-sa " QUILLO_VERSION);
        return true;
    }
    if (options.listDevices) {
        int listed = 0;
        if (ListMicrophones(kDefaultCaptureRate, PrintDevice, &listed)) {
            if (listed == 0) {
                std::fprintf(stderr, "quillo-sa: no input here can record 22050 Hz mono 16-bit\n");
            }
            return true;
        }
        std::fprintf(stderr, "quillo-sa: the audio system could not be started\n");
        *code = 1;
        return true;
    }
    return false;
}

// The file of --input, else the microphone; false when the file cannot be read.
bool ChooseAudioSource(const ProgramOptions& options) {
    if (options.input) {
        char reason[512];
        const AudioFilePacing pacing =
            options.headless ? AudioFilePacing::kLockStep : AudioFilePacing::kRealTime;
        if (!LoadAudioFile(options.input->c_str(), CaptureRateForThisMachine(), pacing, reason,
                           sizeof reason)) {
            std::fprintf(stderr, "quillo-sa: %s\n", reason);
            return false;
        }
        SetAudioSource(&AudioFileSource);
        StartOnFile(options.input->c_str());
        if (pacing == AudioFilePacing::kLockStep) KeepToOneCore();
    } else {
        StartOnMicrophone(options.device ? options.device->c_str() : nullptr);
        SetAudioSource(&MicrophoneSource);
        SetMicrophoneLostNotice(OnMicrophoneLost);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const ProgramOptions options = ParseProgramOptions(argc, argv);
    int code = 0;
    if (AnsweredWithoutRunning(options, &code)) return code;

    SetOemTextOverride(options.oemText ? options.oemText->c_str() : nullptr);
    PitchEstimatorKind estimator;
    if (options.pitch && ParsePitchEstimator(options.pitch->c_str(), &estimator)) {
        SetPitchEstimator(estimator);  // outranks the choice kept in its file
    }
    if (!ChooseAudioSource(options)) return kUsageError;
    if (options.pitchLog && !OpenPitchLog(options.pitchLog->c_str())) {
        std::fprintf(stderr, "quillo-sa: the pitch log %s cannot be created\n",
                     options.pitchLog->c_str());
        return kUsageError;
    }

    PrepareHeadlessRun(options);
    QApplication app(argc, argv);
    QApplication::setApplicationName("quillo-sa");
    QApplication::setApplicationVersion(QUILLO_VERSION);
    SetHeadlessRun(options.headless);
    WatchTerminationSignals(app);
    // Qt ends the process with exit() when it loses its display. Handlers registered now run
    // before the static objects are destroyed, so capture stops while its source still exists.
    std::atexit([] { TheCaptureDevice.Close(); });
    MakeSettingsFolder();
    SetDisplayBackEnd(&WindowDisplayBackEnd);
    StartScript(options);
    EnableInputSwitching();

    code = RunProgram();
    if (SoundInputLost) code = 1;
    return FinishRun(options, code);
}
