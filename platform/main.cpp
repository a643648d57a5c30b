// The program quillo-sa: reads the command line, chooses the audio source and the window
// display, runs the program, and writes what was asked for when it ends.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "capture/capture.h"
#include "platform/audio_sources.h"
#include "platform/audio_thread.h"
#include "platform/platform.h"
#include "platform/program_options.h"
#include "platform/qt/qt_host.h"
#include "shell/pitch_log.h"
#include "shell/shell.h"
#include "shell/startup.h"

namespace {

constexpr int kUsageError = 2;
constexpr unsigned kDefaultCaptureRate = 22050;
constexpr unsigned kDeviceProfileCaptureRate = 11025;
constexpr int kEndOfFileCheckMs = 10;

// What the run does after each delivered capture message; main thread only.
struct ScriptRecord {
    struct Pending {
        ScriptedCommand command;
        bool posted;
    };
    std::vector<Pending> commands;  // in the order given
    bool closeAtEndOfFile;          // headless with --input
    bool closePosted;
};
ScriptRecord Script;

int SignalPipe[2] = {-1, -1};  // SIGINT and SIGTERM write here; the main thread reads

// Runs every kEndOfFileCheckMs: the source settles after its last buffer has been drained,
// with no message to follow.
void CloseAtEndOfFile() {
    if (!Script.closeAtEndOfFile || Script.closePosted || !AudioFileFinished()) return;
    Script.closePosted = true;
    PostMainWindowMessage(WM_CLOSE);  // as the close button: the settings are not saved
}

void AfterPostedMessage(unsigned message, uintptr_t, intptr_t) {
    if (message != kWaveInDataMessage) return;
    // The window has taken what was captured: a lock-step file may deliver its next buffer.
    WakeSourceThreads();
    for (ScriptRecord::Pending& pending : Script.commands) {
        if (pending.posted || BlockCounter.blocks < pending.command.blocks) continue;
        pending.posted = true;
        PostMainWindowMessage(WM_COMMAND, static_cast<uintptr_t>(pending.command.id));
    }
}

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

// No one sees a headless run's window, yet every presented block would repaint its picture:
// the view widened to RGB888, scaled up and drawn into the offscreen store, several times
// the cost of the block itself. The snapshot reads the display memory, not the picture.
void StopPictureUpdates() {
    if (QWidget* picture = MainWindowPicture()) picture->setUpdatesEnabled(false);
}

QtMessageHandler QtDefaultMessages = nullptr;

// Qt's offscreen platform reports every window operation it cannot perform; a headless run
// performs them by design, so those notes are dropped and everything else passes on.
void HeadlessMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    // A headless run on a server may well have no runtime folder; it needs none.
    if (type == QtWarningMsg &&
        (text.startsWith(QLatin1String("This plugin does not support")) ||
         text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))) {
        return;
    }
    if (QtDefaultMessages != nullptr) QtDefaultMessages(type, context, text);
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

}  // namespace

int main(int argc, char** argv) {
    const ProgramOptions options = ParseProgramOptions(argc, argv);
    if (!options.error.empty()) {
        std::fprintf(stderr, "%s\n", options.error.c_str());
        return kUsageError;
    }
    if (options.help) {
        std::fputs(ProgramUsage(), stdout);
        return 0;
    }
    if (options.version) {
        std::puts("quillo-sa " QUILLO_VERSION);
        return 0;
    }
    if (options.listDevices) {
        int listed = 0;
        if (ListMicrophones(kDefaultCaptureRate, PrintDevice, &listed)) {
            if (listed == 0) {
                std::fprintf(stderr, "quillo-sa: no input here can record 22050 Hz mono 16-bit\n");
            }
            return 0;
        }
        std::fprintf(stderr, "quillo-sa: the audio system could not be started\n");
        return 1;
    }

    SetOemTextOverride(options.oemText ? options.oemText->c_str() : nullptr);
    if (options.input) {
        char reason[512];
        const AudioFilePacing pacing =
            options.headless ? AudioFilePacing::kLockStep : AudioFilePacing::kRealTime;
        if (!LoadAudioFile(options.input->c_str(), CaptureRateForThisMachine(), pacing, reason,
                           sizeof reason)) {
            std::fprintf(stderr, "quillo-sa: %s\n", reason);
            return kUsageError;
        }
        SetAudioSource(&AudioFileSource);
        if (pacing == AudioFilePacing::kLockStep) KeepToOneCore();
    } else {
        SetMicrophoneName(options.device ? options.device->c_str() : nullptr);
        SetAudioSource(&MicrophoneSource);
        SetMicrophoneLostNotice(OnMicrophoneLost);
    }
    if (options.pitchLog && !OpenPitchLog(options.pitchLog->c_str())) {
        std::fprintf(stderr, "quillo-sa: the pitch log %s cannot be created\n",
                     options.pitchLog->c_str());
        return kUsageError;
    }

    if (options.headless && std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    if (options.headless) QtDefaultMessages = qInstallMessageHandler(HeadlessMessages);
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
    for (const ScriptedCommand& command : options.commands)
        Script.commands.push_back({command, false});
    Script.closeAtEndOfFile = options.headless && options.input.has_value();
    SetPostedMessageObserver(AfterPostedMessage);
    // The source settles a moment after its last buffer has been processed, with no message
    // to follow; so the end is looked for between messages.
    QTimer endOfFileCheck;
    if (Script.closeAtEndOfFile) {
        QObject::connect(&endOfFileCheck, &QTimer::timeout, CloseAtEndOfFile);
        endOfFileCheck.start(kEndOfFileCheckMs);
    }

    // Runs once the loop starts, after start-up has created the window.
    if (options.headless) QTimer::singleShot(0, StopPictureUpdates);

    int code = RunProgram();
    if (SoundInputLost) code = 1;

    SetPostedMessageObserver(nullptr);
    if (options.pitchLog) ClosePitchLog();
    char damage[512];
    if (options.input && AudioFileFailed(damage, sizeof damage)) {
        // The file played up to the damage; a scripted run must not take it for whole.
        std::fprintf(stderr, "quillo-sa: %s\n", damage);
        if (options.headless) code = kUsageError;
    }
    if (options.stats) {
        std::fprintf(stderr,
                     "quillo-sa: %lld blocks processed, %lld dropped by catch-up, %u capture "
                     "queue overflows\n",
                     BlockCounter.blocks, BlockCounter.dropped, TheCaptureDevice.overflows);
    }
    if (options.snapshot) {
        char reason[512];
        if (!WriteViewSnapshot(options.snapshot->c_str(), reason, sizeof reason)) {
            std::fprintf(stderr, "quillo-sa: the snapshot was not written: %s\n", reason);
        }
    }
    return code;
}
