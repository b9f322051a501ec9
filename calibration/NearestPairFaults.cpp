// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/NearestPairFaults.h"

#include <cstdint>

namespace carteva {

namespace {

bool Separated(std::int32_t a, std::int32_t b)
{
    const std::int64_t d = std::int64_t(a) - std::int64_t(b);
    return d > 30 || d < -30;
}

} // namespace

std::vector<NearestPairFault> FindNearestPairFaults(std::span<const TCalibPoint> points,
                                                    std::size_t limit)
{
    std::vector<NearestPairFault> faults;
    if (points.size() > NearestPairFaultsMaxPoints)
        return faults;
    for (std::size_t i = 0; i < points.size() && faults.size() < limit; ++i) {
        for (std::size_t j = i + 1; j < points.size() && faults.size() < limit; ++j) {
            const TCalibPoint &p = points[i], &q = points[j];
            if (!Separated(p.X, q.X) || !Separated(p.Y, q.Y))
                continue;
            if (p.Lat == q.Lat || p.Lon == q.Lon)
                faults.push_back({i, j, p.Lat == q.Lat});
        }
    }
    return faults;
}

} // namespace carteva
