// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace carteva {

// One change of the point list named by the records it touches, never by their places, so that it
// still applies after another writer's change came in: nothing before is an insertion, nothing
// after a removal, both a replacement.
struct RecordChange
{
    // A record by its 40 bytes and which of the equal copies it is, counted from the front: a list
    // may hold the same bytes more than once (two records on one pixel).
    struct Ref
    {
        TCalibPoint::Record Bytes {};
        std::size_t Occurrence = 0;
    };

    std::optional<Ref> Before;
    std::optional<Ref> After;
    // Where an insertion goes (either way): before this record of the list without it; nothing,
    // or a record that has gone meanwhile, means at the end.
    std::optional<Ref> Follower;

    // Each makes its change at `index` of `points` and says what it did.
    static RecordChange Insert(std::vector<TCalibPoint> &points, std::size_t index,
                               const TCalibPoint &point);
    static RecordChange Remove(std::vector<TCalibPoint> &points, std::size_t index);
    static RecordChange Replace(std::vector<TCalibPoint> &points, std::size_t index,
                                const TCalibPoint &point);

    // Makes the change again (`undo`: takes it back) on the list as it is. A record to remove or
    // replace that is no longer there leaves the list alone: false.
    bool Apply(std::vector<TCalibPoint> &points, bool undo) const;
    // The record that Apply must find, if any.
    const std::optional<Ref> &Target(bool undo) const { return undo ? After : Before; }

    static Ref RefAt(std::span<const TCalibPoint> points, std::size_t index);
    // The place of the record; of equal copies fewer than it counts, the last one (equal bytes are
    // the same point, only their places differ).
    static std::optional<std::size_t> Find(std::span<const TCalibPoint> points, const Ref &ref);
};

} // namespace carteva
