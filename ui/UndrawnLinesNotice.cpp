// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/UndrawnLinesNotice.h"

#include <QAction>

#include <utility>

namespace carteva {

UndrawnLinesNotice::UndrawnLinesNotice(QWidget &window, QLabel &readout, QAction &drawLines)
    : QLabel(&window)
    , readout_(readout)
    , linesText_(QStringLiteral("This file's tracks and routes are not drawn: tick \"Draw tracks "
                                "and routes\" in the GPX dialog or the picture's menu, and load "
                                "it again."))
{
    setObjectName(QStringLiteral("UndrawnLinesNotice"));
    // In the strip between the top panel and the picture, clear of both.
    move(16, 42);
    setText(linesText_);
    adjustSize();
    hide();
    connect(&drawLines, &QAction::toggled, this, [this](bool on) {
        if (!on)
            return;
        readout_.setToolTip(QString());
        linesUp_ = false;
        if (!saying_)
            hide();
    });
}

void UndrawnLinesNotice::Show(const QString &text)
{
    setText(text);
    adjustSize();
    show();
    raise();
}

void UndrawnLinesNotice::Tell()
{
    if (std::exchange(told_, true))
        return;
    readout_.setToolTip(linesText_);
    linesUp_ = true;
    if (!saying_)
        Show(linesText_);
}

void UndrawnLinesNotice::TellOutside(const OverlaySighting &sighting)
{
    if (sighting.inside > 0 || sighting.waypointsOutside + sighting.linePointsOutside == 0)
        return;
    QStringList counts;
    if (sighting.waypointsOutside > 0)
        counts << QStringLiteral("%1 %2").arg(sighting.waypointsOutside).arg(
            sighting.waypointsOutside == 1 ? QStringLiteral("waypoint") : QStringLiteral("waypoints"));
    if (sighting.linePointsOutside > 0)
        counts << QStringLiteral("%1 %2").arg(sighting.linePointsOutside).arg(
            sighting.linePointsOutside == 1 ? QStringLiteral("track or route point")
                                            : QStringLiteral("track and route points"));
    saying_ = true;
    Show(QStringLiteral("All points of this file lie outside the picture: %1.")
             .arg(counts.join(QStringLiteral(" and "))));
}

void UndrawnLinesNotice::Withdraw()
{
    if (!std::exchange(saying_, false))
        return;
    if (linesUp_)
        Show(linesText_);
    else
        hide();
}

} // namespace carteva
