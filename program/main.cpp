// SPDX-License-Identifier: GPL-3.0-or-later
// The program quillo-sa: reads the command line, chooses the audio source and the window
// display, runs the program, and writes what was asked for when it ends (headless_run.h).
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "capture/capture.h"
#include "platform/audio/audio_pulse.h"
#include "platform/audio/audio_sources.h"
#include "platform/files/file_names.h"
#include "platform/files/output_files.h"
#include "platform/qt/main_loop_watch.h"
#include "platform/qt/qt_host.h"
#include "program/full_view_run.h"
#include "program/headless_run.h"
#include "program/input_switch.h"
#include "program/levels_export.h"
#include "program/one_thread_run.h"
#include "program/pointer_reading.h"
#include "program/program_options.h"
#include "raster/display_backend.h"
#include "shell/choices.h"
#include "shell/host.h"
#include "shell/pitch_choice.h"
#include "shell/pitch_log.h"
#include "shell/reference_pitch.h"
#include "shell/settings.h"
#include "shell/startup.h"

namespace {

constexpr unsigned kListingRate = 22050;  // what --list-devices asks the inputs to record

int SignalPipe[2] = {-1, -1};  // SIGINT, SIGTERM and SIGHUP write here; the main thread reads

void OnTerminationSignal(int signal) {
    RecordEndingSignal(signal);
    const char byte = static_cast<char>(signal);
    const ssize_t written = write(SignalPipe[1], &byte, 1);
    (void)written;  // a full pipe already holds a request
}

// SIGINT, SIGTERM and SIGHUP end the run as Ctrl+Q does (no saving, in a window too); the
// outputs are then finished as after any run, and the exit code tells the signal. Taken from
// the start, so that every wait (an input or output that is a FIFO, the sound server) ends
// with the run. A reader that goes away is an output failure, not the end of the program.
void CatchTerminationSignals() {
    signal(SIGPIPE, SIG_IGN);
    if (pipe2(SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

// Once the application exists: a signal closes the window.
void WatchTerminationSignals(QApplication& app) {
    if (SignalPipe[0] < 0) return;
    auto* notifier = new QSocketNotifier(SignalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        char bytes[16];
        while (read(SignalPipe[0], bytes, sizeof bytes) > 0) {
        }
        PostMainWindowMessage(WM_CLOSE);
    });
}

// A standard stream that was closed gets a descriptor that fails every write in its place
// (/dev/null read-only), so that no file opened later takes its number: the pitch log on a
// closed standard output must fail, not land in the audio file.
void HoldClosedStandardStreams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; fd++) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        const int held = open("/dev/null", O_RDONLY);
        if (held >= 0 && held != fd) {
            dup2(held, fd);
            close(held);
        }
    }
}

// Whatever went to standard output reached it; else one line, and false.
bool StandardOutputWritten() {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
    std::fprintf(stderr, "quillo-sa: standard output could not be written: %s\n",
                 std::strerror(errno));
    return false;
}

// The file must be converted to the rate that start-up will capture at, before any window
// opens.
unsigned CaptureRateForThisMachine() {
    return static_cast<unsigned>(ProfileCaptureRate(MachineHasDeviceProfile()));
}

// The settings folder, as installing the program made it on the device; failures are the
// settings code's silent ones. A settings file that is not a regular file is not read (it
// could block start-up for ever); it counts as missing, and the user is told.
void PrepareSettingsFolder() {
    const char* path = SettingsFilePath();
    if (path == nullptr) return;
    std::error_code ignored;
    const std::filesystem::path settings(path);
    std::filesystem::create_directories(settings.parent_path(), ignored);
    for (const char* file : {path, ChoicesFilePath()}) {
        if (file == nullptr) continue;
        const auto type = std::filesystem::status(file, ignored).type();
        if (type == std::filesystem::file_type::regular && access(file, R_OK) != 0) {
            std::fprintf(stderr,
                         "quillo-sa: %s cannot be read (%s); it is not read, nor replaced\n",
                         PrintableFileName(file).c_str(), std::strerror(errno));
            continue;
        }
        if (type == std::filesystem::file_type::not_found ||
            type == std::filesystem::file_type::regular ||
            type == std::filesystem::file_type::none) {
            continue;
        }
        std::fprintf(stderr, "quillo-sa: %s is not a regular file; it is not read\n",
                     PrintableFileName(file).c_str());
    }
}

std::atomic<bool> SoundInputLost{false};

// On the source's thread, when the microphone is lost mid-run in a headless run: said as a
// failed opening is, with the reason on a line of its own, then the run ends with code 1 (a
// window stays, input_switch.h).
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
    } else if (options.version) {
        std::puts("quillo-sa " QUILLO_VERSION);
    } else if (options.listDevices) {
        int listed = 0;
        if (!ListMicrophones(kListingRate, PrintDevice, &listed)) {
            if (EndingSignal() != 0) {
                *code = kSignalExitBase + EndingSignal();
                return true;
            }
            std::fprintf(stderr, "quillo-sa: %s\n",
                         PulseServerSilent() ? "the sound server did not answer in time"
                                             : "the audio system could not be started");
            *code = kFailure;
            return true;
        }
        if (listed == 0) {
            std::fprintf(stderr, "quillo-sa: no input here can record 22050 Hz mono 16-bit\n");
        }
    } else {
        return false;
    }
    if (!StandardOutputWritten()) *code = kFailure;
    return true;
}

// The file of --input, else the microphone; false when the file cannot be read in a headless
// run. A window opens without it and says why.
bool ChooseAudioSource(const ProgramOptions& options) {
    if (options.input) {
        std::string reason;
        const AudioFilePacing pacing =
            RunsOnOneThread(options) ? AudioFilePacing::kPulled : AudioFilePacing::kRealTime;
        if (!LoadInputFile(options.input->c_str(), CaptureRateForThisMachine(), pacing, &reason)) {
            // A signal that ended the wait for the input cut it short: no fault of the file.
            if (EndingSignal() != 0) return false;
            if (!options.headless) {
                StartOnUnreadableFile(reason.c_str());
                return true;
            }
            std::fprintf(stderr, "quillo-sa: %s\n", reason.c_str());
            return false;
        }
        SetAudioSource(&AudioFileSource);
        StartOnFile(options.input->c_str());
    } else {
        StartOnMicrophone(options.device ? options.device->c_str() : nullptr);
        SetAudioSource(&MicrophoneSource);
        if (options.headless) SetMicrophoneLostNotice(OnMicrophoneLost);
    }
    return true;
}

// The pitch log opened as OpenPitchLog does, but a FIFO's reader is waited for only until a
// signal is to end the run: while this holds a writing end, the open cannot wait.
bool OpenPitchLogUnlessEnded(const char* path, PitchLogFlush flush) {
    struct stat status {};
    if (std::strcmp(path, "-") == 0 || stat(path, &status) != 0 || !S_ISFIFO(status.st_mode))
        return OpenPitchLog(path, flush);
    const int held = OpenOutput(path, O_WRONLY | O_CLOEXEC, 0);
    if (held < 0) return false;
    const bool opened = OpenPitchLog(path, flush);
    const int error = errno;
    close(held);
    errno = error;
    return opened;
}

// The sound server's connection is looked after on the main thread's event loop, where the
// buffers it fills are read: one thread, not two, wakes for each.
const PulseLoopHost MainLoopPulseHost = {
    [](const pollfd* fds, unsigned count, int timeoutMs) {
        WatchOnMainLoop(fds, count, timeoutMs, TurnPulseLoop);
    },
    [] { RunOnMainLoop(TurnPulseLoop); },
};

QtMessageHandler MessagesBeforeStartUp = nullptr;

// While the application is made: Qt ends a program that finds no display with abort(), after
// notes of its platform plugins; this says so in one line and ends with code 1 instead.
void StartUpMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    const bool platformNote =
        context.category != nullptr && std::strncmp(context.category, "qt.qpa", 6) == 0;
    if (type != QtFatalMsg) {
        if (!platformNote && MessagesBeforeStartUp != nullptr)
            MessagesBeforeStartUp(type, context, text);
        return;
    }
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || display[0] == '\0') {
        std::fprintf(stderr,
                     "quillo-sa: no display to show the window on (DISPLAY is not set); "
                     "--headless runs without one\n");
    } else {
        std::fprintf(stderr,
                     "quillo-sa: the display %s cannot be opened for the window; --headless "
                     "runs without one\n",
                     PrintableFileName(display).c_str());
    }
    ClosePitchLog();
    std::fflush(nullptr);
    _exit(kFailure);
}

// A path that holds a regular file or nothing yet ("-": the standard stream `standard`).
bool IsRegularOrNew(const std::string& path, int standard) {
    struct stat status {};
    if ((path == "-" ? fstat(standard, &status) : stat(path.c_str(), &status)) != 0) {
        return errno == ENOENT;
    }
    return S_ISREG(status.st_mode);
}

// Each row reaches the log's reader as it is made, but in a headless run from a regular file
// into one: that run makes minutes of rows in milliseconds, to be read when it ends, and a
// write per row would cost it 12 900 system calls for ten minutes of sound (17 ms under
// strace, against 103 writes in blocks). A pipe as input paces the run to its writer.
PitchLogFlush PitchLogFlushFor(const ProgramOptions& options) {
    const bool fileToFile = RunsOnOneThread(options) &&
                            IsRegularOrNew(*options.input, STDIN_FILENO) &&
                            IsRegularOrNew(*options.pitchLog, STDOUT_FILENO);
    return fileToFile ? PitchLogFlush::kWhenFull : PitchLogFlush::kEveryRow;
}

}  // namespace

int main(int argc, char** argv) {
    HoldClosedStandardStreams();
    CatchTerminationSignals();
    const ProgramOptions options = ParseProgramOptions(argc, argv);
    int answered = 0;
    if (AnsweredWithoutRunning(options, &answered)) return answered;
    // Before anything is opened for writing.
    if (const std::string same = SameFileError(options); !same.empty()) {
        std::fprintf(stderr, "%s\n", same.c_str());
        return kUsageError;
    }

    SetOemTextOverride(options.oemText ? options.oemText->c_str() : nullptr);
    PitchEstimatorKind estimator;
    if (options.pitch && ParsePitchEstimator(options.pitch->c_str(), &estimator)) {
        SetPitchEstimator(estimator);  // outranks the choice kept in its file
    }
    if (options.a4) GiveReferencePitch(*options.a4);  // for this run, over the kept one
    EnableFullView(options);
    // A signal that came while the input or the log was being opened ends the program there.
    if (!ChooseAudioSource(options)) {
        return EndingSignal() != 0 ? kSignalExitBase + EndingSignal() : kUsageError;
    }
    if (options.pitchLog &&
        !OpenPitchLogUnlessEnded(options.pitchLog->c_str(), PitchLogFlushFor(options))) {
        if (EndingSignal() != 0) return kSignalExitBase + EndingSignal();
        std::fprintf(stderr, "quillo-sa: the pitch log %s cannot be created: %s\n",
                     PrintableFileName(options.pitchLog->c_str()).c_str(), std::strerror(errno));
        return kFailure;
    }

    PrepareHeadlessRun(options);
    if (RunsOnOneThread(options)) PrepareOneThreadRun();
    const bool ownLoop = RunsLiveOnOneThread(options) && PrepareLiveOneThreadRun();
    MessagesBeforeStartUp = qInstallMessageHandler(StartUpMessages);
    QApplication app(argc, argv);
    // Qt takes the user's locale for every category; numbers are written and read with a
    // point whatever the language (the pitch log's CSV, the readout, the choices file).
    std::setlocale(LC_NUMERIC, "C");
    qInstallMessageHandler(MessagesBeforeStartUp);
    QApplication::setApplicationName("quillo-sa");
    QApplication::setApplicationVersion(QUILLO_VERSION);
    SetHeadlessRun(options.headless);
    // A window that runs already plays this start's input instead (standard input stays here).
    if (options.input && *options.input != "-") {
        SetInputToHandOver(true, options.input->c_str());
    } else if (options.device) {
        SetInputToHandOver(false, options.device->c_str());
    }
    WatchTerminationSignals(app);
    SetPulseLoopHost(ownLoop ? &OwnLoopPulseHost : &MainLoopPulseHost);
    // Qt ends the process with exit() when it loses its display. Handlers registered now run
    // before the static objects are destroyed, so capture stops while its source still exists.
    std::atexit([] { TheCaptureDevice.Close(); });
    PrepareSettingsFolder();
    SetDisplayBackEnd(&WindowDisplayBackEnd);
    StartScript(options);
    EnableLevelMeter(options);  // first: its widget ends the bar
    EnableInputSwitching();
    EnablePointerReading();
    AttachFullView(options);
    EnableSpectrumExport(options);  // its item after the full view's

    int code = RunsOnOneThread(options) ? RunOneThread(options)
               : ownLoop                ? RunLiveOnOneThread(SignalPipe[0], &MainLoopPulseHost)
                                        : RunProgram();
    if (SoundInputLost) code = kFailure;
    return FinishRun(options, code, EndingSignal());
}
