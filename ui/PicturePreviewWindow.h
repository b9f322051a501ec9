// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QDialog>
#include <QImage>

#include "picture/Picture.h"

namespace carteva {

// Shows one picture in a window of its own, scaled proportionally to the window and centred.
class PicturePreviewWindow : public QDialog
{
    Q_OBJECT
public:
    // The picture must outlive the window.
    PicturePreviewWindow(const Picture &picture, const QString &title, QWidget *parent = nullptr);

    // The picture scaled down or up to fit `bounds` with its proportions kept; smooth, but
    // without reading every pixel of a large map.
    static QImage ScaledToFit(const Picture &picture, const QSize &bounds);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    const Picture &picture_;
    QImage scaled_;
};

} // namespace carteva
