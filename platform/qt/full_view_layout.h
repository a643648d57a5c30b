// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's picture, shared by the files that draw it: where its parts go at a size, and
// the record of what it shows (the band, the spectrogram's ring, the pointer). Main thread.
#pragma once

#include <QImage>
#include <QPoint>
#include <QPolygonF>
#include <QRect>
#include <QRegion>
#include <QSize>
#include <vector>

#include "fullview/full_axis.h"
#include "fullview/full_columns.h"
#include "fullview/full_tuner.h"

class QWidget;

inline constexpr QRgb kBackground = 0xFF000000;
inline constexpr QRgb kGrid = 0xFF2A2A2A;
inline constexpr QRgb kAxisText = 0xFFC8C8C8;
inline constexpr QRgb kTrace = 0xFFFFD23C;
inline constexpr QRgb kPeakTrace = 0xFFFF5A5A;
inline constexpr QRgb kWaveform = 0xFF50E650;
inline constexpr QRgb kLockedText = 0xFFFFFFFF;
inline constexpr QRgb kPeakText = 0xFFFFFFFF;  // the peak's marker and reading
inline constexpr QRgb kUnlockedText = 0xFF8C8C8C;
inline constexpr double kStripSeconds = 0.05;    // the waveform strip shows the newest 50 ms
inline constexpr QRgb kInTune = 0xFF3CD25A;      // the gauge's in-tune zone and needle
inline constexpr QRgb kInTuneZone = 0xFF1E5A2A;  // the zone while the needle is outside it
inline constexpr QRgb kRestingNeedle = 0xFF505050;

// Where the parts of the picture go, in device pixels.
struct FullLayout {
    QRect strip;    // waveform strip
    QRect meter;    // the input level meter, right of the strip
    QRect readout;  // pitch, note and the pointer's reading
    QRect plot;     // spectrum or spectrogram
    QRect scale;    // the dB scale (spectrum) or frequency labels (spectrogram) left of it
    QRect legend;   // spectrogram: the colour bar right of the plot
    QRect gauge;    // the tuner gauge right of the strip and the readout; empty when off
    int fontPixels;
    int tick;  // an axis mark's length, and the gap from the plot to its labels
};

// What the widget shows and keeps between paints.
struct FullViewHostRecord {
    QWidget* widget = nullptr;
    FullAxis axis = WholeFullAxis(1, true, 24000.0f);  // the band; positions follow the plot
    bool spectrogram = true;                           // which plot is shown
    bool frozen = false;  // the pause button: the picture stays as it is
    float pitchHz = 0.0f;
    bool pitchLocked = false;
    FullTunerRecord tuner = {};  // the gauge's reading
    // The spectrogram's ring: one column per timeline column, column ringNext the oldest.
    QImage ring;
    int ringNext = 0;
    long long columnsDrawn = 0;  // timeline columns drawn into the ring
    FullTimeline timeline = {};
    bool ringStale = true;         // drawn anew from the history at the next paint
    bool mapStale = true;          // FullPositionMap to be built for the plot
    float mappedBinHz = 0.0f;      // the analysis's bins when the map was built
    std::vector<float> levels;     // per position: the spectrum's levels, or a column's
    std::vector<float> peaks;      // per position: held peaks
    std::vector<float> low, high;  // per strip column: the waveform
    QImage stripImage;             // the waveform strip as drawn
    QPolygonF line, peakLine;      // per position: the spectrum's and the held peaks' points
    std::vector<float> shownDb;    // per bin: the spectrum as last drawn (kept while frozen)
    // The pointer over the plot, in device pixels; none when outside.
    bool pointerInside = false;
    QPoint pointer;
    bool snap = false;  // Shift held: the pointer's reading is the peak near it
    // The pointer's reading as last drawn (the spectrum's): for the tests.
    bool readingShown = false;
    bool readingSnapped = false;  // to the peak near the pointer, ringed in the plot
    float readingHz = 0.0f;
    float readingDb = 0.0f;
    // A drag: of the band (plot) or of the dB scale, from the last position seen.
    enum class Drag { None, Band, Db } drag = Drag::None;
    QPointF dragLast;
};
extern FullViewHostRecord FullHost;

// The layout at `device` pixels with device pixel ratio `ratio` (kept: made again only for
// another size, ratio or plot).
FullLayout LayOut(QSize device, qreal ratio);
// Positions along the band: the plot's columns (spectrum) or rows (spectrogram).
int Positions(const FullLayout& l);
// The position under a device point, fractional, along the band.
float PositionAt(const FullLayout& l, QPointF point);
// The band for this layout: its positions follow the plot, and the analysis's Nyquist.
void FitAxis(const FullLayout& l);
// The moving parts (strip, meter, readout, gauge, plot: what changes with every frame; the
// axes, labels and legend change only with the size, the band or the options) in the
// widget's own (logical) coordinates, a pixel larger all round.
QRect LogicalMovingParts(const QWidget* widget);
// True when a paint of `device` (device pixels at `ratio`) asks for no more than what a
// paint of LogicalMovingParts covers: the moving parts alone are drawn.
bool WithinMovingParts(const FullLayout& l, const QRegion& device, qreal ratio);
