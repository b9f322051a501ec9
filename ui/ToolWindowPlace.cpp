// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/ToolWindowPlace.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace carteva {

QRect ToolWindowPlace::Choose(const QRect &remembered, QSize size, const QRect &mainFrame,
                              const QRect &mainScreen, const QList<QRect> &screens)
{
    if (!remembered.isEmpty()
        && std::any_of(screens.begin(), screens.end(),
                       [&](const QRect &screen) { return screen.contains(remembered); }))
        return remembered;
    const QSize fitting = size.boundedTo(mainScreen.size());
    QRect frame(mainFrame.topRight() + QPoint(8, 0), fitting);
    // Back inside the screen, the right and bottom edges first so that the left and top win.
    frame.moveRight(std::min(frame.right(), mainScreen.right()));
    frame.moveBottom(std::min(frame.bottom(), mainScreen.bottom()));
    frame.moveLeft(std::max(frame.left(), mainScreen.left()));
    frame.moveTop(std::max(frame.top(), mainScreen.top()));
    return frame;
}

void ToolWindowPlace::Apply(QWidget &tool, const QWidget &main, const QByteArray &remembered)
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
                               tool.size().grownBy(frame), mainFrame, mainScreen, screens);
    tool.setGeometry(place.marginsRemoved(frame));
}

} // namespace carteva
