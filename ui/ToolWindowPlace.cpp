// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/ToolWindowPlace.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <optional>

namespace carteva {

namespace {

// Between the two frames, so that their edges do not look like one.
constexpr int Gap = 8;

// `frame` slid along one axis, as little as it takes to lie within `screen` on that axis.
QRect SlidInto(QRect frame, const QRect &screen, Qt::Orientation along)
{
    if (along == Qt::Vertical) {
        frame.moveBottom(std::min(frame.bottom(), screen.bottom()));
        frame.moveTop(std::max(frame.top(), screen.top()));
    } else {
        frame.moveRight(std::min(frame.right(), screen.right()));
        frame.moveLeft(std::max(frame.left(), screen.left()));
    }
    return frame;
}

// The first side of the main window (right, left, below, above) where the screen has room.
std::optional<QRect> Beside(QSize size, const QRect &mainFrame, const QRect &screen)
{
    QRect right(QPoint(mainFrame.right() + Gap, mainFrame.top()), size);
    QRect left = right;
    left.moveRight(mainFrame.left() - Gap);
    QRect below(QPoint(mainFrame.left(), mainFrame.bottom() + Gap), size);
    QRect above = below;
    above.moveBottom(mainFrame.top() - Gap);
    for (const QRect &side :
         {SlidInto(right, screen, Qt::Vertical), SlidInto(left, screen, Qt::Vertical),
          SlidInto(below, screen, Qt::Horizontal), SlidInto(above, screen, Qt::Horizontal)}) {
        if (screen.contains(side) && !side.intersects(mainFrame))
            return side;
    }
    return std::nullopt;
}

qint64 Area(const QRect &rect)
{
    return rect.isEmpty() ? 0 : qint64(rect.width()) * rect.height();
}

} // namespace

QRect ToolWindowPlace::Choose(const QRect &remembered, QSize size, const QRect &mainFrame,
                              const QRect &mainScreen, const QList<QRect> &screens,
                              const QList<QRect> &keepClear)
{
    const auto clear = [&](const QRect &frame) {
        return std::none_of(keepClear.begin(), keepClear.end(),
                            [&](const QRect &kept) { return frame.intersects(kept); });
    };
    const QSize fitting = size.boundedTo(mainScreen.size());
    const std::optional<QRect> beside = Beside(fitting, mainFrame, mainScreen);
    if (!remembered.isEmpty()
        && std::any_of(screens.begin(), screens.end(),
                       [&](const QRect &screen) { return screen.contains(remembered); })
        && (!remembered.intersects(mainFrame) || (!beside && clear(remembered))))
        return remembered;
    if (beside)
        return *beside;

    // No room beside: along the screen's edges, a corner or else the middle of a side, the first
    // of the clear places that covers least of the main window (the top right corner when none
    // is clear).
    QRect corner(QPoint(), fitting);
    QList<QRect> places;
    corner.moveTopRight(mainScreen.topRight());
    places << corner;
    corner.moveBottomRight(mainScreen.bottomRight());
    places << corner;
    corner.moveBottomLeft(mainScreen.bottomLeft());
    places << corner;
    corner.moveTopLeft(mainScreen.topLeft());
    places << corner;
    corner.moveCenter(mainScreen.center());
    for (const QRect &middle : {QRect(corner).translated(mainScreen.right() - corner.right(), 0),
                                QRect(corner).translated(mainScreen.left() - corner.left(), 0),
                                QRect(corner).translated(0, mainScreen.bottom() - corner.bottom()),
                                QRect(corner).translated(0, mainScreen.top() - corner.top())})
        places << middle;
    std::optional<QRect> best;
    for (const QRect &frame : places) {
        if (clear(frame)
            && (!best || Area(frame & mainFrame) < Area(*best & mainFrame)))
            best = frame;
    }
    return best.value_or(places.front());
}

void ToolWindowPlace::Apply(QWidget &tool, const QWidget &main, const QByteArray &remembered,
                            const QList<QRect> &keepClear)
{
    const bool restored = !remembered.isEmpty() && tool.restoreGeometry(remembered);
    // Not shown yet, the tool window has no frame of its own: the main window's tells its size.
    const QRect mainFrame = main.frameGeometry(), mainInside = main.geometry();
    const QMargins frame(mainInside.left() - mainFrame.left(), mainInside.top() - mainFrame.top(),
                         mainFrame.right() - mainInside.right(),
                         mainFrame.bottom() - mainInside.bottom());
    QList<QRect> screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    const QRect mainScreen = main.screen() ? main.screen()->availableGeometry() : mainFrame;
    const QRect place = Choose(restored ? tool.geometry().marginsAdded(frame) : QRect(),
                               tool.size().grownBy(frame), mainFrame, mainScreen, screens,
                               keepClear);
    tool.setGeometry(place.marginsRemoved(frame));
}

} // namespace carteva
