// SPDX-License-Identifier: GPL-3.0-or-later
// The window back end's share of a live frame: the picture widget repainting one presented
// frame into an image of the window's size, as the backing store receives it, on Qt's
// offscreen platform; finding what a frame changed against the one shown before it.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include <cstdlib>
#include <cstring>
#include <random>

#include "platform/qt/qt_host.h"
#include "platform/qt/view_changes.h"
#include "raster/display_backend.h"
#include "shell/host.h"

namespace {

intptr_t PlainProc(void* window, unsigned message, uintptr_t wParam, intptr_t lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefaultWindowProc(window, message, wParam, lParam);
}

// A busy picture: every pixel differs from its neighbours.
void PresentPatternFrame() {
    uint16_t* origin = WindowDisplayBackEnd.beginDraw();
    if (origin == nullptr) return;
    for (int i = 0; i < kWindowScreenWidth * kWindowScreenHeight; i++)
        origin[i] = static_cast<uint16_t>(i * 2654435761u >> 7);
    WindowDisplayBackEnd.endDraw();
}

// A new frame that differs in one pixel, as cheap to present as it gets.
void PresentNextFrame(int frame) {
    uint16_t* origin = WindowDisplayBackEnd.beginDraw();
    if (origin == nullptr) return;
    origin[(kWindowViewTop + frame % kWindowViewHeight) * kWindowScreenWidth] ^= 0xFFFF;
    WindowDisplayBackEnd.endDraw();
}

// The picture at `scale` (state.range(0)) repainted whole into an RGB32 image, the X
// backing store's format at 24 bits per pixel.
void BM_RepaintPicture(benchmark::State& state) {
    const int scale = static_cast<int>(state.range(0));
    void* window = CreateMainWindow("Tavo", "Quillo-SA", PlainProc);
    if (window == nullptr || !WindowDisplayBackEnd.open(window)) {
        state.SkipWithError("no window");
        return;
    }
    QWidget* picture = MainWindowPicture();
    MainWindowWidget()->resize(kWindowScreenWidth * scale, kWindowViewHeight * scale);
    MainWindowWidget()->show();
    QCoreApplication::processEvents();
    QImage target(picture->size(), QImage::Format_RGB32);
    PresentPatternFrame();
    int frame = 0;
    for (auto _ : state) {
        PresentNextFrame(++frame);
        picture->render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    WindowDisplayBackEnd.close();
    DefaultWindowProc(window, WM_CLOSE, 0, 0);
    RunMessageLoop(nullptr, 0);  // takes the pending quit at once
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
BENCHMARK(BM_RepaintPicture)
    ->Arg(3)
    ->Arg(2)
    ->MeasureProcessCPUTime()  // Qt may hand parts of a large image to its worker threads
    ->Unit(benchmark::kMicrosecond);

// Two frames that follow each other either way, as a live window's do: a waveform strip that
// changes at random, above a plot beside a fixed axis. Scrolled: the plot, whose rows of a few
// colours repeat every 8 columns, moved 4 columns left (and so back again). In place: a curve
// filled below it over a grid, at new heights.
struct FramePair {
    uint16_t frames[2][kWindowScreenWidth * kWindowScreenHeight];
};

void FillFramePair(FramePair* pair, bool scrolled) {
    std::mt19937 random(11);
    const uint16_t colours[] = {0x0010, 0x0418, 0x07E0, 0xFFE0, 0xF800};
    int heights[2][202];
    for (int x = 0; x < 202; x++) {
        heights[0][x] = static_cast<int>(random() % 170);
        heights[1][x] = static_cast<int>(random() % 170);
    }
    uint16_t pattern[8];
    for (int f = 0; f < 2; f++) {
        uint16_t* view = pair->frames[f] + kWindowViewTop * kWindowScreenWidth;
        for (int y = 0; y < kWindowViewHeight; y++) {
            std::mt19937 fixed(static_cast<unsigned>(y));  // the same in both frames
            for (uint16_t& p : pattern)
                p = colours[fixed() % 5];
            for (int x = 0; x < kWindowScreenWidth; x++) {
                uint16_t& p = view[y * kWindowScreenWidth + x];
                const bool grid = y % 20 == 0 || x % 40 == 0;
                if (x > 201) {
                    p = static_cast<uint16_t>(fixed());
                } else if (y < 50) {
                    p = static_cast<uint16_t>(random() % 3);
                } else if (y < 60 || y > 229) {
                    p = 0;
                } else if (scrolled) {
                    p = pattern[(x + 4 * f) % 8];
                } else {
                    p = 229 - y < heights[f][x] ? 0x07E0 : (grid ? 0x4208 : 0);
                }
            }
        }
    }
}

// One frame's comparison as the window makes it: the moved part, then the changed blocks.
void BM_FindFrameChanges(benchmark::State& state) {
    static FramePair pair;
    static ShownViewRows shown;
    static ViewChangesRecord changes;
    FillFramePair(&pair, state.range(0) != 0);
    std::memcpy(shown, pair.frames[0] + kWindowViewTop * kWindowScreenWidth, sizeof shown);
    ViewShiftRecord shift;
    FindViewShift(pair.frames[1], shown, &shift);
    state.counters["moved columns"] = shift.columns;
    state.counters["moved rows"] = shift.columns == 0 ? 0 : shift.bottom - shift.top + 1;
    int next = 1;
    for (auto _ : state) {
        FindViewShift(pair.frames[next], shown, &shift);
        FindViewChanges(pair.frames[next], shown, &changes);
        benchmark::DoNotOptimize(shift);
        benchmark::DoNotOptimize(changes.patchCount);
        next ^= 1;
    }
    state.counters["patches"] = changes.patchCount;
}
BENCHMARK(BM_FindFrameChanges)->ArgName("scrolled")->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    // Before QApplication: no display is needed or used.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
