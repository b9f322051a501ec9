// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/BestFit.h"

#include "calibration/MapProjection.h"
#include "calibration/NumberText.h"
#include "calibration/ProjectionGrid.h"
#include "calibration/Utf.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace carteva {

namespace {

// Below these, a matrix counts as singular: the relative determinant (1 for evenly spread points)
// of exactly collinear points is rounding noise far below them, while points typed to 6 decimals
// that really span an area stay far above.
constexpr Extended CollinearPositions = 1e-12L;
constexpr Extended CollinearPixels = 1e-9L;
// A pivot this small against the normal matrix's diagonal: the points cannot tell the terms of a
// polynomial apart (all on three parallels for a cubic, say). Exact dependence leaves rounding
// noise near 1e-18.
constexpr Extended DependentTerms = 1e-12L;
// A leverage this close to 1 means the others alone cannot place the point.
constexpr Extended LeverageLimit = 1 - 1e-9L;
// Leaving one out judges a polynomial only when several points are spare: with one or two, one
// mistyped point can pass for the map's curvature.
constexpr std::size_t SparePoints = 3;
// A higher order is taken only when it predicts the left-out points clearly better: by a tenth
// and by more than a hundredth of a pixel, so that exact points and noise keep the simpler model.
constexpr double BetterFactor = 0.9;
constexpr double BetterPixels = 0.01;
constexpr std::size_t MaxTerms = 10;
// The projection's approximation for overlays: within this many pixels, and exact for a pixel
// within RoundingMargin of a rounding boundary. Cells of an eighth of the points' span, over
// three times it. Measured in bench/GpxOverlayBench --projection: PROJ alone 2.0 µs a waypoint,
// the grid about 20 ns.
constexpr double GridPixels = 0.002;
constexpr double RoundingMargin = 0.005;
constexpr int GridCellsAcrossSpan = 8;

bool Finite(Extended v)
{
    return std::isfinite(v);
}

constexpr std::size_t TermsOf(int order)
{
    return std::size_t((order + 1) * (order + 2) / 2);
}

// 1, s, t, s², st, t², s³, s²t, st², t³ up to the order's count.
void Terms(int order, Extended s, Extended t, Extended *out)
{
    out[0] = 1;
    out[1] = s;
    out[2] = t;
    if (order < 2)
        return;
    out[3] = s * s;
    out[4] = s * t;
    out[5] = t * t;
    if (order < 3)
        return;
    out[6] = s * s * s;
    out[7] = s * s * t;
    out[8] = s * t * t;
    out[9] = t * t * t;
}

// The terms' derivatives by s and by t.
void TermSlopes(int order, Extended s, Extended t, Extended *ds, Extended *dt)
{
    const Extended zero[MaxTerms] {};
    std::copy(zero, zero + MaxTerms, ds);
    std::copy(zero, zero + MaxTerms, dt);
    ds[1] = 1;
    dt[2] = 1;
    if (order < 2)
        return;
    ds[3] = 2 * s;
    ds[4] = t;
    dt[4] = s;
    dt[5] = 2 * t;
    if (order < 3)
        return;
    ds[6] = 3 * s * s;
    ds[7] = 2 * s * t;
    dt[7] = s * s;
    ds[8] = t * t;
    dt[8] = 2 * s * t;
    dt[9] = 3 * t * t;
}

BestFit::Model ModelOfOrder(int order)
{
    return order == 1 ? BestFit::Model::Affine
        : order == 2  ? BestFit::Model::Quadratic
                      : BestFit::Model::Cubic;
}

std::string Pixels(double value)
{
    return ToUtf8(FormatCoordinate(2, value)) + " px";
}

// Inverts the symmetric matrix in place (Gauss-Jordan with partial pivoting); false when singular.
bool InvertInPlace(Extended (&a)[MaxTerms][MaxTerms], std::size_t n)
{
    Extended largest = 0;
    for (std::size_t i = 0; i < n; ++i)
        largest = std::max(largest, std::fabs(a[i][i]));
    Extended inverse[MaxTerms][MaxTerms] {};
    for (std::size_t i = 0; i < n; ++i)
        inverse[i][i] = 1;
    for (std::size_t column = 0; column < n; ++column) {
        std::size_t pivot = column;
        for (std::size_t row = column + 1; row < n; ++row) {
            if (std::fabs(a[row][column]) > std::fabs(a[pivot][column]))
                pivot = row;
        }
        if (!(std::fabs(a[pivot][column]) > DependentTerms * largest))
            return false;
        std::swap(a[pivot], a[column]);
        std::swap(inverse[pivot], inverse[column]);
        const Extended divisor = a[column][column];
        for (std::size_t k = 0; k < n; ++k) {
            a[column][k] /= divisor;
            inverse[column][k] /= divisor;
        }
        for (std::size_t row = 0; row < n; ++row) {
            if (row == column)
                continue;
            const Extended factor = a[row][column];
            for (std::size_t k = 0; k < n; ++k) {
                a[row][k] -= factor * a[column][k];
                inverse[row][k] -= factor * inverse[column][k];
            }
        }
    }
    std::copy(&inverse[0][0], &inverse[0][0] + MaxTerms * MaxTerms, &a[0][0]);
    return true;
}

} // namespace

// A least-squares polynomial of one order through the samples, with each sample's leave-one-out
// residual from its leverage; or why it cannot be judged.
struct BestFit::Polynomial
{
    int Order = 1;
    Extended X[MaxTerms] {};
    Extended Y[MaxTerms] {};
    std::vector<std::optional<double>> LeftOut;
    std::optional<double> Rms;
    double Median = 0;
    std::string Note;

    Polynomial(const std::vector<Sample> &samples, Extended scale, int order)
        : Order(order)
    {
        const std::size_t terms = TermsOf(order);
        const std::string name = NameOf(ModelOfOrder(order));
        const std::string article = order == 1 ? "An " : "A ";
        if (samples.size() < terms) {
            Note = article + name + " fit needs at least " + std::to_string(terms) + " points";
            return;
        }
        if (samples.size() == terms) {
            Note = std::to_string(terms) + " points fix " + (order == 1 ? "an " : "a ") + name
                + " fit exactly, leaving none to check it by";
            return;
        }
        if (order > 1 && samples.size() < terms + SparePoints) {
            Note = article + name + " fit needs " + std::to_string(terms + SparePoints)
                + " points for leaving one out to judge it";
            return;
        }
        Extended normal[MaxTerms][MaxTerms] {};
        Extended sumX[MaxTerms] {}, sumY[MaxTerms] {};
        Extended t[MaxTerms];
        for (const Sample &sample : samples) {
            Terms(order, sample.U / scale, sample.V / scale, t);
            for (std::size_t i = 0; i < terms; ++i) {
                for (std::size_t j = 0; j < terms; ++j)
                    normal[i][j] += t[i] * t[j];
                sumX[i] += t[i] * sample.X;
                sumY[i] += t[i] * sample.Y;
            }
        }
        if (!InvertInPlace(normal, terms)) {
            Note = "The points do not spread enough for " + std::string(order == 1 ? "an " : "a ")
                + name + " fit";
            return;
        }
        for (std::size_t i = 0; i < terms; ++i) {
            for (std::size_t j = 0; j < terms; ++j) {
                X[i] += normal[i][j] * sumX[j];
                Y[i] += normal[i][j] * sumY[j];
            }
        }
        double sumSquares = 0;
        for (std::size_t k = 0; k < samples.size(); ++k) {
            const Sample &sample = samples[k];
            Terms(order, sample.U / scale, sample.V / scale, t);
            Extended leverage = 0, x = 0, y = 0;
            for (std::size_t i = 0; i < terms; ++i) {
                x += X[i] * t[i];
                y += Y[i] * t[i];
                for (std::size_t j = 0; j < terms; ++j)
                    leverage += t[i] * normal[i][j] * t[j];
            }
            if (!(leverage < LeverageLimit) || !Finite(x) || !Finite(y)) {
                Note = "Point " + std::to_string(k + 1) + " lies too far from the others to check "
                    + (order == 1 ? "an " : "a ") + name + " fit";
                LeftOut.clear();
                return;
            }
            const double pixels
                = double(std::hypot(x - sample.X, y - sample.Y) / (1 - leverage));
            LeftOut.push_back(pixels);
            sumSquares += pixels * pixels;
        }
        Rms = std::sqrt(sumSquares / double(samples.size()));
        std::vector<double> sorted;
        for (const std::optional<double> &pixels : LeftOut)
            sorted.push_back(*pixels);
        std::sort(sorted.begin(), sorted.end());
        Median = (sorted[(sorted.size() - 1) / 2] + sorted[sorted.size() / 2]) / 2;
    }

    // Clearly better at predicting the points: in the root mean square, and in the median too, so
    // that a model bending towards one mistyped point (which dominates the mean) is not taken.
    bool ClearlyBetterThan(const Polynomial &other) const
    {
        const auto better = [](double mine, double theirs) {
            return mine < BetterFactor * theirs && theirs - mine > BetterPixels;
        };
        return Rms && other.Rms && better(*Rms, *other.Rms) && better(Median, other.Median);
    }
};

bool BestFit::HasFinitePosition(const TCalibPoint &point)
{
    return Finite(point.Lat) && Finite(point.Lon);
}

std::string BestFit::NameOf(Model model)
{
    switch (model) {
    case Model::Similarity:
        return "similarity";
    case Model::Affine:
        return "affine";
    case Model::Quadratic:
        return "quadratic";
    case Model::Cubic:
        return "cubic";
    case Model::None:
        break;
    }
    return {};
}

std::string BestFit::Summary() const
{
    if (model_ == Model::None)
        return {};
    return NameOf(model_) + ", " + std::to_string(used_) + " points";
}

BestFit::BestFit(std::span<const TCalibPoint> points, const MapProjection *projection)
    : projection_(projection)
{
    std::vector<TCalibPoint> usable;
    std::vector<std::size_t> indices;
    usable.reserve(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (HasFinitePosition(points[i])) {
            usable.push_back(points[i]);
            indices.push_back(i);
        }
    }
    leaveOneOut_.resize(points.size());
    used_ = usable.size();
    leftOut_ = points.size() - used_;
    if (used_ < 2) {
        reason_ = leftOut_ == 0 ? "Fewer than two points"
                                : "Fewer than two points with a valid latitude and longitude";
        return;
    }
    if (!FindCentre(usable))
        return;

    std::vector<Sample> samples;
    samples.reserve(used_);
    for (const TCalibPoint &point : usable) {
        const auto plane = Plane(point.Lat, point.Lon);
        if (!plane) {
            reason_ = "The points' positions are out of range";
            return;
        }
        samples.push_back({plane->first, plane->second, point.X - xC_, point.Y - yC_});
    }

    if (used_ == 2) {
        if (usable[0].Lat == usable[1].Lat && LonOffset(usable[0].Lon) == LonOffset(usable[1].Lon)) {
            reason_ = "Two points have the same position";
            return;
        }
        FitSimilarity(samples);
    } else {
        FitAffine(samples);
    }
    if (!reason_.empty())
        return;
    if (!Invert()) {
        if (reason_.empty())
            reason_ = "The fit is singular";
        return;
    }
    if (used_ >= 3) {
        const std::vector<std::optional<double>> leftOut = ChooseModel(samples);
        for (std::size_t k = 0; k < leftOut.size(); ++k)
            leaveOneOut_[indices[k]] = leftOut[k];
    }
}

BestFit::~BestFit() = default;
BestFit::BestFit(BestFit &&) noexcept = default;
BestFit &BestFit::operator=(BestFit &&) noexcept = default;

bool BestFit::FindCentre(std::span<const TCalibPoint> usable)
{
    const auto n = static_cast<Extended>(usable.size());
    Extended sumX = 0, sumY = 0;
    for (const TCalibPoint &point : usable) {
        sumX += point.X;
        sumY += point.Y;
    }
    xC_ = sumX / n;
    yC_ = sumY / n;
    if (projection_) {
        Extended sumE = 0, sumN = 0;
        for (const TCalibPoint &point : usable) {
            const std::optional<PlanePoint> plane = projection_->Forward(point.Lat, point.Lon);
            if (!plane) {
                reason_ = "A point lies outside the projection's area";
                return false;
            }
            sumE += plane->E;
            sumN += plane->N;
        }
        eC_ = sumE / n;
        nC_ = sumN / n;
        south_ = west_ = std::numeric_limits<double>::infinity();
        double north = -south_, east = -west_;
        for (const TCalibPoint &point : usable) {
            south_ = std::min(south_, double(point.Lat));
            north = std::max(north, double(point.Lat));
            west_ = std::min(west_, double(point.Lon));
            east = std::max(east, double(point.Lon));
        }
        spanLat_ = north - south_;
        spanLon_ = east - west_;
        return true;
    }

    // The centre: the mean position (longitudes taken across the 180° meridian where the points
    // straddle it).
    lonC_ = usable.front().Lon;
    Extended sumLat = 0, sumLon = 0;
    for (const TCalibPoint &point : usable) {
        sumLat += point.Lat;
        sumLon += LonOffset(point.Lon);
    }
    lonC_ += sumLon / n;
    if (std::fabs(usable.front().Lon) <= 180) {
        if (lonC_ > 180)
            lonC_ -= 360;
        else if (lonC_ < -180)
            lonC_ += 360;
    }
    latC_ = sumLat / n;
    cosLat_ = std::cos(latC_ * std::numbers::pi_v<Extended> / 180);
    if (!Finite(lonC_) || !Finite(latC_) || !Finite(cosLat_)) {
        reason_ = "The points' positions are out of range";
        return false;
    }
    return true;
}

std::optional<std::pair<Extended, Extended>> BestFit::Plane(Extended lat, Extended lon) const
{
    if (!Finite(lat) || !Finite(lon))
        return std::nullopt;
    if (projection_) {
        const std::optional<PlanePoint> plane = projection_->Forward(lat, lon);
        if (!plane)
            return std::nullopt;
        return std::pair {Extended(plane->E) - eC_, Extended(plane->N) - nC_};
    }
    const Extended u = LonOffset(lon) * cosLat_;
    const Extended v = lat - latC_;
    if (!Finite(u) || !Finite(v))
        return std::nullopt;
    return std::pair {u, v};
}

std::size_t BestFit::Parameters() const
{
    switch (model_) {
    case Model::Similarity:
        return 4;
    case Model::Affine:
        return 6;
    case Model::Quadratic:
        return 12;
    case Model::Cubic:
        return 20;
    case Model::None:
        break;
    }
    return 0;
}

Extended BestFit::LonOffset(Extended lon) const
{
    Extended d = lon - lonC_;
    if (d > 180)
        d -= 360;
    else if (d < -180)
        d += 360;
    return d;
}

// Two points fix a similarity exactly. In the plane with north turned down (w = -v), so that it
// turns the same way as the pixels, it is the complex product pixel - centre = b × (u + i w).
void BestFit::FitSimilarity(const std::vector<Sample> &samples)
{
    const Sample &p = samples[0];
    const Sample &q = samples[1];
    const Extended du = q.U - p.U;
    const Extended dw = -(q.V - p.V);
    const Extended dx = q.X - p.X;
    const Extended dy = q.Y - p.Y;
    if (dx == 0 && dy == 0) {
        reason_ = "Two points lie on the same pixel";
        return;
    }
    const Extended norm = du * du + dw * dw;
    if (!Finite(norm)) {
        reason_ = "The points' positions are out of range";
        return;
    }
    if (!(norm > 0)) {
        reason_ = "The fit is singular";
        return;
    }
    const Extended br = (dx * du + dy * dw) / norm;
    const Extended bi = (dy * du - dx * dw) / norm;
    toPixel_[0][0] = br;
    toPixel_[0][1] = bi;
    toPixel_[1][0] = bi;
    toPixel_[1][1] = -br;
    model_ = Model::Similarity;
}

// Least squares on centred coordinates scaled to a mean square distance of 1, so that the 2 × 2
// system is as well conditioned as the points' spread allows, whatever the map's size or place.
void BestFit::FitAffine(const std::vector<Sample> &samples)
{
    Extended sumSquares = 0;
    for (const Sample &sample : samples)
        sumSquares += sample.U * sample.U + sample.V * sample.V;
    const auto n = static_cast<Extended>(samples.size());
    scale_ = std::sqrt(sumSquares / n);
    if (!Finite(scale_)) {
        reason_ = "The points' positions are out of range";
        return;
    }
    if (scale_ == 0) {
        reason_ = "All points have the same position";
        return;
    }
    Extended suu = 0, suv = 0, svv = 0, sux = 0, svx = 0, suy = 0, svy = 0;
    for (const Sample &sample : samples) {
        const Extended u = sample.U / scale_;
        const Extended v = sample.V / scale_;
        suu += u * u;
        suv += u * v;
        svv += v * v;
        sux += u * sample.X;
        svx += v * sample.X;
        suy += u * sample.Y;
        svy += v * sample.Y;
    }
    // suu + svv = n, so 4 det / n² lies between 0 (on one line) and 1 (evenly spread).
    const Extended det = suu * svv - suv * suv;
    if (!(4 * det / (n * n) >= CollinearPositions)) {
        reason_ = "All points lie on one line";
        return;
    }
    // Pixels per scaled unit, then per plane unit.
    const Extended ax = (svv * sux - suv * svx) / det;
    const Extended bx = (suu * svx - suv * sux) / det;
    const Extended ay = (svv * suy - suv * svy) / det;
    const Extended by = (suu * svy - suv * suy) / det;
    toPixel_[0][0] = ax / scale_;
    toPixel_[0][1] = bx / scale_;
    toPixel_[1][0] = ay / scale_;
    toPixel_[1][1] = by / scale_;
    model_ = Model::Affine;
}

// Weighs the affine transform against the polynomials by how well each predicts every point from
// the others, and keeps the best.
std::vector<std::optional<double>> BestFit::ChooseModel(const std::vector<Sample> &samples)
{
    Polynomial chosen(samples, scale_, 1);
    candidates_.push_back({Model::Affine, chosen.Rms, chosen.Note});
    std::size_t chosenAt = 0;
    for (int order = 2; order <= 3; ++order) {
        Polynomial next(samples, scale_, order);
        if (!next.Rms) {
            candidates_.push_back({ModelOfOrder(order), std::nullopt, next.Note});
            continue;
        }
        if (next.ClearlyBetterThan(chosen)) {
            candidates_[chosenAt].Note = "A " + NameOf(ModelOfOrder(order))
                + " fit predicts the points better";
            candidates_.push_back({ModelOfOrder(order), next.Rms, ""});
            chosenAt = candidates_.size() - 1;
            chosen = std::move(next);
            continue;
        }
        candidates_.push_back({ModelOfOrder(order), next.Rms,
                               "Predicts the points no better (" + Pixels(*next.Rms) + " against "
                                   + Pixels(chosen.Rms.value_or(0)) + " left out)"});
    }
    if (chosen.Order > 1) {
        order_ = chosen.Order;
        model_ = ModelOfOrder(order_);
        std::copy(std::begin(chosen.X), std::end(chosen.X), polyX_);
        std::copy(std::begin(chosen.Y), std::end(chosen.Y), polyY_);
        // The linear part starts the search for a pixel's position.
        toPixel_[0][0] = polyX_[1] / scale_;
        toPixel_[0][1] = polyX_[2] / scale_;
        toPixel_[1][0] = polyY_[1] / scale_;
        toPixel_[1][1] = polyY_[2] / scale_;
        if (!Invert()) {
            model_ = Model::None;
            reason_ = "The fit is singular";
            return {};
        }
    }
    candidates_[chosenAt].Note.clear();
    chosen.LeftOut.resize(samples.size());
    return std::move(chosen.LeftOut);
}

bool BestFit::Invert()
{
    for (const auto &row : toPixel_) {
        if (!Finite(row[0]) || !Finite(row[1])) {
            model_ = Model::None;
            return false;
        }
    }
    // Judged per unit of the plane, where both axes weigh alike.
    const Extended a = toPixel_[0][0], b = toPixel_[0][1];
    const Extended c = toPixel_[1][0], d = toPixel_[1][1];
    const Extended planeNorm = a * a + b * b + c * c + d * d;
    if (!(Finite(planeNorm) && 2 * std::fabs(a * d - b * c) >= CollinearPixels * planeNorm)) {
        model_ = Model::None;
        reason_ = "The points' pixels lie on one line";
        return false;
    }
    const Extended det = a * d - b * c;
    toGeo_[0][0] = d / det;
    toGeo_[0][1] = -b / det;
    toGeo_[1][0] = -c / det;
    toGeo_[1][1] = a / det;
    for (const auto &row : toGeo_) {
        if (!Finite(row[0]) || !Finite(row[1])) {
            model_ = Model::None;
            return false;
        }
    }
    return true;
}

std::pair<Extended, Extended> BestFit::Evaluate(Extended u, Extended v) const
{
    if (order_ == 1)
        return {toPixel_[0][0] * u + toPixel_[0][1] * v, toPixel_[1][0] * u + toPixel_[1][1] * v};
    Extended t[MaxTerms];
    Terms(order_, u / scale_, v / scale_, t);
    Extended x = 0, y = 0;
    for (std::size_t i = TermsOf(order_); i-- > 0;) {
        x += polyX_[i] * t[i];
        y += polyY_[i] * t[i];
    }
    return {x, y};
}

std::optional<std::pair<Extended, Extended>> BestFit::Map(Extended lat, Extended lon) const
{
    if (model_ == Model::None)
        return std::nullopt;
    const auto plane = Plane(lat, lon);
    if (!plane)
        return std::nullopt;
    return MapPlane(plane->first, plane->second);
}

std::optional<std::pair<Extended, Extended>> BestFit::MapPlane(Extended u, Extended v) const
{
    const auto [dx, dy] = Evaluate(u, v);
    const Extended x = xC_ + dx;
    const Extended y = yC_ + dy;
    if (!Finite(x) || !Finite(y))
        return std::nullopt;
    return std::pair {x, y};
}

std::optional<PixelPoint> BestFit::GeoToPixel(Extended lat, Extended lon) const
{
    const auto pixel = Map(lat, lon);
    if (!pixel)
        return std::nullopt;
    const PixelPoint result {static_cast<double>(pixel->first), static_cast<double>(pixel->second)};
    if (!std::isfinite(result.X) || !std::isfinite(result.Y))
        return std::nullopt;
    return result;
}

std::optional<Pixel> BestFit::GeoToPixelRounded(Extended lat, Extended lon) const
{
    std::optional<std::pair<Extended, Extended>> pixel;
    if (projection_ && model_ != Model::None && Finite(lat) && Finite(lon)) {
        if (!grid_) {
            const Extended pixelsPerUnit = std::sqrt(
                toPixel_[0][0] * toPixel_[0][0] + toPixel_[0][1] * toPixel_[0][1]
                + toPixel_[1][0] * toPixel_[1][0] + toPixel_[1][1] * toPixel_[1][1]);
            const double cellLat = std::max(spanLat_, 1e-6) / GridCellsAcrossSpan;
            const double cellLon = std::max(spanLon_, 1e-6) / GridCellsAcrossSpan;
            grid_ = std::make_unique<ProjectionGrid>(
                *projection_, south_ - GridCellsAcrossSpan * cellLat,
                west_ - GridCellsAcrossSpan * cellLon, cellLat, cellLon, 3 * GridCellsAcrossSpan,
                3 * GridCellsAcrossSpan, double(GridPixels / pixelsPerUnit));
        }
        bool exact = true;
        const std::optional<PlanePoint> plane = grid_->Forward(double(lat), double(lon), exact);
        if (plane)
            pixel = MapPlane(Extended(plane->E) - eC_, Extended(plane->N) - nC_);
        const auto nearBoundary = [](Extended v) {
            return std::fabs(v - std::floor(v) - 0.5L) < RoundingMargin;
        };
        if (!exact && pixel && (nearBoundary(pixel->first) || nearBoundary(pixel->second)))
            pixel = Map(lat, lon);
    } else {
        pixel = Map(lat, lon);
    }
    // The values whose nearest-even rounding fits a signed 64-bit integer.
    const auto fits = [](Extended v) { return v > -0x1p63L - 1 && v < 0x1p63L - 0.5L; };
    if (!pixel || !fits(pixel->first) || !fits(pixel->second))
        return std::nullopt;
    return Pixel {std::llrint(pixel->first), std::llrint(pixel->second)};
}

std::optional<GeoPosition> BestFit::PixelToGeo(double x, double y) const
{
    if (model_ == Model::None || !std::isfinite(x) || !std::isfinite(y))
        return std::nullopt;
    const Extended dx = x - xC_;
    const Extended dy = y - yC_;
    Extended u = toGeo_[0][0] * dx + toGeo_[0][1] * dy;
    Extended v = toGeo_[1][0] * dx + toGeo_[1][1] * dy;
    if (order_ > 1) {
        // Newton's method from the linear part's answer: the polynomial bends gently over the
        // map, so a few steps reach the position to far below a pixel.
        bool converged = false;
        for (int step = 0; step < 50 && !converged; ++step) {
            const auto [fx, fy] = Evaluate(u, v);
            const Extended ex = fx - dx, ey = fy - dy;
            if (!Finite(ex) || !Finite(ey))
                return std::nullopt;
            Extended ds[MaxTerms], dt[MaxTerms];
            TermSlopes(order_, u / scale_, v / scale_, ds, dt);
            Extended a = 0, b = 0, c = 0, d = 0;
            for (std::size_t i = 0; i < TermsOf(order_); ++i) {
                a += polyX_[i] * ds[i];
                b += polyX_[i] * dt[i];
                c += polyY_[i] * ds[i];
                d += polyY_[i] * dt[i];
            }
            const Extended det = a * d - b * c;
            if (!Finite(det) || det == 0)
                return std::nullopt;
            u -= scale_ * (d * ex - b * ey) / det;
            v -= scale_ * (a * ey - c * ex) / det;
            converged = std::fabs(ex) + std::fabs(ey) < 1e-9L;
        }
        if (!converged)
            return std::nullopt;
    }
    if (projection_) {
        const auto position = projection_->Inverse(double(eC_ + u), double(nC_ + v));
        if (!position)
            return std::nullopt;
        return GeoPosition {position->first, position->second};
    }
    Extended lon = lonC_ + u / cosLat_;
    // Back into -180 … 180 where the fit reaches across the 180° meridian.
    if (std::fabs(lonC_) <= 180) {
        if (lon > 180)
            lon -= 360;
        else if (lon < -180)
            lon += 360;
    }
    const Extended lat = latC_ + v;
    if (!Finite(lat) || !Finite(lon))
        return std::nullopt;
    return GeoPosition {lat, lon};
}

} // namespace carteva
