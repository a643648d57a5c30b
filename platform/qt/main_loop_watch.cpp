// SPDX-License-Identifier: GPL-3.0-or-later
// The watch's notifiers are made again only when the descriptors change, which is seldom:
// a connection keeps its socket, and asks to write only while it has something to send.
#include "platform/qt/main_loop_watch.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>

namespace {

constexpr unsigned kMostWatched = 16;

struct MainLoopWatchRecord {
    pollfd fds[kMostWatched];
    unsigned count;
    // Children of the application, which deletes them when it goes first.
    QPointer<QSocketNotifier> notifiers[2 * kMostWatched];
    QPointer<QTimer> timer;
    void (*due)();
};
MainLoopWatchRecord MainLoopWatch;

void RunDue() {
    if (MainLoopWatch.due != nullptr) MainLoopWatch.due();
}

bool SameDescriptors(const pollfd* fds, unsigned count) {
    if (count != MainLoopWatch.count) return false;
    for (unsigned i = 0; i < count; i++) {
        if (fds[i].fd != MainLoopWatch.fds[i].fd || fds[i].events != MainLoopWatch.fds[i].events)
            return false;
    }
    return true;
}

// Later, not now: the notifier whose signal runs the caller may be among them.
void DropNotifiers() {
    for (QPointer<QSocketNotifier>& notifier : MainLoopWatch.notifiers) {
        if (notifier != nullptr) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
        notifier = nullptr;
    }
}

void Notify(unsigned slot, int fd, QSocketNotifier::Type type) {
    auto* notifier = new QSocketNotifier(fd, type, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, RunDue);
    MainLoopWatch.notifiers[slot] = notifier;
}

}  // namespace

void WatchOnMainLoop(const pollfd* fds, unsigned count, int timeoutMs, void (*due)()) {
    if (QCoreApplication::instance() == nullptr) return;
    count = std::min(count, kMostWatched);
    MainLoopWatch.due = due;
    if (!SameDescriptors(fds, count)) {
        DropNotifiers();
        std::copy_n(fds, count, MainLoopWatch.fds);
        MainLoopWatch.count = count;
        for (unsigned i = 0; i < count; i++) {
            if ((fds[i].events & POLLIN) != 0) Notify(2 * i, fds[i].fd, QSocketNotifier::Read);
            if ((fds[i].events & POLLOUT) != 0)
                Notify(2 * i + 1, fds[i].fd, QSocketNotifier::Write);
        }
    }
    if (timeoutMs < 0) {
        if (MainLoopWatch.timer != nullptr) MainLoopWatch.timer->stop();
        return;
    }
    if (MainLoopWatch.timer == nullptr) {
        MainLoopWatch.timer = new QTimer(QCoreApplication::instance());
        MainLoopWatch.timer->setSingleShot(true);
        QObject::connect(MainLoopWatch.timer, &QTimer::timeout, RunDue);
    }
    MainLoopWatch.timer->start(timeoutMs);
}

void RunOnMainLoop(void (*due)()) {
    if (QCoreApplication* application = QCoreApplication::instance())
        QMetaObject::invokeMethod(application, due, Qt::QueuedConnection);
}
