// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/output_files.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "shell/host.h"

namespace {

constexpr int kReaderCheckMs = 50;  // how often a FIFO is tried again for a reader

volatile sig_atomic_t Ending = 0;

}  // namespace

void RecordEndingSignal(int signal) {
    if (Ending == 0) Ending = signal;
}

int EndingSignal() {
    return Ending;
}

int OpenOutput(const char* path, int flags, mode_t mode) {
    for (;;) {
        // Without a reader a FIFO refuses a non-blocking open for writing (ENXIO) instead of
        // waiting in it, where no signal could end the wait.
        const int fd = open(path, flags | O_NONBLOCK, mode);
        if (fd >= 0) {
            if ((flags & O_NONBLOCK) == 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            return fd;
        }
        if (errno != ENXIO) return -1;
        if (EndingSignal() != 0) {
            errno = EINTR;
            return -1;
        }
        poll(nullptr, 0, kReaderCheckMs);
    }
}

bool WriteWholeFile(const char* path, const char* bytes, int size) {
    struct stat status {};
    if (stat(path, &status) != 0 || S_ISREG(status.st_mode) || S_ISDIR(status.st_mode))
        return ReplaceFile(path, bytes, size, true);
    const int fd = OpenOutput(path, O_WRONLY | O_CLOEXEC, 0);
    if (fd < 0) return false;
    int failure = 0;
    while (size > 0 && failure == 0) {
        const ssize_t written = write(fd, bytes, static_cast<size_t>(size));
        if (written < 0 && errno == EINTR && EndingSignal() == 0) continue;
        if (written <= 0) {
            failure = written < 0 ? errno : EIO;
            break;
        }
        bytes += written;
        size -= static_cast<int>(written);
    }
    if (close(fd) != 0 && failure == 0 && errno != EINTR) failure = errno;
    errno = failure;
    return failure == 0;
}
