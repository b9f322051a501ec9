// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/PictureView.h"

#include "calibration/Errors.h"
#include "picture/PictureLoader.h"
#include "ui/PictureLayers.h"
#include "ui/ResidualLayer.h"
#include "ui/ShownPixels.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

namespace carteva {

namespace {

// Qt derives a position from device pixels by multiplying with the inverse of the scale factor,
// which can land a rounding error below a pixel border the pointer sits exactly on. Far smaller
// than the finest step a pointer can make (1/65536 of a device pixel at zoom 16), so real
// positions just below a border stay below it.
constexpr double kBorderSnap = 1e-9;

int PixelCoordinate(double position, double zoom)
{
    return int(std::floor(position / zoom + kBorderSnap));
}

// The picture pixels that a run of device pixels shows: each the one a pointer on it picks.
std::vector<int> PixelsOfDeviceRun(int first, int count, double origin, double scale, int size)
{
    std::vector<int> pixels(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const int pixel = int(std::floor((first + i - origin) / scale + kBorderSnap));
        pixels[std::size_t(i)] = std::clamp(pixel, 0, size - 1);
    }
    return pixels;
}

// Draws the exposed part device pixel by device pixel. Qt's own scaling samples pixel centres and
// rounds in its own way: at a fractional scale factor, or below one to one, some device pixels
// would show a neighbour of the pixel that a click on them picks. The layers go over the sampled
// pixels, so a layer pixel fills exactly the device pixels that show its picture pixel.
void DrawDevicePixels(QPainter &painter, const Picture &picture, const QRect &exposed, double zoom,
                      const PictureLayers *layers)
{
    const QTransform device = painter.deviceTransform();
    const double ratio = device.m11();
    const double scale = ratio * zoom;
    const QPointF origin(device.dx(), device.dy());
    const QRectF area = device.mapRect(QRectF(exposed));
    // The device pixels on the picture are those from its origin to its far edge.
    const int left = std::max(int(std::floor(area.left())), int(std::ceil(origin.x())));
    const int top = std::max(int(std::floor(area.top())), int(std::ceil(origin.y())));
    const int right = std::min(int(std::ceil(area.right())),
                               int(std::ceil(origin.x() + picture.Width() * scale)));
    const int bottom = std::min(int(std::ceil(area.bottom())),
                                int(std::ceil(origin.y() + picture.Height() * scale)));
    if (right <= left || bottom <= top)
        return;
    const std::vector<int> columns
        = PixelsOfDeviceRun(left, right - left, origin.x(), scale, picture.Width());
    const std::vector<int> rows
        = PixelsOfDeviceRun(top, bottom - top, origin.y(), scale, picture.Height());
    QImage shown = picture.Sample(columns, rows);
    if (layers != nullptr) {
        const QRect area(QPoint(columns.front(), rows.front()), QPoint(columns.back(), rows.back()));
        ShownPixels target(shown, area, ShownPixels::Starts(columns), ShownPixels::Starts(rows),
                           picture);
        layers->Paint(target);
    }
    shown.setDevicePixelRatio(ratio);
    painter.drawImage(QPointF(left - origin.x(), top - origin.y()) / ratio, shown);
}

int ZoomedLength(int length, double zoom)
{
    return int(std::ceil(length * zoom));
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
    if (picture_.Width() > 0 && picture_.Height() > 0)
        pictureSize_ = picture_.Size();
    SetZoom(zoom_);
}

void PictureView::SetZoom(double zoom)
{
    zoom_ = zoom;
    resize(ZoomedLength(pictureSize_.width(), zoom_), ZoomedLength(pictureSize_.height(), zoom_));
    update();
    ReportPointer();
}

QPoint PictureView::PixelAt(QPointF position) const
{
    return {PixelCoordinate(position.x(), zoom_), PixelCoordinate(position.y(), zoom_)};
}

QPointF PictureView::PointerPosition(const QWidget &receiver, const QSinglePointEvent &event)
{
    const QPointF exact = receiver.mapFrom(receiver.window(), event.scenePosition());
    const QPointF rounded = event.position();
    // An event made up by a program often carries its local position as the window's; then the
    // two differ by the widget's offset in the window, and only the local one is right.
    if (std::abs(exact.x() - rounded.x()) < 1 && std::abs(exact.y() - rounded.y()) < 1)
        return exact;
    return rounded;
}

bool PictureView::IsOnPicture(QPoint pixel) const
{
    return QRect(QPoint(0, 0), pictureSize_).contains(pixel);
}

QRect PictureView::ViewRect(const QRect &pixels) const
{
    // Below one to one several pixels share a view pixel: round outwards.
    const QPoint topLeft(int(std::floor(pixels.left() * zoom_)),
                         int(std::floor(pixels.top() * zoom_)));
    const QPoint end(ZoomedLength(pixels.right() + 1, zoom_),
                     ZoomedLength(pixels.bottom() + 1, zoom_));
    return QRect(topLeft, end - QPoint(1, 1));
}

void PictureView::SetLayers(PictureLayers *layers)
{
    layers_ = layers;
    update();
}

void PictureView::MakeDrawable()
{
    if (picture_.IsEmpty()) {
        QImage blank(pictureSize_, QImage::Format_RGB32);
        blank.fill(Qt::white);
        picture_ = Picture(PictureKind::Bitmap, std::move(blank));
        update();
    }
    if (picture_.Kind() != PictureKind::Bitmap)
        throw Error("Can only modify an image if it contains a bitmap");
}

bool PictureView::CanBeDrawnOn() const
{
    return picture_.IsEmpty() || picture_.Kind() == PictureKind::Bitmap;
}

const PictureLayers *PictureView::ShownLayers() const
{
    return picture_.Kind() == PictureKind::Bitmap ? layers_.data() : nullptr;
}

QImage PictureView::ShownImage() const
{
    QImage image = picture_.Image();
    if (const PictureLayers *layers = ShownLayers(); layers != nullptr && !image.isNull()) {
        // The same format whatever the layers hold, so that two shown images compare alike.
        image.convertTo(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        ShownPixels target = ShownPixels::OneToOne(image, image.rect(), picture_);
        layers->Paint(target);
    }
    return image;
}

void PictureView::RepaintNow()
{
    repaint();
}

void PictureView::SetOutlined(std::vector<QPoint> pixels)
{
    for (const QPoint &pixel : outlined_)
        update(OutlineRect(pixel));
    outlined_ = std::move(pixels);
    for (const QPoint &pixel : outlined_)
        update(OutlineRect(pixel));
}

QRect PictureView::OutlineRect(QPoint pixel) const
{
    // One picture pixel around the mark's 3 x 3, and never smaller than a fingertip's aim, so that
    // it shows below one to one too.
    const QRect around = ViewRect(QRect(pixel - QPoint(2, 2), QSize(5, 5)));
    constexpr int minimum = 11;
    const QPoint centre = around.center();
    return around.united(QRect(centre - QPoint(minimum / 2, minimum / 2), QSize(minimum, minimum)));
}

void PictureView::paintEvent(QPaintEvent *event)
{
    PaintPicture(event);
    if (residualLayer_) {
        QPainter painter(this);
        painter.scale(zoom_, zoom_);
        residualLayer_->Paint(painter, QRect(PixelAt(event->rect().topLeft()),
                                             PixelAt(event->rect().bottomRight())));
    }
    PaintOutlines(event->rect());
}

void PictureView::PaintOutlines(const QRect &exposed)
{
    if (outlined_.empty())
        return;
    QPainter painter(this);
    for (const QPoint &pixel : outlined_) {
        const QRect outer = OutlineRect(pixel);
        if (!outer.intersects(exposed))
            continue;
        // Black inside white: one of them shows on any map.
        painter.setPen(QPen(Qt::white, 0));
        painter.drawRect(outer.adjusted(0, 0, -1, -1));
        painter.setPen(QPen(Qt::black, 0));
        painter.drawRect(outer.adjusted(1, 1, -2, -2));
    }
}

void PictureView::PaintPicture(QPaintEvent *event)
{
    if (picture_.IsEmpty() || picture_.Width() == 0 || picture_.Height() == 0)
        return;
    // Only the picture pixels behind the exposed area are read: a repaint costs the same on a
    // small picture as on a 20000 x 28000 scan, at any zoom.
    const QRect exposed = event->rect();
    const QPoint end(int(std::ceil((exposed.right() + 1) / zoom_)),
                     int(std::ceil((exposed.bottom() + 1) / zoom_)));
    const QRect source
        = QRect(PixelAt(exposed.topLeft()), end - QPoint(1, 1)) & QRect(QPoint(0, 0), picture_.Size());
    if (source.isEmpty())
        return;
    QPainter painter(this);
    const QTransform device = painter.deviceTransform();
    const double scale = device.m11() * zoom_;
    // A bitmap file found shortened is reported after the paint (nothing may leave it), and
    // painted again, its lost part as the file's zeros.
    try {
        if (scale != std::floor(scale) || device.dx() != std::floor(device.dx())
            || device.dy() != std::floor(device.dy())) {
            DrawDevicePixels(painter, picture_, exposed, zoom_, ShownLayers());
        } else {
            // Whole device pixels to a picture pixel: the painter's nearest-neighbour scaling
            // agrees with the picking, and pixels stay sharp blocks.
            const QRectF target(source.x() * zoom_, source.y() * zoom_, source.width() * zoom_,
                                source.height() * zoom_);
            QImage region = picture_.Region(source);
            if (const PictureLayers *layers = ShownLayers()) {
                ShownPixels shown = ShownPixels::OneToOne(region, source, picture_);
                layers->Paint(shown);
            }
            painter.drawImage(target, region);
        }
    } catch (...) {
        update(exposed);
        QTimer::singleShot(0, this, [this, failure = std::current_exception()] {
            emit PaintFailed(failure);
        });
    }
}

QPoint PictureView::Track(const QSinglePointEvent &event)
{
    const QPointF position = PointerPosition(*this, event);
    pointer_ = mapToGlobal(position);
    reported_ = PixelAt(position);
    return *reported_;
}

void PictureView::ReportPointer()
{
    if (!pointer_ || !isVisible())
        return;
    const QPointF position = mapFromGlobal(*pointer_);
    const QPoint pixel = PixelAt(position);
    if (pixel == reported_ || !visibleRegion().contains(position.toPoint()))
        return;
    reported_ = pixel;
    emit MouseMoved(QGuiApplication::keyboardModifiers(), pixel.x(), pixel.y());
}

void PictureView::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pixel = Track(*event);
    emit MouseMoved(event->modifiers(), pixel.x(), pixel.y());
}

void PictureView::mousePressEvent(QMouseEvent *event)
{
    const QPoint pixel = Track(*event);
    if (event->button() == Qt::LeftButton)
        pressedInside_ = IsOnPicture(pixel);
}

void PictureView::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint pixel = Track(*event);
    if (event->button() != Qt::LeftButton)
        return;
    const bool click = pressedInside_ && IsOnPicture(pixel);
    pressedInside_ = false;
    if (!click)
        return;
    // The picture may have moved under the pointer since its last move: a scroll, a zoom.
    emit MouseMoved(event->modifiers(), pixel.x(), pixel.y());
    emit Clicked();
}

void PictureView::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    pointer_.reset();
}

void PictureView::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    ReportPointer();
}

void PictureView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    ReportPointer();
}

void PictureView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The window moving (or resized from its top or left edge) moves the view under the pointer.
    if (watchedWindow_ != window()) {
        if (watchedWindow_ != nullptr)
            watchedWindow_->removeEventFilter(this);
        watchedWindow_ = window();
        if (watchedWindow_ != this)
            watchedWindow_->installEventFilter(this);
    }
}

bool PictureView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == watchedWindow_ && event->type() == QEvent::Move)
        ReportPointer();
    return QWidget::eventFilter(watched, event);
}

} // namespace carteva
