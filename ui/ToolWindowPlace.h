// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>

class QWidget;

namespace carteva {

// Where a tool window opens, so that it leaves the map in sight: beside the main window, to its
// right, left, below or above, wherever the main window's screen has room for it; without room,
// in the corner of that screen that covers none of `keepClear` (the picture's middle, the pointer
// readout, the entry fields) and as little of the main window as can be. A remembered place is
// kept while it lies wholly on one of the screens and still meets that rule. Frames are
// window-system frames, title bar included; all rectangles are in global coordinates.
struct ToolWindowPlace
{
    // The frame for a tool window of `size`. `remembered` is empty when there is none;
    // `screens` are the screens' available areas; `mainScreen` that of the main window's.
    static QRect Choose(const QRect &remembered, QSize size, const QRect &mainFrame,
                        const QRect &mainScreen, const QList<QRect> &screens,
                        const QList<QRect> &keepClear = {});
    // Places `tool`, not shown yet, beside `main`; `remembered` is what saveGeometry gave.
    static void Apply(QWidget &tool, const QWidget &main, const QByteArray &remembered,
                      const QList<QRect> &keepClear = {});
};

} // namespace carteva
