// SPDX-License-Identifier: GPL-3.0-or-later
// The pitch log: CSV rows from the values the readout draws.
#include "shell/pitch_log.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "views/readout.h"

namespace {

FILE* logFile = nullptr;
bool logIsStdout = false;
int logError = 0;  // errno of the first write that failed; 0 while all went in

void CheckWrite(int result) {
    if (result < 0 && logError == 0) logError = errno != 0 ? errno : EIO;
}

const char* LockStateName(int lockState) {
    switch (lockState) {
        case kPitchLocked:
            return "locked";
        case kPitchNotLocked:
            return "unlocked";
        default:
            return "lost";
    }
}

}  // namespace

bool OpenPitchLog(const char* path, PitchLogFlush flush) {
    ClosePitchLog();
    logIsStdout = std::strcmp(path, "-") == 0;
    logFile = logIsStdout ? stdout : std::fopen(path, "w");
    if (logFile == nullptr) return false;
    logError = 0;
    // Every row ends with a line end: line buffering writes each as it is made.
    if (flush == PitchLogFlush::kEveryRow) std::setvbuf(logFile, nullptr, _IOLBF, BUFSIZ);
    CheckWrite(std::fputs("time_s,frequency_hz,note,cents,lock\n", logFile));
    return true;
}

void LogPitchRow(double seconds, float pitch, int lockState) {
    if (logFile == nullptr) return;
    const char* lock = LockStateName(lockState);
    // The readout ignores what is not above 1 Hz, or not a finite number.
    if (!(pitch > 1.0f) || !std::isfinite(pitch)) {
        CheckWrite(std::fprintf(logFile, "%.3f,0.000,,,%s\n", seconds, lock));
        return;
    }
    char note[kNoteTextSize];
    const float cents = NearestNote(pitch, note);
    // The note without the blank that pads a natural's name.
    if (note[1] == ' ') note[1] = '\0';
    // Cents that round to zero read +0, whichever side of the note they lie on.
    const double shownCents = std::nearbyint(double(cents)) == 0.0 ? 0.0 : double(cents);
    CheckWrite(std::fprintf(logFile, "%.3f,%.3f,%s,%+.0f,%s\n", seconds, double(pitch), note,
                            shownCents, lock));
}

bool ClosePitchLog() {
    if (logFile == nullptr) return true;
    CheckWrite(logIsStdout ? std::fflush(logFile) : std::fclose(logFile));
    logFile = nullptr;
    const int error = logError;
    logError = 0;
    errno = error;
    return error == 0;
}
