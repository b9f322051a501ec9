// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QDialog>
#include <QImage>

namespace carteva {

// Shows one picture in a window of its own, scaled proportionally to the window and centred.
class PicturePreviewWindow : public QDialog
{
    Q_OBJECT
public:
    PicturePreviewWindow(const QImage &image, const QString &title, QWidget *parent = nullptr);

    // The image scaled down or up to fit `bounds` with its proportions kept; smooth, but without
    // filtering every pixel of a large map.
    static QImage ScaledToFit(const QImage &image, const QSize &bounds);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QImage image_;
    QImage scaled_;
};

} // namespace carteva
