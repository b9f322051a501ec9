// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QScrollArea>

namespace carteva {

class PictureView;

// Holds the picture view where the window leaves too little room for it: scroll bars only when the
// zoomed picture does not fit, no frame, so a picture that fits sits exactly where the view alone
// would. The wheel scrolls (Shift + wheel sideways); Ctrl + wheel zooms about the pointer.
class PictureScrollArea : public QScrollArea
{
    Q_OBJECT
public:
    explicit PictureScrollArea(PictureView *view, QWidget *parent = nullptr);

    PictureView &View() const;

    // The next zoom level up or down, or one to one; the picture point at `anchor` (a position in
    // the viewport) stays where it is, as far as the scroll range allows.
    void ZoomIn(QPointF anchor);
    void ZoomOut(QPointF anchor);
    void ZoomTo(double zoom, QPointF anchor);
    // Zooms in to at least `minimumZoom` and scrolls the picture pixel into sight.
    void ShowPixel(QPoint pixel, double minimumZoom);
    // The middle of the part of the picture that is in sight.
    QPointF ViewCentre() const;

    // Ctrl + "+" (or "="), Ctrl + "-" and Ctrl + 0 on the window, whichever control has the focus.
    void AddZoomShortcuts(QWidget &window);

protected:
    void wheelEvent(QWheelEvent *event) override;

private:
    // Wheel turns not yet used for zooming: fine-grained wheels send parts of a notch.
    int zoomTurn_ = 0;
};

} // namespace carteva
