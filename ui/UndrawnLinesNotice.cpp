// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/UndrawnLinesNotice.h"

#include <QAction>

#include <utility>

namespace carteva {

UndrawnLinesNotice::UndrawnLinesNotice(QWidget &window, QLabel &readout, QAction &drawLines)
    : QLabel(QStringLiteral("This file's tracks and routes are not drawn: tick \"Draw tracks and "
                            "routes\" in the GPX dialog or the picture's menu, and load it again."),
             &window)
    , readout_(readout)
{
    setObjectName(QStringLiteral("UndrawnLinesNotice"));
    // In the strip between the top panel and the picture, clear of both.
    move(16, 42);
    adjustSize();
    hide();
    connect(&drawLines, &QAction::toggled, this, [this](bool on) {
        if (!on)
            return;
        hide();
        readout_.setToolTip(QString());
    });
}

void UndrawnLinesNotice::Tell()
{
    if (std::exchange(told_, true))
        return;
    readout_.setToolTip(text());
    show();
    raise();
}

} // namespace carteva
