// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/export/PointLayout.h"

#include <map>
#include <utility>

namespace carteva {

namespace {

// Whether the points spread over no more than a line: the correlation of the two coordinates
// is ±1 (or one of them does not vary). Within rounding, since positions are decimal fractions.
template<class U, class V>
bool OnOneLine(std::span<const ExportPoint> points, U u, V v)
{
    long double meanU = 0, meanV = 0;
    for (const ExportPoint &point : points) {
        meanU += u(point);
        meanV += v(point);
    }
    const auto n = static_cast<long double>(points.size());
    meanU /= n;
    meanV /= n;
    long double suu = 0, svv = 0, suv = 0;
    for (const ExportPoint &point : points) {
        const long double du = u(point) - meanU, dv = v(point) - meanV;
        suu += du * du;
        svv += dv * dv;
        suv += du * dv;
    }
    return !(suu * svv - suv * suv > 1e-12L * suu * svv);
}

} // namespace

std::vector<std::string> PointLayout::Findings(std::span<const ExportPoint> points)
{
    std::vector<std::string> findings;
    // Only the first point of a pixel is the one the window finds and edits.
    std::map<std::pair<std::int32_t, std::int32_t>, std::size_t> firstAt;
    for (const ExportPoint &point : points) {
        const auto [first, isNew] = firstAt.emplace(std::pair(point.X, point.Y), point.Record);
        if (!isNew)
            findings.push_back("records " + std::to_string(first->second) + " and "
                               + std::to_string(point.Record) + " are both at pixel "
                               + std::to_string(point.X) + ", " + std::to_string(point.Y));
    }
    // Two points always lie on a line; the point count has its own warning.
    if (points.size() < 3)
        return findings;
    if (OnOneLine(points, [](const ExportPoint &p) { return static_cast<long double>(p.X); },
                  [](const ExportPoint &p) { return static_cast<long double>(p.Y); }))
        findings.push_back("all points lie on one line on the picture: no transform can be "
                           "fitted through them");
    else if (OnOneLine(points, [](const ExportPoint &p) { return p.ExactLon; },
                       [](const ExportPoint &p) { return p.ExactLat; }))
        findings.push_back("all points lie on one line on the ground: no transform can be "
                           "fitted through them");
    return findings;
}

} // namespace carteva
