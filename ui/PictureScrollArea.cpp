// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/PictureScrollArea.h"

#include "ui/PictureView.h"

#include <QCoreApplication>
#include <QKeySequence>
#include <QScrollBar>
#include <QShortcut>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace carteva {

namespace {

// One notch of a common mouse wheel.
constexpr int kNotch = 120;

// The scroll value that brings view coordinate `onView`, on picture pixel `pixel`, under viewport
// coordinate `anchor`. From one to one upwards a pixel's block is at least a view pixel wide, so
// the rounding is kept inside the block and the pixel under the pointer stays the same.
int ScrollKeeping(double onView, int pixel, double anchor, double zoom)
{
    int value = int(std::lround(onView - anchor));
    if (zoom >= 1) {
        const double block = pixel * zoom;
        const int lowest = int(std::ceil(block - anchor));
        const int highest = int(std::ceil(block + zoom - anchor)) - 1;
        value = std::clamp(value, lowest, std::max(lowest, highest));
    }
    return value;
}

} // namespace

PictureScrollArea::PictureScrollArea(PictureView *view, QWidget *parent)
    : QScrollArea(parent)
{
    setObjectName(QStringLiteral("PictureArea"));
    setFrameShape(QFrame::NoFrame);
    // Lays the viewport out without the frame now: a hidden area would wait until it is shown.
    setViewportMargins(QMargins());
    // The window's own background shows around a picture smaller than the area, as without it.
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setWidgetResizable(false);
    setFocusPolicy(Qt::NoFocus);
    setWidget(view);
    // setWidget turns this on; the picture covers the view, and the window shows beside it.
    view->setAutoFillBackground(false);
}

PictureView &PictureScrollArea::View() const
{
    return *static_cast<PictureView *>(widget());
}

void PictureScrollArea::ZoomIn(QPointF anchor)
{
    const auto &levels = PictureView::ZoomLevels;
    const auto next = std::upper_bound(levels.begin(), levels.end(), View().Zoom());
    if (next != levels.end())
        ZoomTo(*next, anchor);
}

void PictureScrollArea::ZoomOut(QPointF anchor)
{
    const auto &levels = PictureView::ZoomLevels;
    const auto next = std::lower_bound(levels.begin(), levels.end(), View().Zoom());
    if (next != levels.begin())
        ZoomTo(*(next - 1), anchor);
}

void PictureScrollArea::ZoomTo(double zoom, QPointF anchor)
{
    PictureView &view = View();
    const double old = view.Zoom();
    if (zoom == old)
        return;
    const QPointF onPicture = (anchor - QPointF(view.pos())) / old;
    view.SetZoom(zoom);
    const QPointF onView = onPicture * zoom;
    const QPoint pixel = view.PixelAt(onView);
    // The resize above has already set the new scroll ranges.
    horizontalScrollBar()->setValue(ScrollKeeping(onView.x(), pixel.x(), anchor.x(), zoom));
    verticalScrollBar()->setValue(ScrollKeeping(onView.y(), pixel.y(), anchor.y(), zoom));
}

void PictureScrollArea::ShowPixel(QPoint pixel, double minimumZoom)
{
    if (View().Zoom() < minimumZoom)
        ZoomTo(minimumZoom, ViewCentre());
    const double zoom = View().Zoom();
    const int margin = int(std::ceil(3 * zoom)) + 20;
    ensureVisible(int((pixel.x() + 0.5) * zoom), int((pixel.y() + 0.5) * zoom), margin, margin);
}

QPointF PictureScrollArea::ViewCentre() const
{
    const QRect inSight = viewport()->rect() & View().geometry();
    return QRectF(inSight).center();
}

void PictureScrollArea::AddZoomShortcuts(QWidget &window)
{
    const auto add = [&](QKeyCombination keys, auto zoom) {
        auto *shortcut = new QShortcut(QKeySequence(keys), &window);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, zoom);
    };
    const auto zoomIn = [this] { ZoomIn(ViewCentre()); };
    add(Qt::CTRL | Qt::Key_Plus, zoomIn);
    add(Qt::CTRL | Qt::Key_Equal, zoomIn);
    add(Qt::CTRL | Qt::Key_Minus, [this] { ZoomOut(ViewCentre()); });
    add(Qt::CTRL | Qt::Key_0, [this] { ZoomTo(1, ViewCentre()); });
}

void PictureScrollArea::wheelEvent(QWheelEvent *event)
{
    // The view reports the pixel that comes under the still pointer as the picture moves.
    const QPointF pointer = PictureView::PointerPosition(*viewport(), *event);
    if (View().geometry().contains(pointer.toPoint()))
        View().TrackPointer(viewport()->mapToGlobal(pointer));
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (modifiers & Qt::ControlModifier) {
        event->accept();
        zoomTurn_ += event->angleDelta().y();
        const QPointF anchor = PictureView::PointerPosition(*viewport(), *event);
        for (; zoomTurn_ >= kNotch; zoomTurn_ -= kNotch)
            ZoomIn(anchor);
        for (; zoomTurn_ <= -kNotch; zoomTurn_ += kNotch)
            ZoomOut(anchor);
        return;
    }
    if ((modifiers & Qt::ShiftModifier) && event->angleDelta().x() == 0) {
        // Shift turns the wheel sideways; without Shift, as the scroll bar would take it for
        // a page step.
        QWheelEvent sideways(event->position(), event->globalPosition(), event->pixelDelta(),
                             event->angleDelta(), event->buttons(), modifiers & ~Qt::ShiftModifier,
                             event->phase(), event->inverted(), event->source());
        QCoreApplication::sendEvent(horizontalScrollBar(), &sideways);
        event->setAccepted(sideways.isAccepted());
        return;
    }
    QScrollArea::wheelEvent(event);
}

} // namespace carteva
