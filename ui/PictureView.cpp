#include "ui/PictureView.h"

#include "picture/PictureLoader.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <cmath>
#include <limits>
#include <utility>

namespace carteva {

namespace {

// The palette entry nearest to the colour, by distance in RGB; the first of equals wins.
int NearestColourIndex(const QImage &image, QRgb colour)
{
    int best = 0;
    int bestDistance = std::numeric_limits<int>::max();
    for (int i = 0; i < image.colorCount(); ++i) {
        const QRgb entry = image.color(i);
        const int dr = qRed(entry) - qRed(colour);
        const int dg = qGreen(entry) - qGreen(colour);
        const int db = qBlue(entry) - qBlue(colour);
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

int PixelCoordinate(qreal position)
{
    return int(std::floor(position));
}

} // namespace

PictureView::PictureView(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Image1"));
    resize(StartSize);
    setCursor(Qt::CrossCursor);
    setMouseTracking(true);
}

void PictureView::LoadFromFile(const QString &fileName)
{
    SetPicture(LoadPicture(fileName));
}

void PictureView::SetPicture(Picture picture)
{
    picture_ = std::move(picture);
    dirty_ = QRect();
    if (picture_.Width() > 0 && picture_.Height() > 0)
        resize(picture_.Width(), picture_.Height());
    update();
}

QImage &PictureView::Canvas()
{
    if (picture_.IsEmpty()) {
        QImage blank(size(), QImage::Format_RGB32);
        blank.fill(Qt::white);
        picture_ = Picture(PictureKind::Bitmap, std::move(blank));
    }
    return picture_.BitmapImage();
}

bool PictureView::SetPixel(std::int64_t x, std::int64_t y, Colour colour)
{
    QImage &image = Canvas();
    if (x < 0 || y < 0 || x >= image.width() || y >= image.height())
        return false;
    const int px = int(x);
    const int py = int(y);
    const QRgb rgb = qRgb(RedOf(colour), GreenOf(colour), BlueOf(colour));
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        reinterpret_cast<QRgb *>(image.scanLine(py))[px] = rgb;
        break;
    case QImage::Format_Indexed8:
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        // setPixel takes a palette index on these formats; an RGB value would be ignored.
        image.setPixel(px, py, uint(NearestColourIndex(image, rgb)));
        break;
    default:
        image.setPixelColor(px, py, QColor(rgb));
        break;
    }
    // One repaint request per growth of the dirty area: a million waypoints make a million
    // pixels, and most of them fall inside what is already due for repainting.
    if (!dirty_.contains(px, py)) {
        dirty_ |= QRect(px, py, 1, 1);
        update(dirty_);
    }
    return true;
}

void PictureView::RepaintNow()
{
    repaint();
}

void PictureView::paintEvent(QPaintEvent *event)
{
    dirty_ = QRect();
    const QImage &image = picture_.Image();
    if (image.isNull())
        return;
    const QRect area = event->rect() & image.rect();
    if (area.isEmpty())
        return;
    QPainter painter(this);
    painter.drawImage(area.topLeft(), image, area);
}

void PictureView::mouseMoveEvent(QMouseEvent *event)
{
    const QPointF at = event->position();
    emit MouseMoved(event->modifiers(), PixelCoordinate(at.x()), PixelCoordinate(at.y()));
}

void PictureView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        pressedInside_ = rect().contains(event->position().toPoint());
}

void PictureView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPointF at = event->position();
    const bool inside = rect().contains(PixelCoordinate(at.x()), PixelCoordinate(at.y()));
    const bool click = pressedInside_ && inside;
    pressedInside_ = false;
    if (click)
        emit Clicked();
}

} // namespace carteva
