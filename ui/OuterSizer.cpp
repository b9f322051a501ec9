// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/OuterSizer.h"

#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace carteva {

namespace {
// Long after any window manager has framed a window it maps; the watch only ends here.
constexpr int kFrameWaitMs = 2000;
} // namespace

OuterSizer::OuterSizer(QWidget &window)
    : QObject(&window)
    , window_(window)
{
    giveUp_.setSingleShot(true);
    giveUp_.setInterval(kFrameWaitMs);
    connect(&giveUp_, &QTimer::timeout, this, &OuterSizer::StopWatching);
}

void OuterSizer::Apply(QSize outer)
{
    outer_ = outer;
    Resize();
    QWindow *window = window_.windowHandle();
    if (!window || !window->frameMargins().isNull() || !window->isVisible())
        return;
    if (watched_ != window) {
        StopWatching();
        watched_ = window;
        window->installEventFilter(this);
    }
    giveUp_.start();
}

void OuterSizer::Resize()
{
    const QWindow *window = window_.windowHandle();
    const QMargins frame = window ? window->frameMargins() : QMargins();
    window_.resize(outer_.width() - frame.left() - frame.right(),
                   outer_.height() - frame.top() - frame.bottom());
}

bool OuterSizer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == watched_ && (event->type() == QEvent::Expose || event->type() == QEvent::Move)
        && !watched_->frameMargins().isNull()) {
        StopWatching();
        Resize();
    }
    return false;
}

void OuterSizer::StopWatching()
{
    giveUp_.stop();
    if (watched_)
        watched_->removeEventFilter(this);
    watched_ = nullptr;
}

} // namespace carteva
