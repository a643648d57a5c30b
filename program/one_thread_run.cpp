// SPDX-License-Identifier: GPL-3.0-or-later
// Headless runs on one thread.
#include "program/one_thread_run.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>

#include "capture/capture.h"
#include "platform/audio/audio_pulse.h"
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

namespace {

constexpr unsigned kMostOwnWatched = 16;

using Clock = std::chrono::steady_clock;

struct OwnLoopRecord {
    pollfd watched[kMostOwnWatched];  // what the source's loop waits for
    unsigned count = 0;
    bool timed = false;  // the source's loop is also due at `due`
    Clock::time_point due;
    int wakeFd = -1;  // an eventfd
};
OwnLoopRecord OwnLoop;

// Milliseconds from now until `then`, rounded up so that a wait for them ends after it; 0
// once it has passed.
int MillisecondsUntil(Clock::time_point then) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(then - Clock::now()).count();
    return static_cast<int>(std::max<decltype(left)>(left, 0));
}

}  // namespace

const PulseLoopHost OwnLoopPulseHost = {
    [](const pollfd* fds, unsigned count, int timeoutMs) {
        OwnLoop.count = std::min(count, kMostOwnWatched);
        std::copy_n(fds, OwnLoop.count, OwnLoop.watched);
        OwnLoop.timed = timeoutMs >= 0;
        OwnLoop.due = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    },
    [] {
        const uint64_t one = 1;
        // A full counter already wakes the loop.
        if (write(OwnLoop.wakeFd, &one, sizeof one) < 0) return;
    },
};

bool RunsLiveOnOneThread(const ProgramOptions& options) {
    return options.headless && !options.input.has_value();
}

bool PrepareLiveOneThreadRun() {
    if (OwnLoop.wakeFd < 0) OwnLoop.wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (OwnLoop.wakeFd < 0) return false;
    PrepareOneThreadRun();
    return true;
}

int RunLiveOnOneThread(int signalFd, const PulseLoopHost* otherHost) {
    if (!InitMainWindow()) return 0;
    DeliveryCounter counter;
    qApp->installEventFilter(&counter);
    // Start-up's first paint opens the capture device and with it the source.
    QCoreApplication::processEvents();
    DeliverPostedMessages(counter);
    auto lastLook = Clock::now();
    while (MainWindowWidget() != nullptr && PulseSourceHostedBy(&OwnLoopPulseHost)) {
        pollfd fds[kMostOwnWatched + 2];
        const unsigned n = OwnLoop.count;
        std::copy_n(OwnLoop.watched, n, fds);
        fds[n] = {OwnLoop.wakeFd, POLLIN, 0};
        fds[n + 1] = {signalFd, POLLIN, 0};  // none when negative
        // A look rides on a turn once it is due; only a source that stays quiet has the loop
        // wake for one.
        const auto lookDue = lastLook + std::chrono::milliseconds(kOwnLoopEventLookMs);
        const auto lookForced = lastLook + std::chrono::milliseconds(kOwnLoopQuietLookMs);
        const bool sourceFirst = OwnLoop.timed && OwnLoop.due <= lookForced;
        const int ready =
            poll(fds, n + 2, MillisecondsUntil(sourceFirst ? OwnLoop.due : lookForced));
        const auto now = Clock::now();
        bool turn = OwnLoop.timed && now >= OwnLoop.due;
        for (unsigned i = 0; ready > 0 && i <= n; i++)
            turn = turn || fds[i].revents != 0;
        if (ready > 0 && fds[n].revents != 0) {
            uint64_t wakes = 0;
            if (read(OwnLoop.wakeFd, &wakes, sizeof wakes) < 0) wakes = 0;
        }
        if (turn) {
            TurnPulseLoop();
            DeliverPostedMessages(counter);
        }
        if ((ready > 0 && fds[n + 1].revents != 0) || now >= lookForced ||
            (turn && now >= lookDue)) {
            QCoreApplication::processEvents();
            DeliverPostedMessages(counter);
            lastLook = Clock::now();
        }
    }
    qApp->removeEventFilter(&counter);
    SetPulseLoopHost(otherHost);
    return RunMessageLoop(AcceleratorTable, kAcceleratorCount);
}
