// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "picture/Picture.h"

#include <QPointer>
#include <QRect>
#include <QWidget>

#include <array>
#include <cstdint>
#include <exception>
#include <optional>
#include <vector>

class QSinglePointEvent;

namespace carteva {

class PictureLayers;
class ResidualLayer;

// The picture view (Image1): owns the picture, draws it from its top-left corner at the zoom
// factor with the layers over it, sizes itself to the zoomed picture, shows a cross-hair, and
// reports pointer moves and clicks in picture pixels. The picture itself is never changed.
class PictureView : public QWidget
{
    Q_OBJECT
public:
    static constexpr QSize StartSize {633, 410};
    // Zoom factors, smallest first; every one is exact in binary, so sizes and positions scale
    // without drift.
    static constexpr std::array<double, 11> ZoomLevels {0.125, 0.25, 0.5, 1, 2, 3, 4, 6, 8, 12, 16};

    explicit PictureView(QWidget *parent = nullptr);

    // Loads the file (see LoadPicture). On success the picture replaces the old one and, when its
    // width and height are both above 0, the view takes its size; on failure nothing changes and
    // the Error propagates.
    void LoadFromFile(const QString &fileName);
    void SetPicture(Picture picture);
    const Picture &GetPicture() const { return picture_; }

    // The picture's size in picture pixels, whatever the zoom: the view's size at one to one.
    QSize PictureSize() const { return pictureSize_; }

    double Zoom() const { return zoom_; }
    // Resizes the view to the zoomed picture; the picture itself is untouched.
    void SetZoom(double zoom);

    // The picture pixel under a position in the view: the floor of the position in picture
    // coordinates, so any point of a pixel's square picks that pixel.
    QPoint PixelAt(QPointF position) const;

    // Where the pointer is, in global coordinates with their fraction, from an event that the
    // view itself does not receive (a wheel turn over the scroll area).
    void TrackPointer(QPointF global) { pointer_ = global; }

    // The pointer's position in the widget with the fraction Qt 6.4 drops: on a scaled screen it
    // rounds the position it hands to a widget, but keeps the exact one in the window.
    static QPointF PointerPosition(const QWidget &receiver, const QSinglePointEvent &event);

    // What is drawn over the picture (not owned; nothing once it is gone).
    void SetLayers(PictureLayers *layers);
    // Makes sure there is a bitmap to draw over: with no picture, a new white bitmap of the
    // view's size at one to one becomes the picture; on an icon or metafile it throws
    // Error("Can only modify an image if it contains a bitmap").
    void MakeDrawable();
    // Whether layers show: on a bitmap, or before any picture (which MakeDrawable makes one).
    bool CanBeDrawnOn() const;
    // The picture at one to one as the view shows it, with the layers over it.
    QImage ShownImage() const;

    // Repaints at once, not merged with later requests.
    void RepaintNow();

    // Outlines around the marks of these picture pixels, drawn over the picture on screen and
    // never into it (the points window's selection).
    void SetOutlined(std::vector<QPoint> pixels);
    const std::vector<QPoint> &Outlined() const { return outlined_; }
    // A layer painted over the picture and under the outlines; none: nothing. Not owned.
    void SetResidualLayer(const ResidualLayer *layer) { residualLayer_ = layer; update(); }

    // The picture pixel last reported under the pointer (LastX, LastY); 0 x 0 before any.
    QPoint LastPixel() const { return reported_.value_or(QPoint()); }

signals:
    // Picture pixels; also while a button is held and the pointer is outside the view, and
    // whenever the picture moves under a still pointer (scrolling, zooming, the window moving).
    void MouseMoved(Qt::KeyboardModifiers modifiers, int x, int y);
    // A press and a release of the left button both on the picture; MouseMoved with the
    // release's pixel comes first, so that the click is where the pointer is.
    void Clicked();
    // Reading the picture failed while painting (a bitmap file shortened while shown), after the
    // paint: for the general error handler.
    void PaintFailed(std::exception_ptr failure);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Keeps where the pointer is from one of the view's own mouse events; its pixel.
    QPoint Track(const QSinglePointEvent &event);
    // MouseMoved for the pixel now under the still pointer, when it lies on the view in sight
    // and differs from the one reported last.
    void ReportPointer();
    void PaintPicture(QPaintEvent *event);
    void PaintOutlines(const QRect &exposed);
    // The view's area an outline around the mark of `pixel` covers.
    QRect OutlineRect(QPoint pixel) const;
    bool IsOnPicture(QPoint pixel) const;
    // The layers when they show: over a bitmap only.
    const PictureLayers *ShownLayers() const;
    // The view's area that shows the given picture pixels.
    QRect ViewRect(const QRect &pixels) const;

    Picture picture_;
    QSize pictureSize_ = StartSize;
    double zoom_ = 1;
    bool pressedInside_ = false;
    std::optional<QPointF> pointer_; // global, while over the view
    std::optional<QPoint> reported_; // the pixel MouseMoved reported last
    QObject *watchedWindow_ = nullptr;
    QPointer<PictureLayers> layers_;
    std::vector<QPoint> outlined_;
    const ResidualLayer *residualLayer_ = nullptr;
};

} // namespace carteva
