// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/MapProjection.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace carteva {

// A projection approximated over an area, for mapping many positions: PROJ takes about 1.9 µs a
// position, which would double the time of an overlay of a million waypoints. The area is cut
// into cells; each cell, when a position first falls in it, is projected exactly at nine points
// (corners, edge middles, centre) and interpolated between them by a quadratic in each direction,
// then checked at four more points. A cell whose check misses by more than the tolerance, and
// every position outside the area, is projected exactly.
class ProjectionGrid
{
public:
    // `tolerance` in the plane's units; the area runs from (south, west) over `rows` × `columns`
    // cells of the given size in degrees.
    ProjectionGrid(const MapProjection &projection, double south, double west, double cellLat,
                   double cellLon, int rows, int columns, double tolerance);

    // The position in the plane; `exact` tells whether PROJ computed it.
    std::optional<PlanePoint> Forward(double lat, double lon, bool &exact) const;

private:
    struct Cell
    {
        enum class State : std::uint8_t { Unknown, Interpolated, Exact };
        State Is = State::Unknown;
        double E[9];
        double N[9];
    };
    void Prepare(Cell &cell, int row, int column) const;
    static PlanePoint Interpolate(const Cell &cell, double s, double t);

    const MapProjection &projection_;
    double south_, west_, cellLat_, cellLon_;
    int rows_, columns_;
    double tolerance_;
    mutable std::vector<Cell> cells_;
};

} // namespace carteva
