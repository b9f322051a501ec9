// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/PointMerge.h"

#include <algorithm>
#include <cstdint>
#include <map>

namespace carteva {

namespace {

using Record = TCalibPoint::Record;

std::uint64_t PixelOf(const TCalibPoint &point)
{
    return (std::uint64_t(std::uint32_t(point.X)) << 32) | std::uint32_t(point.Y);
}

// One side's change of one base record: replaced by `to`, or removed.
struct Change
{
    TCalibPoint from;
    std::optional<TCalibPoint> to;
};

struct SideChanges
{
    std::vector<Change> changes; // in base order
    std::vector<TCalibPoint> added; // new points, in the side's order
};

// What `side` did to `base`, record by record: each record can be matched once, so a record the
// base holds twice and the side once counts as one removed.
SideChanges Diff(std::span<const TCalibPoint> base, std::span<const TCalibPoint> side)
{
    std::map<Record, std::size_t> inSide;
    for (const TCalibPoint &point : side)
        ++inSide[point.ToRecord()];
    std::vector<TCalibPoint> removed;
    for (const TCalibPoint &point : base) {
        const auto it = inSide.find(point.ToRecord());
        if (it != inSide.end() && it->second > 0)
            --it->second;
        else
            removed.push_back(point);
    }
    std::map<Record, std::size_t> inBase;
    for (const TCalibPoint &point : base)
        ++inBase[point.ToRecord()];
    SideChanges result;
    std::multimap<std::uint64_t, std::size_t> addedAt; // pixel -> index into result.added
    for (const TCalibPoint &point : side) {
        const auto it = inBase.find(point.ToRecord());
        if (it != inBase.end() && it->second > 0) {
            --it->second;
            continue;
        }
        addedAt.emplace(PixelOf(point), result.added.size());
        result.added.push_back(point);
    }
    // A removal and an addition on one pixel are that point changed.
    std::vector<bool> paired(result.added.size(), false);
    for (const TCalibPoint &point : removed) {
        Change change {point, std::nullopt};
        const auto it = addedAt.find(PixelOf(point));
        if (it != addedAt.end()) {
            change.to = result.added[it->second];
            paired[it->second] = true;
            addedAt.erase(it);
        }
        result.changes.push_back(change);
    }
    std::vector<TCalibPoint> unpaired;
    for (std::size_t i = 0; i < result.added.size(); ++i)
        if (!paired[i])
            unpaired.push_back(result.added[i]);
    result.added = std::move(unpaired);
    return result;
}

bool Same(const std::optional<TCalibPoint> &a, const std::optional<TCalibPoint> &b)
{
    return a.has_value() == b.has_value() && (!a || a->ToRecord() == b->ToRecord());
}

} // namespace

MergedPoints MergePoints(std::span<const TCalibPoint> base, std::span<const TCalibPoint> ours,
                         std::span<const TCalibPoint> theirs)
{
    const SideChanges mine = Diff(base, ours);
    const SideChanges other = Diff(base, theirs);
    MergedPoints merged;
    merged.points.assign(ours.begin(), ours.end());

    // Our changes, by the record they started from, to pair with theirs of the same record.
    std::multimap<Record, const Change *> ourChanges;
    for (const Change &change : mine.changes)
        ourChanges.emplace(change.from.ToRecord(), &change);
    // Where each record of ours is, to find the one another writer's change acts on.
    std::multimap<Record, std::size_t> positions;
    for (std::size_t i = 0; i < merged.points.size(); ++i)
        positions.emplace(merged.points[i].ToRecord(), i);
    std::vector<bool> gone(merged.points.size(), false);

    for (const Change &change : other.changes) {
        const Record from = change.from.ToRecord();
        if (const auto ourChange = ourChanges.find(from); ourChange != ourChanges.end()) {
            if (!Same(ourChange->second->to, change.to))
                merged.conflicts.push_back({change.from.X, change.from.Y, change.to});
            ourChanges.erase(ourChange);
            continue;
        }
        // We still hold the record unchanged.
        const auto at = positions.find(from);
        if (at == positions.end())
            continue; // cannot happen: a record we did not change is still ours
        const std::size_t i = at->second;
        positions.erase(at);
        if (change.to) {
            merged.points[i] = *change.to;
            ++merged.fromTheirs;
        } else {
            gone[i] = true;
            merged.removed.push_back(change.from);
        }
    }
    if (!merged.removed.empty()) {
        std::size_t kept = 0;
        for (std::size_t i = 0; i < merged.points.size(); ++i)
            if (!gone[i])
                merged.points[kept++] = merged.points[i];
        merged.points.resize(kept);
    }

    // New points of theirs; one we added too, byte for byte, is there already.
    std::map<Record, std::size_t> ourNew;
    for (const TCalibPoint &point : mine.added)
        ++ourNew[point.ToRecord()];
    for (const TCalibPoint &point : other.added) {
        const auto it = ourNew.find(point.ToRecord());
        if (it != ourNew.end() && it->second > 0) {
            --it->second;
            continue;
        }
        merged.points.push_back(point);
        ++merged.fromTheirs;
    }
    return merged;
}

} // namespace carteva
