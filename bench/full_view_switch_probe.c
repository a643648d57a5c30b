// SPDX-License-Identifier: GPL-3.0-or-later
// The probe of bench/full_view_switch.sh: presses F (through XTest) in the focused window and
// times, on the monotonic clock, until the screen shows the full view: the first pixel that is
// not black in the region where only the full view draws (its frequency labels), and then the
// first in a second region (the spectrogram's newest columns, once a frame is analysed). Then
// presses F again and waits until the first region is black (the handheld picture) before the
// next round. Prints one line per round: "ROUND FIRST_PAINT_MS FIRST_COLUMN_MS".
//   full_view_switch_probe X Y W H X2 Y2 W2 H2 ROUNDS
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

// From libXtst (its header is not installed here).
extern int XTestFakeKeyEvent(Display* display, unsigned int keycode, Bool press,
                             unsigned long delay);

static double NowMs(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec * 1000.0 + (double)t.tv_nsec / 1e6;
}

// True when some pixel of the region is not black.
static int Drawn(Display* d, int x, int y, int w, int h) {
    XImage* image =
        XGetImage(d, DefaultRootWindow(d), x, y, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
    if (image == NULL) return 0;
    int drawn = 0;
    for (int j = 0; j < h && !drawn; j++)
        for (int i = 0; i < w && !drawn; i++)
            drawn = (XGetPixel(image, i, j) & 0xFFFFFF) != 0;
    XDestroyImage(image);
    return drawn;
}

static void Sleep(int ms) {
    struct timespec t = {ms / 1000, (long)(ms % 1000) * 1000000L};
    nanosleep(&t, NULL);
}

// Waits until the region's state is `drawn`, at most `limit` ms; the ms it took, or -1.
static double WaitFor(Display* d, const int* r, int drawn, double start, double limit) {
    for (;;) {
        const double now = NowMs();
        if (Drawn(d, r[0], r[1], r[2], r[3]) == drawn) return now - start;
        if (now - start > limit) return -1.0;
        Sleep(1);
    }
}

static void PressF(Display* d) {
    const KeyCode f = XKeysymToKeycode(d, XK_f);
    XTestFakeKeyEvent(d, f, True, 0);
    XTestFakeKeyEvent(d, f, False, 0);
    XFlush(d);
}

int main(int argc, char** argv) {
    if (argc != 10) {
        fprintf(stderr, "usage: full_view_switch_probe X Y W H X2 Y2 W2 H2 ROUNDS\n");
        return 2;
    }
    const int labels[4] = {atoi(argv[1]), atoi(argv[2]), atoi(argv[3]), atoi(argv[4])};
    const int columns[4] = {atoi(argv[5]), atoi(argv[6]), atoi(argv[7]), atoi(argv[8])};
    const int rounds = atoi(argv[9]);
    Display* d = XOpenDisplay(NULL);
    if (d == NULL) {
        fprintf(stderr, "full_view_switch_probe: no display\n");
        return 1;
    }
    for (int round = 1; round <= rounds; round++) {
        if (WaitFor(d, labels, 0, NowMs(), 5000.0) < 0) {
            fprintf(stderr, "full_view_switch_probe: the handheld picture is not shown\n");
            return 1;
        }
        Sleep(1500);  // the handheld picture runs a while
        const double start = NowMs();
        PressF(d);
        const double paint = WaitFor(d, labels, 1, start, 5000.0);
        const double column = WaitFor(d, columns, 1, start, 5000.0);
        printf("%d %.1f %.1f\n", round, paint, column);
        fflush(stdout);
        Sleep(1500);
        PressF(d);
    }
    XCloseDisplay(d);
    return 0;
}
