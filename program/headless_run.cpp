// SPDX-License-Identifier: GPL-3.0-or-later
// Scripted and headless runs: the command script, the end of a file, and the outputs.
#include "program/headless_run.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "platform/audio/audio_sources.h"
#include "platform/files/file_names.h"
#include "platform/files/output_files.h"
#include "platform/qt/qt_host.h"
#include "program/full_view_run.h"
#include "program/levels_export.h"
#include "program/program_options.h"
#include "shell/host.h"
#include "shell/main_window.h"
#include "shell/picture_mode.h"
#include "shell/pipeline.h"
#include "shell/pitch_log.h"

namespace {

constexpr int kEndOfFileCheckMs = 10;

// What the run does after each delivered message; main thread only.
struct ScriptRecord {
    struct Pending {
        ScriptedCommand command;
        bool ran;
    };
    std::vector<Pending> commands;  // in the order given
    bool closeAtEndOfFile;          // headless with --input
    bool endSeen;                   // the end of the file has been acted on
};
ScriptRecord Script;

// Runs every kEndOfFileCheckMs: the source settles after its last buffer has been drained,
// with no message to follow.
void CloseAtEndOfFile() {
    if (Script.endSeen || !AudioFileFinished()) return;
    Script.endSeen = true;
    PostMainWindowMessage(WM_CLOSE);  // as Ctrl+Q: the settings are not saved
}

// The commands whose block count has been reached, handed to the window at once. Posted, a
// command could queue behind the next capture message and land a block late.
void RunDueCommands() {
    for (ScriptRecord::Pending& pending : Script.commands) {
        if (pending.ran || BlockCounter.blocks < pending.command.blocks) continue;
        if (MainWindowWidget() == nullptr) return;  // closed: the rest never run
        pending.ran = true;
        SendMainWindowMessage(WM_COMMAND, static_cast<uintptr_t>(pending.command.id));
    }
}

// After every delivered message: commands for block 0 run after the first one (the first
// paint, before any audio), the others after the capture message that processed their block.
void AfterPostedMessage(unsigned, uintptr_t, intptr_t) {
    RunDueCommands();
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

}  // namespace

void PrepareHeadlessRun(const ProgramOptions& options) {
    if (options.headless && std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    if (options.headless) QtDefaultMessages = qInstallMessageHandler(HeadlessMessages);
}

void StartScript(const ProgramOptions& options) {
    for (const ScriptedCommand& command : options.commands)
        Script.commands.push_back({command, false});
    Script.closeAtEndOfFile = options.headless && options.input.has_value();
    SetPostedMessageObserver(AfterPostedMessage);
    // The source settles a moment after its last buffer has been processed, with no message
    // to follow; so the end is looked for between messages.
    if (Script.closeAtEndOfFile) {
        auto* endOfFileCheck = new QTimer(qApp);
        QObject::connect(endOfFileCheck, &QTimer::timeout, CloseAtEndOfFile);
        endOfFileCheck->start(kEndOfFileCheckMs);
    }

    // Nobody sees a headless run's picture but through its snapshot: without one, live or
    // from a file, nothing is drawn.
    if (options.headless) pictureWanted = options.snapshot.has_value();
    // Runs once the loop starts, after start-up has created the window.
    if (options.headless) QTimer::singleShot(0, StopPictureUpdates);
}

namespace {

// What a second start hands to the running window: its file or its microphone; empty when it
// has neither, or reads standard input (which stays with it).
std::string HandedOver(const ProgramOptions& options) {
    if (options.input) {
        return *options.input == "-" ? "" : PrintableFileName(options.input->c_str()) + " to play";
    }
    if (options.device)
        return "the input " + PrintableFileName(options.device->c_str()) + " to record";
    return "";
}

// What a second start left undone.
std::string NotDone(const ProgramOptions& options) {
    if (options.input) return PrintableFileName(options.input->c_str()) + " was not played";
    if (options.device) {
        return "the input " + PrintableFileName(options.device->c_str()) + " was not opened";
    }
    return "the microphone was not opened";
}

// The second start of a windowed program: what it did instead of running.
void ReportOtherInstance(const ProgramOptions& options, OtherInstance found) {
    const std::string given = HandedOver(options);
    if (found == OtherInstance::kRaised && !given.empty()) {
        std::fprintf(stderr,
                     "quillo-sa: Quillo-SA is already running; its window was raised and given "
                     "%s\n",
                     given.c_str());
    } else if (found == OtherInstance::kRaised) {
        std::fprintf(stderr,
                     "quillo-sa: Quillo-SA is already running; its window was raised, and %s\n",
                     NotDone(options).c_str());
    } else {
        std::fprintf(stderr,
                     "quillo-sa: Quillo-SA is already running but did not answer the "
                     "request to raise its window; %s\n",
                     NotDone(options).c_str());
    }
}

// The outputs and the script, each failure in one line; true when all went as asked.
bool FinishOutputs(const ProgramOptions& options, int signal) {
    bool done = true;
    if (options.pitchLog && !ClosePitchLog()) {
        const std::string name = *options.pitchLog == "-"
                                     ? std::string("on standard output")
                                     : PrintableFileName(options.pitchLog->c_str());
        std::fprintf(stderr, "quillo-sa: the pitch log %s was not written in full: %s\n",
                     name.c_str(), std::strerror(errno));
        done = false;
    }
    if (MainWindowState.captureFailed && signal == 0) {
        // The box said "Sound input failed!"; this is the sound system's reason.
        const char* reason =
            options.input ? "the audio file could not be played" : MicrophoneFailure();
        std::fprintf(stderr, "quillo-sa: %s\n", reason[0] != '\0' ? reason : "no reason given");
        done = false;
    }
    if (MainWindowState.saveFailed) done = false;  // the box has said why
    for (const ScriptRecord::Pending& pending : Script.commands) {
        // A run that a signal or a failure ended early leaves the rest unrun by no fault of theirs.
        if (pending.ran || signal != 0 || MainWindowState.captureFailed) continue;
        std::fprintf(stderr,
                     "quillo-sa: --command %d@%lld never ran: the run ended after %lld blocks\n",
                     pending.command.id, pending.command.blocks, BlockCounter.blocks);
        done = false;
    }
    return done;
}

}  // namespace

int FinishRun(const ProgramOptions& options, int code, int signal) {
    SetPostedMessageObserver(nullptr);
    if (const OtherInstance found = OtherInstanceFound(); found != OtherInstance::kNone) {
        if (options.pitchLog) ClosePitchLog();
        ReportOtherInstance(options, found);
        return 0;
    }
    bool done = FinishOutputs(options, signal);
    bool damaged = false;
    std::string damage;
    // An input that a signal cut short is no damage.
    if (options.input && signal == 0 && AudioFileFailed(&damage)) {
        // The file played up to the damage; a scripted run must not take it for whole.
        std::fprintf(stderr, "quillo-sa: %s\n", damage.c_str());
        damaged = true;
    }
    if (options.stats) {
        std::fprintf(stderr,
                     "quillo-sa: %lld blocks processed, %lld dropped by catch-up, %u capture "
                     "queue overflows\n",
                     BlockCounter.blocks, BlockCounter.dropped, TheCaptureDevice.overflows);
    }
    if (options.snapshot) {
        static char reason[kReasonSize];
        const bool written =
            PictureModeState.mode == PictureMode::kFull
                ? WriteFullViewSnapshot(options, reason, sizeof reason)
                : WriteViewSnapshot(options.snapshot->c_str(), reason, sizeof reason);
        if (!written) {
            std::fprintf(stderr, "quillo-sa: the snapshot was not written: %s\n", reason);
            done = false;
        }
    }
    if (options.spectrumOut) {
        static char reason[kReasonSize];
        if (!WriteAverageSpectrum(options, reason, sizeof reason)) {
            std::fprintf(stderr, "quillo-sa: the spectrum was not written: %s\n", reason);
            done = false;
        }
    }
    // A signal may come while an output waits (a FIFO's reader).
    if (signal == 0) signal = EndingSignal();
    if (signal != 0) return kSignalExitBase + signal;
    if (damaged) return kUsageError;
    return done ? code : kFailure;
}
