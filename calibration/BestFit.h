// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/Extended.h"
#include "calibration/Mapping.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string>

namespace carteva {

// One transform through all points with a finite position: with two points a similarity (scale,
// rotation, shift), with three or more a least-squares affine transform from position to pixel.
// Positions are taken in a local plane, longitude times the cosine of the mean latitude, so that a
// degree east and a degree north weigh alike where the map lies.
class BestFit
{
public:
    enum class Model { None, Similarity, Affine };

    explicit BestFit(std::span<const TCalibPoint> points);

    Model Kind() const { return model_; }
    // Why there is no fit; empty when there is one.
    const std::string &Reason() const { return reason_; }
    std::size_t Used() const { return used_; }
    std::size_t LeftOut() const { return leftOut_; }
    // 4 for the similarity, 6 for the affine transform, 0 without a fit.
    std::size_t Parameters() const;

    // Empty without a fit, for a position that is not finite, or a pixel beyond the double range.
    std::optional<PixelPoint> GeoToPixel(Extended lat, Extended lon) const;
    // The same rounded to the nearest pixel (ties to even); also empty beyond the 64-bit range.
    std::optional<Pixel> GeoToPixelRounded(Extended lat, Extended lon) const;
    std::optional<GeoPosition> PixelToGeo(double x, double y) const;

    // How strongly a point at this position pulls the affine fit towards itself (1/n plus its
    // scaled distance from the points' centre). A point's residual divided by 1 - leverage is its
    // residual in the fit made without it, so leaving each point out needs no refit. Empty for
    // the similarity, which two points determine exactly.
    std::optional<Extended> Leverage(Extended lat, Extended lon) const;

    static bool HasFinitePosition(const TCalibPoint &point);

private:
    void FitSimilarity(std::span<const TCalibPoint> points);
    void FitAffine(std::span<const TCalibPoint> points);
    bool Invert();
    Extended LonOffset(Extended lon) const;
    std::optional<std::pair<Extended, Extended>> Map(Extended lat, Extended lon) const;

    Model model_ = Model::None;
    std::string reason_;
    std::size_t used_ = 0;
    std::size_t leftOut_ = 0;
    // The centre of the points: pixel offsets are taken from (xC_, yC_), degrees from (latC_, lonC_).
    Extended latC_ = 0, lonC_ = 0, xC_ = 0, yC_ = 0;
    Extended cosLat_ = 1;
    // Pixels per degree: X - xC_ = toPixel_[0][0] × dLon + toPixel_[0][1] × dLat, Y likewise.
    Extended toPixel_[2][2] {};
    Extended toGeo_[2][2] {};
    // For Leverage: the inverse of the scaled points' second-moment matrix, and the scale.
    Extended momentInverse_[2][2] {};
    Extended scale_ = 1;
};

} // namespace carteva
