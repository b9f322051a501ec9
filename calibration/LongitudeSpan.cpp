// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/LongitudeSpan.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace carteva {

Extended LongitudeSpan::Centre() const
{
    const Extended centre = (West + East) / 2;
    return centre >= 180 ? centre - 360 : centre;
}

std::optional<LongitudeSpan> LongitudeSpan::Of(std::span<const TCalibPoint> points)
{
    LongitudeSpan span;
    std::vector<Extended> lons;
    for (const TCalibPoint &point : points) {
        if (!std::isfinite(point.Lat) || !std::isfinite(point.Lon) || std::fabs(point.Lon) > 180)
            continue;
        lons.push_back(point.Lon == 180 ? Extended(-180) : point.Lon);
        span.SumLat += point.Lat;
        span.South = std::min(span.South, point.Lat);
        span.North = std::max(span.North, point.Lat);
        ++span.Count;
    }
    if (lons.empty())
        return std::nullopt;
    std::sort(lons.begin(), lons.end());
    // The band is the circle less its widest gap between neighbouring longitudes; the gap that
    // closes the circle (from the most eastern round to the most western) comes first, so that a
    // band not crossing 180° is preferred among equals.
    Extended widest = lons.front() + 360 - lons.back();
    span.West = lons.front();
    span.East = lons.back();
    for (std::size_t i = 1; i < lons.size(); ++i) {
        if (lons[i] - lons[i - 1] > widest) {
            widest = lons[i] - lons[i - 1];
            span.West = lons[i];
            span.East = lons[i - 1] + 360;
        }
    }
    Extended sum = 0;
    for (const Extended lon : lons)
        sum += lon < span.West ? lon + 360 : lon;
    span.MeanLon = sum / Extended(lons.size());
    if (span.MeanLon >= 180)
        span.MeanLon -= 360;
    return span;
}

} // namespace carteva
