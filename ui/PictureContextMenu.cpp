// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/PictureContextMenu.h"

#include "calibration/NumberText.h"
#include "ui/CalibrationDocument.h"
#include "ui/ErrorHandler.h"
#include "ui/MappingChoice.h"
#include "ui/PictureView.h"
#include "ui/TextCrossing.h"
#include "ui/UserSettings.h"

#include <QAction>
#include <QMenu>

#include <algorithm>
#include <array>
#include <cmath>

namespace carteva {

namespace {

const QString ShowResidualsKey = QStringLiteral("picture/showResiduals");

// Distance from a position to the view square of one picture pixel; 0 inside it.
double DistanceToPixel(QPointF position, double x, double y, double zoom)
{
    const double left = x * zoom, top = y * zoom;
    const double dx = std::max({left - position.x(), 0.0, position.x() - (left + zoom)});
    const double dy = std::max({top - position.y(), 0.0, position.y() - (top + zoom)});
    return std::hypot(dx, dy);
}

} // namespace

PictureContextMenu::PictureContextMenu(QWidget &window, PictureView &view,
                                       CalibrationDocument &document)
    : QObject(&window)
    , view_(view)
    , document_(document)
{
    const MappingChoice &mapping = document.Mapping();
    menu_ = new QMenu(&window);
    menu_->setObjectName(QStringLiteral("PictureMenu"));
    points_ = menu_->addAction(QStringLiteral("Points…"));
    points_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    points_->setShortcutContext(Qt::WindowShortcut);
    // On the window too, so that the key works whichever control has the focus.
    window.addAction(points_);
    remove_ = menu_->addAction(QStringLiteral("Remove point"));
    menu_->addSeparator();
    menu_->addAction(mapping.TwoNearestAction());
    menu_->addAction(mapping.BestFitAction());
    menu_->addAction(mapping.ProjectionAction());
    showResiduals_ = menu_->addAction(QStringLiteral("Show residuals"));
    showResiduals_->setCheckable(true);
    showResiduals_->setChecked(UserSettings().value(ShowResidualsKey, false).toBool());
    connect(showResiduals_, &QAction::toggled, this,
            [](bool on) { UserSettings().setValue(ShowResidualsKey, on); });
    menu_->addSeparator();
    clearWaypoints_ = menu_->addAction(QStringLiteral("Clear waypoints"));

    connect(points_, &QAction::triggered, this, &PictureContextMenu::PointsWindowRequested);
    connect(remove_, &QAction::triggered, this, [this] {
        Guarded([this] {
            if (target_)
                document_.Remove({*target_});
        });
    });
    connect(clearWaypoints_, &QAction::triggered, this,
            &PictureContextMenu::ClearWaypointsRequested);

    view.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&view, &QWidget::customContextMenuRequested, this, [this](QPoint position) {
        Prepare(position);
        menu_->popup(view_.mapToGlobal(position));
    });
}

void PictureContextMenu::AddAction(QAction *action)
{
    if (!added_)
        menu_->addSeparator();
    added_ = true;
    menu_->addAction(action);
}

void PictureContextMenu::Prepare(QPointF position)
{
    target_ = MarkNear(document_.Points(), position, view_.Zoom());
    remove_->setVisible(target_.has_value());
    if (target_) {
        const TCalibPoint &point = document_.Points()[*target_];
        remove_->setText(QStringLiteral("Remove point %1 x %2")
                             .arg(FromUtf16(FormatInteger(point.X)), FromUtf16(FormatInteger(point.Y))));
    }
}

std::optional<std::size_t> PictureContextMenu::MarkNear(std::span<const TCalibPoint> points,
                                                        QPointF position, double zoom)
{
    std::optional<std::size_t> best;
    double bestDistance = 0, bestToCentre = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double x = points[i].X, y = points[i].Y;
        double distance = DistanceToPixel(position, x, y, zoom);
        for (const auto &[dx, dy] : std::array<std::pair<int, int>, 4> {
                 std::pair {1, 0}, std::pair {-1, 0}, std::pair {0, 1}, std::pair {0, -1}})
            distance = std::min(distance, DistanceToPixel(position, x + dx, y + dy, zoom));
        if (distance > HitDistance)
            continue;
        const double toCentre
            = std::hypot(position.x() - (x + 0.5) * zoom, position.y() - (y + 0.5) * zoom);
        if (!best || distance < bestDistance
            || (distance == bestDistance && toCentre < bestToCentre)) {
            best = i;
            bestDistance = distance;
            bestToCentre = toCentre;
        }
    }
    return best;
}

} // namespace carteva
