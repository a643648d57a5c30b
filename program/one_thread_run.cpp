// SPDX-License-Identifier: GPL-3.0-or-later
// A headless file run on one thread.
#include "program/one_thread_run.h"

#include <QApplication>

#include <algorithm>
#include <cstdlib>

#include "capture/capture.h"
#include "platform/audio/audio_sources.h"
#include "platform/qt/qt_host.h"
#include "program/program_options.h"
#include "raster/display.h"
#include "resources/resources.h"
#include "shell/host.h"
#include "shell/pipeline.h"
#include "shell/startup.h"

namespace {

// Signals and timers are looked at after every this many blocks: about 47 s of audio, a
// few milliseconds of the run.
constexpr long long kBlocksBetweenEventLooks = 1024;
constexpr long long kBlockSamples = kCaptureBufferSize / 2;

// Counts the events that Qt delivers, so that posted messages can be delivered until none
// is left (a delivery may post more, which Qt keeps for its next round).
class DeliveryCounter : public QObject {
  public:
    long long delivered = 0;

  protected:
    bool eventFilter(QObject*, QEvent*) override {
        ++delivered;
        return false;
    }
};

void DeliverPostedMessages(const DeliveryCounter& counter) {
    long long before = 0;
    do {
        before = counter.delivered;
        QCoreApplication::sendPostedEvents();
    } while (counter.delivered != before);
}

// Whether the picture may be looked at right after one of the blocks first .. last: the
// run can end only where signals and timers are looked at, after a scripted command (taken
// to land after its block or the next) and at the end of the file, seen by decoding ahead.
bool LookBetween(const ProgramOptions& options, long long first, long long last) {
    if (last / kBlocksBetweenEventLooks != (first - 1) / kBlocksBetweenEventLooks) return true;
    for (const ScriptedCommand& command : options.commands) {
        if (std::max(command.blocks, 1LL) <= last && command.blocks + 1 >= first) return true;
    }
    return !AudioFileGoesOn((last - first + 1) * kBlockSamples + 1);
}

// Draws only what can still be seen: the waveform strip of a block after which nobody looks
// within its fade-out, and the view on the screen only where someone may look.
void ChooseUnseenDrawing(const ProgramOptions& options, long long block) {
    stripUnseen = !LookBetween(options, block, block + kStripFadesOutBlocks);
    presentUnseen = stripUnseen || !LookBetween(options, block, block);
}

}  // namespace

bool RunsOnOneThread(const ProgramOptions& options) {
    return options.headless && options.input.has_value();
}

// Qt's GLib event dispatcher writes to an eventfd for every posted event, a system call a
// block; the plain Unix one wakes itself once and then not again until it has looked, which
// this run does only now and then.
void PrepareOneThreadRun() {
    setenv("QT_NO_GLIB", "1", 0);
}

int RunOneThread(const ProgramOptions& options) {
    TheCaptureDevice.threadless = true;  // before the first paint opens it
    if (!InitMainWindow()) return 0;
    DeliveryCounter counter;
    qApp->installEventFilter(&counter);
    // Start-up's first paint opens the capture device, which queues its empty buffers.
    QCoreApplication::processEvents();
    for (long long block = 1; MainWindowWidget() != nullptr; block++) {
        if (pictureWanted) ChooseUnseenDrawing(options, block);
        if (!PullAudioFileBuffer()) break;
        DeliverPostedMessages(counter);
        if (block % kBlocksBetweenEventLooks == 0) QCoreApplication::processEvents();
    }
    qApp->removeEventFilter(&counter);
    if (MainWindowWidget() != nullptr && AudioFileFinished()) PostMainWindowMessage(WM_CLOSE);
    return RunMessageLoop(AcceleratorTable, kAcceleratorCount);
}
