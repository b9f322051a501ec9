// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/Extended.h"

#include <cstdint>
#include <optional>
#include <span>

namespace carteva {

struct Pixel
{
    std::int64_t X;
    std::int64_t Y;
};

// The two points GeoToPixel interpolates between: the one nearest to (lat, lon), and the nearest
// other one more than 30 pixels from it on both axes. Empty when there is no such pair; throws as
// GeoToPixel does.
struct ReferencePair
{
    std::size_t Nearest;
    std::size_t Second;
};
std::optional<ReferencePair> FindReferencePair(std::span<const TCalibPoint> points, Extended lat,
                                               Extended lon);

// Interpolates between the calibration point nearest to (lat, lon) and the nearest other point that
// lies more than 30 pixels from it on both axes. Empty when there is no such pair; floating-point
// failures throw EInvalidOp / EZeroDivide / EOverflow (a pixel beyond the 64-bit range is an
// invalid operation).
std::optional<Pixel> GeoToPixel(std::span<const TCalibPoint> points, Extended lat, Extended lon);

} // namespace carteva
