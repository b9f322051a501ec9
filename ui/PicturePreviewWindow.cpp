// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/PicturePreviewWindow.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace carteva {

PicturePreviewWindow::PicturePreviewWindow(const Picture &picture, const QString &title,
                                           QWidget *parent)
    : QDialog(parent)
    , picture_(picture)
{
    setObjectName(QStringLiteral("PicturePreviewWindow"));
    setWindowTitle(title);
    setSizeGripEnabled(true);
    // Natural size where it fits, within most of the screen otherwise.
    QSize size = picture_.Size().expandedTo(QSize(200, 150));
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize() * 8 / 10);
    resize(size);
}

QImage PicturePreviewWindow::ScaledToFit(const Picture &picture, const QSize &bounds)
{
    if (picture.IsEmpty() || picture.Size().isEmpty() || bounds.isEmpty())
        return QImage();
    const QSize size = picture.Size();
    const QSize target = size.scaled(bounds, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    // Sampling down to twice the target first reads only those pixels of a large map; the smooth
    // pass after it still averages neighbouring pixels.
    const QImage source = size.width() > 2 * target.width() && size.height() > 2 * target.height()
        ? picture.Sampled(target * 2)
        : picture.Image();
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
    try {
        scaled_ = ScaledToFit(picture_, size());
    } catch (...) {
        scaled_ = QImage(); // a file shortened meanwhile: the dialog's preview shows nothing
    }
}

} // namespace carteva
