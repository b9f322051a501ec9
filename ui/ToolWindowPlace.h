// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>

class QWidget;

namespace carteva {

// Where a tool window beside the main window opens: a remembered place while it still lies
// wholly on one of the screens, otherwise to the right of the main window, pushed back as far
// as it takes to lie wholly on the main window's screen (a maximised main window leaves no room
// to its right). Frames are window-system frames, title bar included.
struct ToolWindowPlace
{
    // The frame for a tool window of `size`. `remembered` is empty when there is none;
    // `screens` are the screens' available areas; `mainScreen` that of the main window's.
    static QRect Choose(const QRect &remembered, QSize size, const QRect &mainFrame,
                        const QRect &mainScreen, const QList<QRect> &screens);
    // Places `tool`, not shown yet, beside `main`; `remembered` is what saveGeometry gave.
    static void Apply(QWidget &tool, const QWidget &main, const QByteArray &remembered);
};

} // namespace carteva
