// SPDX-License-Identifier: GPL-3.0-or-later
// The picture: the window's frame buffer shown at a whole scale, and the view point under
// the pointer. The window host makes one per window and tells which one the frame buffer
// is shown in; the window's extras read points from it. On X11 with RENDER the picture is a
// window of its own that it draws through the X server (x11_picture.h); elsewhere, or with
// QUILLO_QT_PICTURE set, Qt paints it. Main thread only.
#pragma once

#include <QImage>
#include <QWidget>

#include <cstdint>

class PictureWidget : public QWidget {
  public:
    explicit PictureWidget(QWidget* parent);
    ~PictureWidget() override;
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
    // Whether the picture draws itself through the X server, past Qt's painting.
    bool DrawsItself() const { return drawsItself; }
    // None while the picture draws itself, so that Qt never paints over its window.
    QPaintEngine* paintEngine() const override;

  protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    QImage scaled;             // the view at the current scale, when the painter copies it
    bool drawsItself = false;  // set when made on a capable X server, cleared if setup fails

    // Makes the X resources for the picture's window when missing; else Qt paints from now on.
    bool ReadyToDrawItself();
    void PaintItself(const QRegion& region);
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
