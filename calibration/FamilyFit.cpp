// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/FamilyFit.h"

#include "calibration/BestFit.h"
#include "calibration/Errors.h"
#include "calibration/LongitudeSpan.h"
#include "calibration/MapProjection.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace carteva {

namespace {

constexpr double Infinite = std::numeric_limits<double>::infinity();
constexpr int MaximumSteps = 120;

struct Family
{
    const char *Name;
    int Parameters; // 1 or 2
    // The definition for the parameters; the points' mean position for those not searched.
    std::string (*Definition)(const double *p, double lat, double lon);
    // Where the search starts.
    std::array<double, 2> (*Start)(const LongitudeSpan &span);
    std::array<double, 2> Step;
};

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

const std::string Tail = " +ellps=WGS84 +units=m +no_defs +type=crs";

const Family Families[] = {
    {"transverse Mercator", 1,
     [](const double *p, double, double) {
         return "+proj=tmerc +lat_0=0 +lon_0=" + Number(p[0]) + " +k=1 +x_0=0 +y_0=0" + Tail;
     },
     [](const LongitudeSpan &s) { return std::array<double, 2> {double(s.MeanLon), 0}; },
     {3, 0}},
    {"Lambert conformal conic", 1,
     [](const double *p, double, double lon) {
         return "+proj=lcc +lat_1=" + Number(p[0]) + " +lat_2=" + Number(p[0]) + " +lat_0="
             + Number(p[0]) + " +lon_0=" + Number(lon) + " +x_0=0 +y_0=0" + Tail;
     },
     [](const LongitudeSpan &s) { return std::array<double, 2> {double(s.MeanLat()), 0}; },
     {5, 0}},
    {"Albers equal-area conic", 2,
     [](const double *p, double lat, double lon) {
         return "+proj=aea +lat_1=" + Number(p[0]) + " +lat_2=" + Number(p[1]) + " +lat_0="
             + Number(lat) + " +lon_0=" + Number(lon) + " +x_0=0 +y_0=0" + Tail;
     },
     [](const LongitudeSpan &s) {
         return std::array<double, 2> {double(s.South), double(s.North)};
     },
     {3, 3}},
    {"stereographic", 2,
     [](const double *p, double, double) {
         return "+proj=stere +lat_0=" + Number(p[0]) + " +lon_0=" + Number(p[1])
             + " +k=1 +x_0=0 +y_0=0" + Tail;
     },
     [](const LongitudeSpan &s) {
         return std::array<double, 2> {double(s.MeanLat()), double(s.MeanLon)};
     },
     {5, 5}},
    {"azimuthal equidistant", 2,
     [](const double *p, double, double) {
         return "+proj=aeqd +lat_0=" + Number(p[0]) + " +lon_0=" + Number(p[1]) + " +x_0=0 +y_0=0"
             + Tail;
     },
     [](const LongitudeSpan &s) {
         return std::array<double, 2> {double(s.MeanLat()), double(s.MeanLon)};
     },
     {5, 5}},
    {"Lambert azimuthal equal-area", 2,
     [](const double *p, double, double) {
         return "+proj=laea +lat_0=" + Number(p[0]) + " +lon_0=" + Number(p[1]) + " +x_0=0 +y_0=0"
             + Tail;
     },
     [](const LongitudeSpan &s) {
         return std::array<double, 2> {double(s.MeanLat()), double(s.MeanLon)};
     },
     {5, 5}},
};

// The sum of squared pixel residuals of the least-squares affine transform from the plane to the
// pixels: what the family's parameters are fitted to.
double AffineMisfit(std::span<const TCalibPoint> points, const MapProjection &projection)
{
    const std::size_t n = points.size();
    std::vector<std::array<double, 2>> plane(n);
    double meanE = 0, meanN = 0, meanX = 0, meanY = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::optional<PlanePoint> p = projection.Forward(points[i].Lat, points[i].Lon);
        if (!p)
            return Infinite;
        plane[i] = {p->E, p->N};
        meanE += p->E / double(n);
        meanN += p->N / double(n);
        meanX += points[i].X / double(n);
        meanY += points[i].Y / double(n);
    }
    double see = 0, sen = 0, snn = 0, sxe = 0, sxn = 0, sye = 0, syn = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double e = plane[i][0] - meanE, m = plane[i][1] - meanN;
        const double x = points[i].X - meanX, y = points[i].Y - meanY;
        see += e * e;
        sen += e * m;
        snn += m * m;
        sxe += x * e;
        sxn += x * m;
        sye += y * e;
        syn += y * m;
    }
    const double det = see * snn - sen * sen;
    if (!(det > 0) || !std::isfinite(det))
        return Infinite;
    const double ax = (snn * sxe - sen * sxn) / det, bx = (see * sxn - sen * sxe) / det;
    const double ay = (snn * sye - sen * syn) / det, by = (see * syn - sen * sye) / det;
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double e = plane[i][0] - meanE, m = plane[i][1] - meanN;
        const double dx = ax * e + bx * m - (points[i].X - meanX);
        const double dy = ay * e + by * m - (points[i].Y - meanY);
        sum += dx * dx + dy * dy;
    }
    return std::isfinite(sum) ? sum : Infinite;
}

} // namespace

std::optional<std::vector<RankedProjection>>
FamilyFit::Fit(std::span<const TCalibPoint> points, pj_ctx *context,
               const std::function<bool()> &keepGoing)
{
    std::vector<RankedProjection> fitted;
    const std::optional<LongitudeSpan> span = LongitudeSpan::Of(points);
    if (!span)
        return fitted;
    const double lat = double(span->MeanLat()), lon = double(span->MeanLon);
    for (const Family &family : Families) {
        if (points.size() < std::size_t(family.Parameters) + 4 + SparePoints)
            continue;
        const int d = family.Parameters;
        const auto misfit = [&](const std::array<double, 2> &p) {
            if (std::fabs(p[0]) > 90 || std::fabs(p[1]) > 360)
                return Infinite;
            try {
                const MapProjection projection(family.Definition(p.data(), lat, lon),
                                               MapProjection::OwnDatum::Yes, context);
                return AffineMisfit(points, projection);
            } catch (const Error &) {
                return Infinite;
            }
        };
        // Nelder and Mead's simplex: d + 1 corners, reflected, expanded and shrunk.
        std::vector<std::array<double, 2>> corner(std::size_t(d) + 1, family.Start(*span));
        for (int k = 0; k < d; ++k)
            corner[std::size_t(k) + 1][std::size_t(k)] += family.Step[std::size_t(k)];
        std::vector<double> value(corner.size());
        for (std::size_t k = 0; k < corner.size(); ++k)
            value[k] = misfit(corner[k]);
        for (int step = 0; step < MaximumSteps; ++step) {
            if (keepGoing && !keepGoing())
                return std::nullopt;
            std::vector<std::size_t> order(corner.size());
            for (std::size_t k = 0; k < order.size(); ++k)
                order[k] = k;
            std::sort(order.begin(), order.end(),
                      [&](std::size_t a, std::size_t b) { return value[a] < value[b]; });
            const std::size_t best = order.front(), worst = order.back();
            double size = 0;
            for (int k = 0; k < d; ++k)
                size = std::max(size, std::fabs(corner[worst][std::size_t(k)]
                                                - corner[best][std::size_t(k)]));
            if (size < 1e-7)
                break;
            std::array<double, 2> centre {0, 0};
            for (const std::size_t k : order) {
                if (k == worst)
                    continue;
                for (int j = 0; j < d; ++j)
                    centre[std::size_t(j)] += corner[k][std::size_t(j)] / d;
            }
            const auto along = [&](double t) {
                std::array<double, 2> p = centre;
                for (int j = 0; j < d; ++j)
                    p[std::size_t(j)] += t * (corner[worst][std::size_t(j)] - centre[std::size_t(j)]);
                return p;
            };
            const std::array<double, 2> reflected = along(-1);
            const double r = misfit(reflected);
            if (r < value[best]) {
                const std::array<double, 2> expanded = along(-2);
                const double e = misfit(expanded);
                corner[worst] = e < r ? expanded : reflected;
                value[worst] = std::min(e, r);
            } else if (r < value[order[order.size() - 2]]) {
                corner[worst] = reflected;
                value[worst] = r;
            } else {
                const std::array<double, 2> contracted = along(0.5);
                const double c = misfit(contracted);
                if (c < value[worst]) {
                    corner[worst] = contracted;
                    value[worst] = c;
                } else {
                    for (const std::size_t k : order) {
                        if (k == best)
                            continue;
                        for (int j = 0; j < d; ++j)
                            corner[k][std::size_t(j)]
                                = (corner[k][std::size_t(j)] + corner[best][std::size_t(j)]) / 2;
                        value[k] = misfit(corner[k]);
                    }
                }
            }
        }
        const std::size_t best = std::size_t(
            std::min_element(value.begin(), value.end()) - value.begin());
        if (!std::isfinite(value[best]))
            continue;
        try {
            const std::string definition = family.Definition(corner[best].data(), lat, lon);
            const MapProjection projection(definition, context);
            const BestFit fit(points, &projection);
            double sum = 0, worst = 0;
            std::size_t known = 0, worstPoint = 0;
            for (std::size_t i = 0; i < fit.LeaveOneOut().size(); ++i) {
                if (const std::optional<double> &left = fit.LeaveOneOut()[i]) {
                    sum += *left * *left;
                    ++known;
                    if (*left >= worst) {
                        worst = *left;
                        worstPoint = i;
                    }
                }
            }
            if (!fit.Reason().empty() || known == 0)
                continue;
            RankedProjection row;
            row.Definition = definition.substr(0, definition.size() - std::string(" +type=crs").size());
            row.Name = std::string(family.Name) + ", fitted to the points";
            row.HeldOutRms = std::sqrt(sum / double(known));
            row.HeldOutWorst = worst;
            row.WorstPoint = worstPoint;
            row.Model = fit.Summary();
            fitted.push_back(std::move(row));
        } catch (const Error &) {
        }
    }
    return fitted;
}

} // namespace carteva
