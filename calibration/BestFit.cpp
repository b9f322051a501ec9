// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/BestFit.h"

#include "calibration/MapProjection.h"
#include "calibration/NumberText.h"
#include "calibration/FitPlane.h"
#include "calibration/Utf.h"

#include <algorithm>
#include <cmath>

namespace carteva {

namespace {

// Below these, a matrix counts as singular: the relative determinant (1 for evenly spread points)
// of exactly collinear points is rounding noise far below them, while points typed to 6 decimals
// that really span an area stay far above.
constexpr Extended CollinearPositions = 1e-12L;
constexpr Extended CollinearPixels = 1e-9L;
// The projection's approximation for overlays: within this many pixels, and exact for a pixel
// within RoundingMargin of a rounding boundary, so that rounding never differs.
constexpr Extended GridPixels = 0.002L;
constexpr Extended RoundingMargin = 0.005L;

bool Finite(Extended v)
{
    return std::isfinite(v);
}

std::string Pixels(double value)
{
    return ToUtf8(FormatCoordinate(2, value)) + " px";
}

BestFit::Model ModelOfOrder(int order)
{
    return order == 1 ? BestFit::Model::Affine
        : order == 2  ? BestFit::Model::Quadratic
                      : BestFit::Model::Cubic;
}

} // namespace

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
        return PolynomialFit::NameOf(1);
    case Model::Quadratic:
        return PolynomialFit::NameOf(2);
    case Model::Cubic:
        return PolynomialFit::NameOf(3);
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

    std::vector<PlaneSample> samples;
    samples.reserve(used_);
    for (const TCalibPoint &point : usable) {
        const auto plane = plane_->Offset(point.Lat, point.Lon);
        if (!plane) {
            reason_ = "The points' positions are out of range";
            return;
        }
        samples.push_back({plane->first, plane->second, point.X - xC_, point.Y - yC_});
    }

    if (used_ == 2) {
        if (plane_->SamePosition(usable[0], usable[1])) {
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
    plane_ = std::make_unique<FitPlane>(usable, projection_);
    reason_ = plane_->Reason();
    return reason_.empty();
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

// Two points fix a similarity exactly. In the plane with north turned down (w = -v), so that it
// turns the same way as the pixels, it is the complex product pixel - centre = b × (u + i w).
void BestFit::FitSimilarity(const std::vector<PlaneSample> &samples)
{
    const PlaneSample &p = samples[0];
    const PlaneSample &q = samples[1];
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
void BestFit::FitAffine(const std::vector<PlaneSample> &samples)
{
    Extended sumSquares = 0;
    for (const PlaneSample &sample : samples)
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
    for (const PlaneSample &sample : samples) {
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

namespace {

// A mistyped point is predicted badly by every model, and a polynomial that bends towards it
// predicts it a little less badly, which can outweigh all the rest. So a higher order must stay
// clearly better with the point the simpler model predicts worst left out too.
bool BetterWithoutWorst(const std::vector<PlaneSample> &samples, Extended scale,
                        const PolynomialFit &simpler, const PolynomialFit &higher)
{
    std::size_t worst = 0;
    for (std::size_t i = 0; i < simpler.LeftOut.size(); ++i) {
        if (simpler.LeftOut[i].value_or(0) > simpler.LeftOut[worst].value_or(0))
            worst = i;
    }
    std::vector<PlaneSample> rest = samples;
    rest.erase(rest.begin() + std::ptrdiff_t(worst));
    // One spare point fewer than a fit of its own needs: the worst is the one left out.
    const std::size_t spare = PolynomialFit::SparePoints - 1;
    return PolynomialFit(rest, scale, higher.Order, spare)
        .ClearlyBetterThan(PolynomialFit(rest, scale, simpler.Order, spare));
}

} // namespace

// Weighs the affine transform against the polynomials by how well each predicts every point from
// the others, and keeps the best.
std::vector<std::optional<double>> BestFit::ChooseModel(const std::vector<PlaneSample> &samples)
{
    PolynomialFit chosen(samples, scale_, 1);
    candidates_.push_back({Model::Affine, chosen.Rms, chosen.Note});
    std::size_t chosenAt = 0;
    for (int order = 2; order <= 3; ++order) {
        PolynomialFit next(samples, scale_, order);
        if (!next.Rms) {
            candidates_.push_back({ModelOfOrder(order), std::nullopt, next.Note});
            continue;
        }
        if (next.ClearlyBetterThan(chosen) && BetterWithoutWorst(samples, scale_, chosen, next)) {
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
    Extended t[PolynomialFit::MaxTerms];
    PolynomialFit::Terms(order_, u / scale_, v / scale_, t);
    Extended x = 0, y = 0;
    for (std::size_t i = PolynomialFit::TermsOf(order_); i-- > 0;) {
        x += polyX_[i] * t[i];
        y += polyY_[i] * t[i];
    }
    return {x, y};
}

std::optional<std::pair<Extended, Extended>> BestFit::Map(Extended lat, Extended lon) const
{
    if (model_ == Model::None)
        return std::nullopt;
    const auto plane = plane_->Offset(lat, lon);
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
    if (model_ == Model::None)
        return std::nullopt;
    // The plane's tolerance: GridPixels at the fit's largest scale.
    const Extended pixelsPerUnit
        = std::sqrt(toPixel_[0][0] * toPixel_[0][0] + toPixel_[0][1] * toPixel_[0][1]
                    + toPixel_[1][0] * toPixel_[1][0] + toPixel_[1][1] * toPixel_[1][1]);
    bool exact = true;
    const auto plane = plane_->QuickOffset(lat, lon, GridPixels / pixelsPerUnit, exact);
    std::optional<std::pair<Extended, Extended>> pixel;
    if (plane)
        pixel = MapPlane(plane->first, plane->second);
    const auto nearBoundary = [](Extended v) {
        return std::fabs(v - std::floor(v) - 0.5L) < RoundingMargin;
    };
    if (!exact && pixel && (nearBoundary(pixel->first) || nearBoundary(pixel->second)))
        pixel = Map(lat, lon);
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
            Extended ds[PolynomialFit::MaxTerms], dt[PolynomialFit::MaxTerms];
            PolynomialFit::Slopes(order_, u / scale_, v / scale_, ds, dt);
            Extended a = 0, b = 0, c = 0, d = 0;
            for (std::size_t i = 0; i < PolynomialFit::TermsOf(order_); ++i) {
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
    return plane_->Position(u, v);
}

} // namespace carteva
