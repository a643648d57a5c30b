// SPDX-License-Identifier: GPL-3.0-or-later
// The note scale and its reference pitch.
#include "views/note_scale.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr float kC0 = 16.3515625f;  // Hz, at A4 = 440 Hz

}  // namespace

NoteScaleRecord NoteScale = {kDefaultReferencePitch, kC0};

bool SetReferencePitch(float hz) {
    if (!(hz >= kLowestReferencePitch && hz <= kHighestReferencePitch)) return false;
    const double tenths = std::nearbyint(double(hz) * 10.0);
    NoteScale.referenceHz = float(tenths / 10.0);
    // kC0 times 4400 over 4400 is exact: at 440 Hz every note and cent is as it always was.
    NoteScale.c0 = float(double(kC0) * tenths / (double(kDefaultReferencePitch) * 10.0));
    return true;
}

bool ParseReferencePitch(const char* text, float* hz) {
    int tenths = 0, digits = 0, decimals = 0;
    bool point = false;
    for (const char* c = text; *c != '\0'; c++) {
        if (*c == '.' && !point) {
            point = true;
        } else if (*c >= '0' && *c <= '9' && digits < 4 && decimals < 1) {
            tenths = tenths * 10 + (*c - '0');
            (point ? decimals : digits)++;
        } else {
            return false;
        }
    }
    if (digits == 0) return false;
    if (decimals == 0) tenths *= 10;
    const float value = float(tenths / 10.0);
    if (!(value >= kLowestReferencePitch && value <= kHighestReferencePitch)) return false;
    *hz = value;
    return true;
}

void FormatReferencePitch(float hz, char (&text)[kReferencePitchTextSize]) {
    const long tenths = std::isfinite(hz) ? std::lround(double(hz) * 10.0) : 0;
    if (tenths < 0 || tenths > 99999) {
        text[0] = '\0';
        return;
    }
    std::snprintf(text, sizeof text, "%ld.%ld", tenths / 10, tenths % 10);
}
