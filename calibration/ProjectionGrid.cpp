// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/ProjectionGrid.h"

#include <cmath>

namespace carteva {

namespace {

// The quadratic through 0, 1/2 and 1: the weight of each of the three at s.
void Weights(double s, double (&w)[3])
{
    w[0] = 2 * (s - 0.5) * (s - 1);
    w[1] = -4 * s * (s - 1);
    w[2] = 2 * s * (s - 0.5);
}

} // namespace

ProjectionGrid::ProjectionGrid(const MapProjection &projection, double south, double west,
                               double cellLat, double cellLon, int rows, int columns,
                               double tolerance)
    : projection_(projection)
    , south_(south)
    , west_(west)
    , cellLat_(cellLat)
    , cellLon_(cellLon)
    , rows_(rows)
    , columns_(columns)
    , tolerance_(tolerance)
    , cells_(std::size_t(rows) * std::size_t(columns))
{ }

PlanePoint ProjectionGrid::Interpolate(const Cell &cell, double s, double t)
{
    double ws[3], wt[3];
    Weights(s, ws);
    Weights(t, wt);
    double e = 0, n = 0;
    for (int j = 0; j < 3; ++j) {
        double rowE = 0, rowN = 0;
        for (int i = 0; i < 3; ++i) {
            rowE += ws[i] * cell.E[3 * j + i];
            rowN += ws[i] * cell.N[3 * j + i];
        }
        e += wt[j] * rowE;
        n += wt[j] * rowN;
    }
    return {e, n};
}

void ProjectionGrid::Prepare(Cell &cell, int row, int column) const
{
    cell.Is = Cell::State::Exact;
    const double lat0 = south_ + row * cellLat_, lon0 = west_ + column * cellLon_;
    for (int j = 0; j < 3; ++j) {
        for (int i = 0; i < 3; ++i) {
            const std::optional<PlanePoint> p
                = projection_.Forward(lat0 + j * cellLat_ / 2, lon0 + i * cellLon_ / 2);
            if (!p)
                return;
            cell.E[3 * j + i] = p->E;
            cell.N[3 * j + i] = p->N;
        }
    }
    for (const double t : {0.25, 0.75}) {
        for (const double s : {0.25, 0.75}) {
            const std::optional<PlanePoint> p
                = projection_.Forward(lat0 + t * cellLat_, lon0 + s * cellLon_);
            const PlanePoint q = Interpolate(cell, s, t);
            if (!p || !(std::hypot(p->E - q.E, p->N - q.N) <= tolerance_))
                return;
        }
    }
    cell.Is = Cell::State::Interpolated;
}

std::optional<PlanePoint> ProjectionGrid::Forward(double lat, double lon, bool &exact) const
{
    const double row = std::floor((lat - south_) / cellLat_);
    const double column = std::floor((lon - west_) / cellLon_);
    // False for NaN too.
    if (row >= 0 && row < rows_ && column >= 0 && column < columns_) {
        Cell &cell = cells_[std::size_t(row) * std::size_t(columns_) + std::size_t(column)];
        if (cell.Is == Cell::State::Unknown)
            Prepare(cell, int(row), int(column));
        if (cell.Is == Cell::State::Interpolated) {
            exact = false;
            return Interpolate(cell, (lon - west_) / cellLon_ - column,
                               (lat - south_) / cellLat_ - row);
        }
    }
    exact = true;
    return projection_.Forward(lat, lon);
}

} // namespace carteva
