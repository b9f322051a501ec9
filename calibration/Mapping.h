// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/Extended.h"
#include "calibration/GeoPosition.h"
#include "calibration/GeoToPixel.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace carteva {

// How a position finds its pixel: between the two nearest points, each axis on its own (the
// program's original rule, the default), or by one transform fitted through all points.
enum class MappingKind { TwoNearest, BestFit };

// A pixel before rounding, for residuals and the pointer's position.
struct PixelPoint
{
    double X;
    double Y;
};

class BestFit;
class MapProjection;

// What a mapping is made of besides the points: the rule, and for the best fit the map's own
// projection (none: degrees). The two nearest points always work in degrees, exactly as they
// always did. The projection given here is only copied, never used: each Mapping works with a
// copy of its own, so that mappings may live on different threads.
struct MappingSetup
{
    MappingKind Kind = MappingKind::TwoNearest;
    std::shared_ptr<const MapProjection> Projection;

    MappingSetup(MappingKind kind = MappingKind::TwoNearest,
                 std::shared_ptr<const MapProjection> projection = {})
        : Kind(kind)
        , Projection(std::move(projection))
    { }
    // The same rule and the same projection definition.
    bool operator==(const MappingSetup &other) const;
    // The projection's definition; empty for degrees.
    std::string ProjectionDefinition() const;
};

// One mapping made for one point list: the best fit is computed once here, so that mapping a
// position costs a few multiplications. Copies what it needs; the list may change afterwards.
class Mapping
{
public:
    Mapping(const MappingSetup &setup, std::span<const TCalibPoint> points);
    ~Mapping();
    Mapping(Mapping &&) noexcept;
    Mapping &operator=(Mapping &&) noexcept;

    MappingKind Kind() const { return setup_.Kind; }
    const MappingSetup &Setup() const { return setup_; }
    // The best fit behind the mapping; null for the two nearest points.
    const BestFit *Fit() const { return fit_.get(); }

    // Position -> pixel. TwoNearest: exactly GeoToPixel (its warnings' empty result and its
    // floating-point errors included). BestFit: empty when there is no fit or the pixel lies
    // beyond the 64-bit range; never throws for a finite position.
    std::optional<Pixel> GeoToPixel(Extended lat, Extended lon) const;
    // The same without rounding; empty where GeoToPixel is empty.
    std::optional<PixelPoint> GeoToPixelExact(Extended lat, Extended lon) const;
    // Pixel -> position. TwoNearest: the same rule the other way round (nearest point by pixel,
    // partner more than 30 px away on both axes, per-axis interpolation). Empty when there is no
    // usable pair or fit; never throws.
    std::optional<GeoPosition> PixelToGeo(double x, double y) const;

    // Why nothing can be mapped ("All points lie on one line"); empty when the mapping is usable
    // (for TwoNearest: at least one pair of points more than 30 px apart on both axes).
    const std::string &Reason() const { return reason_; }

private:
    MappingSetup setup_;
    std::vector<TCalibPoint> points_;
    std::unique_ptr<MapProjection> projection_;
    std::unique_ptr<BestFit> fit_;
    std::string reason_;
};

} // namespace carteva
