#pragma once

#include "calibration/PixelSurface.h"
#include "picture/Picture.h"

#include <QRect>
#include <QWidget>

#include <cstdint>

namespace carteva {

// The picture view (Image1): owns the picture, draws it unscaled from its top-left corner, sizes
// itself to it, shows a cross-hair, and reports pointer moves and clicks in picture pixels.
class PictureView : public QWidget
{
    Q_OBJECT
public:
    static constexpr QSize StartSize {633, 410};

    explicit PictureView(QWidget *parent = nullptr);

    // Loads the file (see LoadPicture). On success the picture replaces the old one and, when its
    // width and height are both above 0, the view takes its size; on failure nothing changes and
    // the Error propagates.
    void LoadFromFile(const QString &fileName);
    void SetPicture(Picture picture);
    const Picture &GetPicture() const { return picture_; }

    // The drawing surface: with no picture, a new white bitmap of the view's size becomes the
    // picture first; on an icon or metafile it throws
    // Error("Can only modify an image if it contains a bitmap").
    QImage &Canvas();

    // Canvas() first, then one pixel; a pixel outside the picture is ignored (false). On palette
    // images the nearest palette colour is stored. Schedules a repaint.
    bool SetPixel(std::int64_t x, std::int64_t y, Colour colour);

    // Repaints at once, not merged with later requests.
    void RepaintNow();

signals:
    // Picture pixels; also while a button is held and the pointer is outside the view.
    void MouseMoved(Qt::KeyboardModifiers modifiers, int x, int y);
    // A press and a release of the left button both inside the view.
    void Clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    Picture picture_;
    bool pressedInside_ = false;
    // Pixels painted since the last repaint; one rectangle keeps many single-pixel updates cheap.
    QRect dirty_;
};

} // namespace carteva
