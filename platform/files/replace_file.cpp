// SPDX-License-Identifier: GPL-3.0-or-later
// Replacing a file in one step over POSIX: a new file beside it, flushed, renamed over it.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "shell/host.h"

namespace {

constexpr int kMaxLinkHops = 40;    // as the kernel's own limit on a chain of symlinks
constexpr int kNameAttempts = 100;  // names tried for the new file when some are taken

// The file that a chain of symlinks at `path` ends in (which need not exist); `path` itself
// when it is no symlink. False with errno ELOOP on a chain that does not end.
bool LinkTarget(const char* path, std::string* target) {
    *target = path;
    for (int hop = 0; hop < kMaxLinkHops; hop++) {
        char buffer[PATH_MAX];
        const ssize_t length = readlink(target->c_str(), buffer, sizeof buffer);
        if (length < 0 || static_cast<size_t>(length) >= sizeof buffer) return true;
        std::string next(buffer, static_cast<size_t>(length));
        const size_t slash = target->rfind('/');
        if (next[0] != '/' && slash != std::string::npos)
            next = target->substr(0, slash + 1) + next;
        *target = next;
    }
    errno = ELOOP;
    return false;
}

bool WriteAll(int fd, const char* bytes, int size) {
    while (size > 0) {
        const ssize_t written = write(fd, bytes, static_cast<size_t>(size));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        size -= static_cast<int>(written);
    }
    return true;
}

// A new file beside `target`, created exclusively (never through a symlink); -1 on failure.
int CreateBeside(const std::string& target, std::string* name) {
    static unsigned serial = 0;
    for (int attempt = 0; attempt < kNameAttempts; attempt++) {
        *name = target + ".new-" + std::to_string(getpid()) + "-" + std::to_string(++serial);
        const int fd =
            open(name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Makes the rename itself durable; what was written is already on the disk either way.
void SyncFolderOf(const std::string& target) {
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

}  // namespace

bool ReplaceFile(const char* path, const char* bytes, int size, bool followLink) {
    if (path == nullptr || path[0] == '\0' || bytes == nullptr || size < 0) {
        errno = EINVAL;
        return false;
    }
    std::string target;
    if (followLink) {
        if (!LinkTarget(path, &target)) return false;
    } else {
        target = path;
    }
    // A device, a FIFO or a folder in the way is not a file to replace (as root, a renamed
    // file would take the place of /dev/null).
    struct stat old {};
    const bool existed = lstat(target.c_str(), &old) == 0;
    if (existed && !S_ISREG(old.st_mode) && !(S_ISLNK(old.st_mode) && !followLink)) {
        errno = S_ISDIR(old.st_mode) ? EISDIR : ENOTSUP;
        return false;
    }
    std::string temporary;
    const int fd = CreateBeside(target, &temporary);
    if (fd < 0) return false;
    int failure = 0;
    // The replaced file's permissions carry over.
    if (!WriteAll(fd, bytes, size) ||
        (existed && S_ISREG(old.st_mode) && fchmod(fd, old.st_mode & 07777) != 0) ||
        fsync(fd) != 0) {
        failure = errno;
    }
    if (close(fd) != 0 && failure == 0) failure = errno;
    if (failure == 0 && rename(temporary.c_str(), target.c_str()) != 0) failure = errno;
    if (failure != 0) {
        unlink(temporary.c_str());
        errno = failure;
        return false;
    }
    SyncFolderOf(target);
    return true;
}
