// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"

#include <cstddef>
#include <span>
#include <vector>

namespace carteva {

// The points of a three-way merge and where they came from.
struct MergedPoints
{
    std::vector<TCalibPoint> points;
    std::size_t fromTheirs = 0; // points the other side added or changed, now in `points`
    std::size_t removedByTheirs = 0; // points the other side removed, taken out of `points`
};

// Merges the window's points (`ours`) with the file as another writer left it (`theirs`), both
// grown from `base`, what the file held when this program last read or wrote it. A point is its
// whole 40-byte record; a pixel is one place. Every point either side added or changed survives;
// where both sides changed the same pixel, ours wins. A point the other side removed goes when
// ours still holds it unchanged. Our order is kept and the other side's new points follow in
// theirs.
MergedPoints MergePoints(std::span<const TCalibPoint> base, std::span<const TCalibPoint> ours,
                         std::span<const TCalibPoint> theirs);

} // namespace carteva
