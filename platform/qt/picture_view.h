// SPDX-License-Identifier: GPL-3.0-or-later
// The picture: the window's frame buffer shown at a whole scale, and the view point under
// the pointer. The window host makes one per window and tells which one the frame buffer
// is shown in; the window's extras read points from it. Main thread only.
#pragma once

#include <QImage>
#include <QWidget>

#include <cstdint>

class PictureWidget : public QWidget {
  public:
    explicit PictureWidget(QWidget* parent);
    QSize preferred;  // the first size; set by the window host before it is shown
    // Called with WM_LBUTTONDOWN or WM_LBUTTONUP, its wParam and the screen point under the
    // pointer; set by the window host.
    void (*pressed)(unsigned message, uintptr_t wParam, intptr_t point) = nullptr;
    QSize sizeHint() const override { return preferred; }

    // The largest whole scale at which the view fits the widget's device pixels, at least 1.
    int Scale() const;
    // Where the view goes: centred, at Scale(), on whole device pixels, so that every
    // screen pixel becomes scale x scale device pixels.
    QRectF Target() const;
    // The part of the widget that shows the view pixels `view` (view-area pixels).
    QRect ViewRect(const QRect& view) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    QImage scaled;  // the view at the current scale, when the painter copies it
};

// The picture that frames are shown in from now on; null when the window has gone.
void ShowFramesIn(PictureWidget* picture);

// The view-area pixel under `position` (the picture widget's coordinates); false when the
// position is outside the scaled view.
bool PictureViewPoint(const QWidget* picture, const QPointF& position, int* x, int* y);

// The view area as last presented, whichever layout wrote it, scaled by `scale` (each screen
// pixel a scale x scale square): the part `area` of it (device pixels of the scaled view,
// inside it) into RGB32 rows at `bits`, `bytesPerLine` apart, area's top-left first.
void RenderView(int scale, const QRect& area, uchar* bits, qsizetype bytesPerLine);
