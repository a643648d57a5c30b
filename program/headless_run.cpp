// Scripted and headless runs: the command script, the end of a file, and the outputs.
#include "program/headless_run.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "capture/capture.h"
#include "platform/audio/audio_sources.h"
#include "platform/audio/audio_thread.h"
#include "platform/qt/qt_host.h"
#include "program/program_options.h"
#include "shell/host.h"
#include "shell/pipeline.h"
#include "shell/pitch_log.h"

namespace {

constexpr int kEndOfFileCheckMs = 10;

// What the run does after each delivered capture message; main thread only.
struct ScriptRecord {
    struct Pending {
        ScriptedCommand command;
        bool posted;
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
    PostMainWindowMessage(WM_CLOSE);  // nothing is saved
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

    // Runs once the loop starts, after start-up has created the window.
    if (options.headless) QTimer::singleShot(0, StopPictureUpdates);
}

int FinishRun(const ProgramOptions& options, int code) {
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
