// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/ResidualLayer.h"

#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace carteva {

namespace {

// Radius of the ring around a suspect point, in screen pixels: beyond the 3-pixel mark at zoom 4.
constexpr double RingRadius = 9;

// The smallest of 1, 2 and 5 times a power of ten that is at least `least`: the longest line then
// runs between once and two and a half times its shortest length.
double RoundScale(double least)
{
    const double power = std::pow(10.0, std::floor(std::log10(least)));
    for (const double step : {1.0, 2.0, 5.0})
        if (step * power >= least)
            return step * power;
    return 10 * power;
}

} // namespace

void ResidualLayer::Rebuild(std::span<const TCalibPoint> points, const ResidualReport &report,
                            QSize size)
{
    drawn_.clear();
    scale_ = 0;
    double largest = 0;
    for (std::size_t i = 0; i < points.size() && i < report.Points.size(); ++i)
        if (report.Points[i].Known && std::isfinite(report.Points[i].Pixels))
            largest = std::max(largest, report.Points[i].Pixels);
    // A tenth of the picture's shorter side, so that a large scan's lines are not lost in it.
    const double longest = std::max(ShortestLongest, std::min(size.width(), size.height()) / 10.0);
    if (largest > 0)
        scale_ = RoundScale(longest / largest);
    for (std::size_t i = 0; i < points.size() && i < report.Points.size(); ++i) {
        const PointResidual &residual = report.Points[i];
        const QPointF mark(points[i].X + 0.5, points[i].Y + 0.5);
        Drawn drawn {mark, mark, residual.Suspect};
        if (residual.Known && std::isfinite(residual.Pixels))
            drawn.to = mark + QPointF(residual.DX, residual.DY) * scale_;
        if (drawn.to != drawn.from || drawn.suspect)
            drawn_.push_back(drawn);
    }
}

void ResidualLayer::Paint(QPainter &painter, const QRect &inSight) const
{
    if (drawn_.empty())
        return;
    const QRectF sight = QRectF(inSight);
    const double ring = RingRadius / std::max(painter.transform().m11(), 1e-9);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    // Cosmetic pens: as wide on the screen at any zoom. Blue shows on the red marks and on most
    // maps' colours; a white edge under it on the dark ones.
    QPen edge(Qt::white, 3);
    edge.setCosmetic(true);
    QPen line(QColor(0, 90, 255), 1);
    line.setCosmetic(true);
    QPen suspect(QColor(255, 0, 255), 2);
    suspect.setCosmetic(true);
    for (const Drawn &drawn : drawn_) {
        const QRectF reach = QRectF(drawn.from, drawn.to).normalized().adjusted(-ring, -ring, ring, ring);
        if (!reach.intersects(sight))
            continue;
        if (drawn.to != drawn.from) {
            painter.setPen(edge);
            painter.drawLine(drawn.from, drawn.to);
            painter.setPen(line);
            painter.drawLine(drawn.from, drawn.to);
        }
        if (drawn.suspect) {
            painter.setPen(suspect);
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(drawn.from, ring, ring);
        }
    }
    painter.restore();
}

QString ResidualLayer::ScaleText() const
{
    if (drawn_.empty() || scale_ == 0)
        return QString();
    return QStringLiteral("Residuals on the picture: drawn %1 times their length")
        .arg(scale_, 0, 'g', 6);
}

} // namespace carteva
