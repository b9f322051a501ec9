// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/Residuals.h"

#include <QPointF>
#include <QRect>
#include <QSize>
#include <QString>

#include <span>
#include <vector>

class QPainter;

namespace carteva {

// The fit on the picture: each point's residual as a line from its mark towards the pixel the
// mapping gives its position, lengthened by one scale for all so that the largest is clearly
// seen, and a ring around each suspect point. Painted over the picture in picture pixels.
class ResidualLayer
{
public:
    // The largest residual is drawn at least this long in picture pixels (more on a large
    // picture), by the smallest scale of 1, 2 or 5 times a power of ten that does it.
    static constexpr double ShortestLongest = 40;

    // Takes the residuals of `points` (one entry of `report` each) on a picture of `size`.
    void Rebuild(std::span<const TCalibPoint> points, const ResidualReport &report, QSize size);
    // `painter` draws in picture pixels; `inSight` is the part of the picture in sight.
    void Paint(QPainter &painter, const QRect &inSight) const;

    // How many times their length the lines are drawn; 0 when there is nothing to draw.
    double Scale() const { return scale_; }
    // The scale in words for the points window; empty when nothing is drawn.
    QString ScaleText() const;

private:
    struct Drawn
    {
        QPointF from, to;
        bool suspect = false;
    };
    std::vector<Drawn> drawn_;
    double scale_ = 0;
};

} // namespace carteva
