// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/PicturePreviewWindow.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace carteva {

PicturePreviewWindow::PicturePreviewWindow(const QImage &image, const QString &title,
                                           QWidget *parent)
    : QDialog(parent)
    , image_(image)
{
    setObjectName(QStringLiteral("PicturePreviewWindow"));
    setWindowTitle(title);
    setSizeGripEnabled(true);
    // Natural size where it fits, within most of the screen otherwise.
    QSize size = image_.size().expandedTo(QSize(200, 150));
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize() * 8 / 10);
    resize(size);
}

QImage PicturePreviewWindow::ScaledToFit(const QImage &image, const QSize &bounds)
{
    if (image.isNull() || bounds.isEmpty())
        return QImage();
    const QSize target = image.size().scaled(bounds, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    QImage source = image;
    // Sampling down to twice the target first keeps a large map quick; the smooth pass after it
    // still averages neighbouring pixels.
    if (source.width() > 2 * target.width() && source.height() > 2 * target.height())
        source = source.scaled(target * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    return source.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

void PicturePreviewWindow::paintEvent(QPaintEvent *)
{
    if (scaled_.isNull())
        return;
    QPainter painter(this);
    const QPoint corner((width() - scaled_.width()) / 2, (height() - scaled_.height()) / 2);
    painter.drawImage(corner, scaled_);
}

void PicturePreviewWindow::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    scaled_ = ScaledToFit(image_, size());
}

} // namespace carteva
