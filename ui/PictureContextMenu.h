// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"

#include <QObject>
#include <QPointF>

#include <cstddef>
#include <optional>
#include <span>

class QAction;
class QMenu;
class QWidget;

namespace carteva {

class CalibrationDocument;
class PictureView;

// The picture's right-button menu: the points window, removing the point under the pointer, the
// mapping, clearing the waypoints, and whatever other parts of the window add. The left button is
// the picture's own.
class PictureContextMenu : public QObject
{
    Q_OBJECT
public:
    // A mark this close to the pointer, in the view's pixels, counts as hit.
    static constexpr double HitDistance = 4;

    // The menu belongs to `window`, whose keys also open the points window.
    PictureContextMenu(QWidget &window, PictureView &view, CalibrationDocument &document);

    // Appends an action to the menu (after a separator, for the first one added).
    void AddAction(QAction *action);

    // Sets the menu up for a right click at `position` (view coordinates), as showing it does.
    void Prepare(QPointF position);
    QMenu &Menu() const { return *menu_; }
    QAction *PointsAction() const { return points_; }
    QAction *RemoveAction() const { return remove_; }
    // "Show residuals": checked, the fit is drawn on the picture; remembered for the next start.
    QAction *ShowResidualsAction() const { return showResiduals_; }

    // The point whose mark lies nearest to `position` in a view at `zoom`, if within HitDistance:
    // the distance is to the nearest of the mark's five pixels; of equals, the one whose centre is
    // nearer, then the first in the list.
    static std::optional<std::size_t> MarkNear(std::span<const TCalibPoint> points,
                                               QPointF position, double zoom);

signals:
    void PointsWindowRequested();
    void ClearWaypointsRequested();

private:
    PictureView &view_;
    CalibrationDocument &document_;
    QMenu *menu_ = nullptr;
    QAction *points_ = nullptr;
    QAction *remove_ = nullptr;
    QAction *clearWaypoints_ = nullptr;
    QAction *showResiduals_ = nullptr;
    bool added_ = false;
    std::optional<std::size_t> target_;
};

} // namespace carteva
