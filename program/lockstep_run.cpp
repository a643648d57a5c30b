// A headless file run on one thread.
#include "program/lockstep_run.h"

#include <QApplication>

#include <cstdlib>

#include "capture/capture.h"
#include "platform/audio/audio_sources.h"
#include "platform/qt/qt_host.h"
#include "program/program_options.h"
#include "resources/resources.h"
#include "shell/host.h"
#include "shell/pipeline.h"
#include "shell/startup.h"

namespace {

// Signals and timers are looked at between every this many blocks: about 3 s of audio, a
// few milliseconds of the run.
constexpr long long kBlocksBetweenEventLooks = 64;

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
    pictureWanted = options.snapshot.has_value();
    if (!InitMainWindow()) return 0;
    DeliveryCounter counter;
    qApp->installEventFilter(&counter);
    // Start-up's first paint opens the capture device, which queues its empty buffers.
    QCoreApplication::processEvents();
    for (long long block = 1; MainWindowWidget() != nullptr && PullAudioFileBuffer(); block++) {
        DeliverPostedMessages(counter);
        if (block % kBlocksBetweenEventLooks == 0) QCoreApplication::processEvents();
    }
    qApp->removeEventFilter(&counter);
    if (MainWindowWidget() != nullptr && AudioFileFinished()) PostMainWindowMessage(WM_CLOSE);
    return RunMessageLoop(AcceleratorTable, kAcceleratorCount);
}
