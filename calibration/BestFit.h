// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/Extended.h"
#include "calibration/Mapping.h"
#include "calibration/PolynomialFit.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace carteva {

class FitPlane;
class MapProjection;

// One transform through all points with a finite position: with two points a similarity (scale,
// rotation, shift); with three or more a least-squares affine transform from position to pixel;
// a quadratic or cubic polynomial where enough well-spread points show that it predicts the
// points better. Positions are taken in a plane: the map's projection where one is named, else
// longitude times the cosine of the mean latitude, so that a degree east and a degree north weigh
// alike where the map lies.
class BestFit
{
public:
    enum class Model { None, Similarity, Affine, Quadratic, Cubic };

    // A model that was weighed, and how well it predicts each point from the others (the root
    // mean square of the leave-one-out residuals), or why it was not taken.
    struct Candidate
    {
        Model Kind;
        std::optional<double> LeaveOneOutRms;
        std::string Note; // empty for the model chosen
    };

    // `projection`, when given, must outlive the fit; it is used on the caller's thread only.
    explicit BestFit(std::span<const TCalibPoint> points, const MapProjection *projection = nullptr);
    ~BestFit();
    BestFit(BestFit &&) noexcept;
    BestFit &operator=(BestFit &&) noexcept;

    Model Kind() const { return model_; }
    // "quadratic"; empty without a fit.
    static std::string NameOf(Model model);
    // "quadratic, 9 points"; empty without a fit.
    std::string Summary() const;
    // Why there is no fit; empty when there is one.
    const std::string &Reason() const { return reason_; }
    std::size_t Used() const { return used_; }
    std::size_t LeftOut() const { return leftOut_; }
    // 4 for the similarity, 6 for the affine transform, 12 and 20 for the polynomials, 0 without a
    // fit.
    std::size_t Parameters() const;
    // 1 for the similarity and the affine transform, 2 or 3 for the polynomials.
    int Order() const { return order_; }
    const std::vector<Candidate> &Candidates() const { return candidates_; }

    // Empty without a fit, for a position that is not finite or that the projection cannot take,
    // or a pixel beyond the double range.
    std::optional<PixelPoint> GeoToPixel(Extended lat, Extended lon) const;
    // The same rounded to the nearest pixel (ties to even); also empty beyond the 64-bit range.
    // For the many positions of an overlay, a projection is approximated near the points (see
    // ProjectionGrid) to well within a hundredth of a pixel; a pixel that close to a rounding
    // boundary is computed exactly, so that the result is always GeoToPixel's rounded.
    std::optional<Pixel> GeoToPixelRounded(Extended lat, Extended lon) const;
    std::optional<GeoPosition> PixelToGeo(double x, double y) const;

    // Each point's residual in a fit of the same model made without it (for judging it: a
    // least-squares fit spreads one bad point's error over the others), in the order of the
    // points given; empty where the others alone cannot place it, and for the similarity, which
    // two points fix exactly. Computed from the fit itself (residual / (1 - leverage)): no refit.
    const std::vector<std::optional<double>> &LeaveOneOut() const { return leaveOneOut_; }

    static bool HasFinitePosition(const TCalibPoint &point);

private:

    bool FindCentre(std::span<const TCalibPoint> usable);
    void FitSimilarity(const std::vector<PlaneSample> &samples);
    void FitAffine(const std::vector<PlaneSample> &samples);
    std::vector<std::optional<double>> ChooseModel(const std::vector<PlaneSample> &samples);
    bool Invert();
    std::optional<std::pair<Extended, Extended>> Map(Extended lat, Extended lon) const;
    std::optional<std::pair<Extended, Extended>> MapPlane(Extended u, Extended v) const;
    std::pair<Extended, Extended> Evaluate(Extended u, Extended v) const;

    const MapProjection *projection_ = nullptr;
    Model model_ = Model::None;
    int order_ = 1;
    std::string reason_;
    std::size_t used_ = 0;
    std::size_t leftOut_ = 0;
    // The centre of the points: pixel offsets are taken from (xC_, yC_); positions in the plane.
    Extended xC_ = 0, yC_ = 0;
    std::unique_ptr<FitPlane> plane_;
    // Pixels per plane unit: X - xC_ = toPixel_[0][0] × u + toPixel_[0][1] × v, Y likewise.
    Extended toPixel_[2][2] {};
    Extended toGeo_[2][2] {};
    // The polynomials: coefficients of the terms 1, s, t, s², st, t², s³, s²t, st², t³ with
    // (s, t) = (u, v) / scale_.
    Extended scale_ = 1;
    Extended polyX_[10] {};
    Extended polyY_[10] {};
    std::vector<std::optional<double>> leaveOneOut_;
    std::vector<Candidate> candidates_;
};

} // namespace carteva
