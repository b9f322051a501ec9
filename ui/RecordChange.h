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
    static RecordChange Replace(std::vector<TCalibPoint> &points, std::size_t index,
                                const TCalibPoint &point);
    // Removes the points at these indexes (ascending, each once) as one step: each record counted
    // in the list before it, each follower (the next point that stays) in the list after it.
    static std::vector<RecordChange> RemoveAll(std::vector<TCalibPoint> &points,
                                               std::span<const std::size_t> indexes);

    // Makes the changes of one step again (`undo`: takes them back, in reverse) on the list as it
    // is. A record to remove or replace that is no longer there is left out: its Ref goes to
    // `missing`, and its place in `changes` to `missingAt` when given. Removals and insertions of
    // several records go in one pass over the list.
    static void ApplyAll(std::vector<TCalibPoint> &points, std::span<const RecordChange> changes,
                         bool undo, std::vector<Ref> &missing,
                         std::vector<std::size_t> *missingAt = nullptr);

    static Ref RefAt(std::span<const TCalibPoint> points, std::size_t index);
    // RefAt for many indexes (ascending; repeats allowed) in one pass.
    static std::vector<Ref> RefsAt(std::span<const TCalibPoint> points,
                                   std::span<const std::size_t> indexes);
    // The place of the record; of equal copies fewer than it counts, the last one (equal bytes are
    // the same point, only their places differ).
    static std::optional<std::size_t> Find(std::span<const TCalibPoint> points, const Ref &ref);
    // Find for many records in one pass; `distinct`: no two of them get the same place.
    static std::vector<std::optional<std::size_t>> FindAll(std::span<const TCalibPoint> points,
                                                           std::span<const Ref> refs,
                                                           bool distinct);

private:
    // The record Apply must find, and the one it leaves.
    const std::optional<Ref> &From(bool undo) const { return undo ? After : Before; }
    const std::optional<Ref> &To(bool undo) const { return undo ? Before : After; }
    bool Apply(std::vector<TCalibPoint> &points, bool undo) const;
};

} // namespace carteva
