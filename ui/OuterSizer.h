// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QSize>
#include <QTimer>

class QWidget;
class QWindow;

namespace carteva {

// Gives a top-level window an outer size, frame included. A window manager frames a window some
// time after it is shown, and only then are the frame's margins known: until then the size is set
// with the margins known so far (none), and set again when the first expose or move of the framed
// window shows them. Without a window manager no frame ever comes, and the watch ends by a timer;
// nothing waits for it.
class OuterSizer : public QObject
{
public:
    explicit OuterSizer(QWidget &window);

    // The top-left corner stays where it is.
    void Apply(QSize outer);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Resize();
    void StopWatching();

    QWidget &window_;
    QSize outer_;
    QPointer<QWindow> watched_;
    QTimer giveUp_;
};

} // namespace carteva
