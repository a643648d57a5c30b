// SPDX-License-Identifier: GPL-3.0-or-later
// The window back end's share of a live frame: the picture widget repainting one presented
// frame into an image of the window's size, as the backing store receives it, on Qt's
// offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include <cstdlib>

#include "platform/qt/qt_host.h"
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
