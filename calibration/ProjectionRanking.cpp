// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/ProjectionRanking.h"

#include "calibration/BestFit.h"
#include "calibration/Errors.h"
#include "calibration/FamilyFit.h"
#include "calibration/LongitudeSpan.h"
#include "calibration/MapProjection.h"
#include "calibration/ProjectionCatalogue.h"

#include <algorithm>
#include <cmath>
#include <proj.h>

#include <map>
#include <memory>
#include <set>

namespace carteva {

namespace {

// A fitted family is offered only when it beats every listed system clearly.
constexpr double FamilyFactor = 0.5;
constexpr double FamilyPixels = 0.05;
// Candidates are told apart by the pixels they give positions spread over the points' area.
constexpr int SamplesAcross = 5;

struct Judged
{
    RankedProjection Row;
    std::vector<PixelPoint> Samples;
    bool Preferred = false; // an EPSG code: the name most people know the system by
    double AreaSize = 0; // square degrees of the area of use: the smaller, the more the sheet's own
    bool HoldsStrictly = false; // the area of use holds the points without a margin
};

double SizeOf(double west, double south, double east, double north)
{
    return (east < west ? east + 360 - west : east - west) * (north - south);
}

// Of systems that place the sheet alike, the one to name: an EPSG one, then one whose area holds the points as it
// stands, then the one made for the smallest area (the country's grid rather than a continent's).
bool NamesBetter(const Judged &a, const Judged &b)
{
    if (a.Preferred != b.Preferred)
        return a.Preferred;
    if (a.HoldsStrictly != b.HoldsStrictly)
        return a.HoldsStrictly;
    return a.AreaSize < b.AreaSize;
}

std::vector<GeoPosition> SamplePositions(const LongitudeSpan &span)
{
    std::vector<GeoPosition> positions;
    for (int j = 0; j < SamplesAcross; ++j) {
        for (int i = 0; i < SamplesAcross; ++i) {
            const Extended lat = span.South + (span.North - span.South) * j / (SamplesAcross - 1);
            Extended lon = span.West + (span.East - span.West) * i / (SamplesAcross - 1);
            positions.push_back({lat, lon > 180 ? lon - 360 : lon});
        }
    }
    return positions;
}

std::optional<Judged> Judge(std::span<const TCalibPoint> points, const MapProjection *projection,
                            const std::vector<GeoPosition> &samples)
{
    const BestFit fit(points, projection);
    if (!fit.Reason().empty())
        return std::nullopt;
    Judged judged;
    double sumSquares = 0;
    std::size_t known = 0;
    const auto &leftOut = fit.LeaveOneOut();
    for (std::size_t i = 0; i < leftOut.size(); ++i) {
        if (!leftOut[i])
            continue;
        sumSquares += *leftOut[i] * *leftOut[i];
        ++known;
        if (*leftOut[i] >= judged.Row.HeldOutWorst) {
            judged.Row.HeldOutWorst = *leftOut[i];
            judged.Row.WorstPoint = i;
        }
    }
    if (known == 0)
        return std::nullopt;
    judged.Row.HeldOutRms = std::sqrt(sumSquares / double(known));
    judged.Row.Model = fit.Summary();
    for (const GeoPosition &position : samples) {
        const std::optional<PixelPoint> pixel = fit.GeoToPixel(position.Lat, position.Lon);
        if (!pixel)
            return std::nullopt;
        judged.Samples.push_back(*pixel);
    }
    return judged;
}

bool SamePlacing(const Judged &a, const Judged &b)
{
    for (std::size_t i = 0; i < a.Samples.size(); ++i) {
        if (std::hypot(a.Samples[i].X - b.Samples[i].X, a.Samples[i].Y - b.Samples[i].Y)
            > ProjectionRanking::SamePixels)
            return false;
    }
    return true;
}

std::string OtherHemisphere(const std::string &utm)
{
    // EPSG:326zz (north) and EPSG:327zz (south).
    std::string other = utm;
    other[7] = other[7] == '6' ? '7' : '6';
    return other;
}

} // namespace

std::optional<std::vector<RankedProjection>>
ProjectionRanking::Rank(std::span<const TCalibPoint> points, const Progress &progress,
                        bool families)
{
    std::vector<TCalibPoint> usable;
    for (const TCalibPoint &point : points) {
        if (BestFit::HasFinitePosition(point) && std::fabs(point.Lon) <= 180
            && std::fabs(point.Lat) <= 90)
            usable.push_back(point);
    }
    const std::optional<LongitudeSpan> span = LongitudeSpan::Of(usable);
    if (usable.size() < MinimumPoints || !span)
        return std::vector<RankedProjection> {};

    struct Candidate
    {
        std::string Definition, Name, Area;
        double AreaSize = 360 * 180;
        bool HoldsStrictly = true;
    };
    std::vector<Candidate> candidates {{"", "Degrees (none)", ""},
                                       {MapProjection::WebMercator, "", ""}};
    const std::string utm = MapProjection::UtmFor(usable);
    candidates.push_back({utm, "", ""});
    candidates.push_back({OtherHemisphere(utm), "", ""});
    std::set<std::string> seen {MapProjection::WebMercator, utm, OtherHemisphere(utm)};
    for (CatalogueEntry &entry : ProjectionCatalogue::Read()) {
        if (entry.Geographic || !entry.Holds(*span, AreaMarginDegrees)
            || !seen.insert(entry.Code).second)
            continue;
        candidates.push_back({std::move(entry.Code), std::move(entry.Name),
                              std::move(entry.AreaName),
                              SizeOf(entry.West, entry.South, entry.East, entry.North),
                              entry.Holds(*span, 0)});
    }

    // Points are judged in the order given back to the caller: indices into `points`.
    std::vector<std::size_t> indices;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (BestFit::HasFinitePosition(points[i]) && std::fabs(points[i].Lon) <= 180
            && std::fabs(points[i].Lat) <= 90)
            indices.push_back(i);
    }
    const std::vector<GeoPosition> samples = SamplePositions(*span);
    // A candidate is weighed through its projection's conversion alone, on the points brought
    // once onto its datum: as exact as the whole way from WGS 84, at a tenth of the cost.
    struct OnDatum
    {
        std::vector<TCalibPoint> Points;
        std::vector<GeoPosition> Samples;
    };
    std::map<std::string, std::optional<OnDatum>> datums;
    // One context for all: PROJ keeps its database's answers per context. Made before, and so
    // destroyed after, every system made on it.
    const std::unique_ptr<PJ_CONTEXT, PJ_CONTEXT *(*)(PJ_CONTEXT *)> context(proj_context_create(),
                                                                      &proj_context_destroy);
    if (!context)
        return std::vector<RankedProjection> {};
    proj_log_level(context.get(), PJ_LOG_NONE);
    const auto onDatum = [&](const std::string &base) -> const std::optional<OnDatum> & {
        auto [at, isNew] = datums.try_emplace(base);
        if (!isNew)
            return at->second;
        try {
            const MapProjection geographic(base, context.get());
            OnDatum moved {usable, {}};
            for (TCalibPoint &point : moved.Points) {
                const std::optional<PlanePoint> p = geographic.Forward(point.Lat, point.Lon);
                if (!p)
                    return at->second;
                point.Lat = p->N;
                point.Lon = p->E;
            }
            for (const GeoPosition &sample : samples) {
                const std::optional<PlanePoint> p = geographic.Forward(sample.Lat, sample.Lon);
                if (!p)
                    return at->second;
                moved.Samples.push_back({p->N, p->E});
            }
            at->second = std::move(moved);
        } catch (const Error &) {
            // No way from WGS 84 to that datum.
        }
        return at->second;
    };
    std::vector<Judged> judged;
    for (std::size_t k = 0; k < candidates.size(); ++k) {
        if (progress && !progress(k, candidates.size()))
            return std::nullopt;
        Candidate &candidate = candidates[k];
        std::optional<Judged> result;
        try {
            if (candidate.Definition.empty()) {
                result = Judge(usable, nullptr, samples);
            } else {
                const MapProjection projection(candidate.Definition, MapProjection::OwnDatum::Yes,
                                               context.get());
                if (const std::optional<OnDatum> &moved = onDatum(projection.BaseSystem()))
                    result = Judge(moved->Points, &projection, moved->Samples);
                if (result && candidate.Name.empty())
                    candidate.Name = projection.Name();
                if (result && candidate.Area.empty() && projection.Area()) {
                    const AreaOfUse &area = *projection.Area();
                    candidate.Area = area.Name;
                    candidate.AreaSize = SizeOf(area.West, area.South, area.East, area.North);
                }
            }
        } catch (const Error &) {
            // PROJ does not know it after all: not a candidate.
        }
        if (!result)
            continue;
        result->Row.Definition = candidate.Definition;
        result->Row.Name = candidate.Name;
        result->Row.Area = candidate.Area;
        result->Row.WorstPoint = indices[result->Row.WorstPoint];
        result->Preferred = candidate.Definition.rfind("EPSG:", 0) == 0;
        result->AreaSize = candidate.AreaSize;
        result->HoldsStrictly = candidate.HoldsStrictly;
        judged.push_back(std::move(*result));
    }
    if (progress && !progress(candidates.size(), candidates.size()))
        return std::nullopt;
    std::stable_sort(judged.begin(), judged.end(), [](const Judged &a, const Judged &b) {
        return a.Row.HeldOutRms < b.Row.HeldOutRms;
    });
    // One row for the systems that place the sheet alike, named after an EPSG one where there is.
    std::vector<Judged> rows;
    for (Judged &candidate : judged) {
        const auto same = std::find_if(rows.begin(), rows.end(), [&](const Judged &row) {
            return !row.Row.Definition.empty() && !candidate.Row.Definition.empty()
                && SamePlacing(row, candidate);
        });
        if (same == rows.end()) {
            rows.push_back(std::move(candidate));
            continue;
        }
        ++same->Row.Others;
        // Another name only for figures as good: the row keeps its best member's placing.
        if (candidate.Row.HeldOutRms <= same->Row.HeldOutRms + SamePixels / 10
            && NamesBetter(candidate, *same)) {
            candidate.Row.Others = same->Row.Others;
            std::swap(candidate.Samples, same->Samples);
            std::swap(*same, candidate);
        }
    }
    std::vector<RankedProjection> ranking;
    for (Judged &row : rows)
        ranking.push_back(std::move(row.Row));
    if (!families || ranking.empty())
        return ranking;
    const auto fitted = FamilyFit::Fit(usable, context.get(), [&] {
        return !progress || progress(candidates.size(), candidates.size());
    });
    if (!fitted)
        return std::nullopt;
    const double listed = ranking.front().HeldOutRms;
    for (RankedProjection row : *fitted) {
        if (row.HeldOutRms < FamilyFactor * listed && listed - row.HeldOutRms > FamilyPixels) {
            row.WorstPoint = indices[row.WorstPoint];
            ranking.push_back(std::move(row));
        }
    }
    std::stable_sort(ranking.begin(), ranking.end(),
                     [](const RankedProjection &a, const RankedProjection &b) {
                         return a.HeldOutRms < b.HeldOutRms;
                     });
    return ranking;
}

} // namespace carteva
