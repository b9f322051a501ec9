// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"

#include <cstddef>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace carteva {

// A point both sides changed differently: the window's version stays, the other side's is told
// and kept elsewhere.
struct MergeConflict
{
    std::int32_t X = 0, Y = 0; // the point's pixel as the base held it
    std::optional<TCalibPoint> theirs; // the other side's version; none: it removed the point
};

// The points of a three-way merge and where they came from.
struct MergedPoints
{
    std::vector<TCalibPoint> points;
    std::size_t fromTheirs = 0; // records the other side added or changed, now in `points`
    // Records the other side removed, taken out of `points`, to be kept elsewhere.
    std::vector<TCalibPoint> removed;
    std::vector<MergeConflict> conflicts;
    // The other side's changes taken in: each record of ours and the one that took its place.
    std::vector<std::pair<TCalibPoint, TCalibPoint>> changed;
};

// Merges the window's points (`ours`) with the file as another writer left it (`theirs`), both
// grown from `base`, what the file held when this program last read or wrote it. The lists are
// multisets of 40-byte records: two records on one pixel are two records, and a record either side
// did not touch is never lost. Within one side, a record removed and another added on the same
// pixel are one point changed. A point both sides changed (or one changed and the other removed)
// keeps the window's version and is listed as a conflict. Our order is kept; the other side's
// changes take the place of the records they replace, its new points follow in its order.
MergedPoints MergePoints(std::span<const TCalibPoint> base, std::span<const TCalibPoint> ours,
                         std::span<const TCalibPoint> theirs);

} // namespace carteva
