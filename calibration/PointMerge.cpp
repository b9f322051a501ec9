// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/PointMerge.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace carteva {

namespace {

using Record = TCalibPoint::Record;

std::uint64_t PixelOf(const TCalibPoint &point)
{
    return (std::uint64_t(std::uint32_t(point.X)) << 32) | std::uint32_t(point.Y);
}

// A multiset of records: each one found can be used up once, as a file may hold one record twice.
class RecordBag
{
public:
    explicit RecordBag(std::span<const TCalibPoint> points)
    {
        records_.reserve(points.size());
        for (const TCalibPoint &point : points)
            Add(point.ToRecord());
    }
    void Add(const Record &record)
    {
        records_.push_back({record, false});
        sorted_ = false;
    }

    bool Take(const Record &record)
    {
        if (!sorted_) {
            std::sort(records_.begin(), records_.end(),
                      [](const Entry &a, const Entry &b) { return a.record < b.record; });
            sorted_ = true;
        }
        auto it = std::lower_bound(records_.begin(), records_.end(), record,
                                   [](const Entry &e, const Record &r) { return e.record < r; });
        for (; it != records_.end() && it->record == record; ++it) {
            if (!it->used) {
                it->used = true;
                return true;
            }
        }
        return false;
    }

private:
    struct Entry
    {
        Record record;
        bool used;
    };
    std::vector<Entry> records_;
    bool sorted_ = false;
};

// The first point of each pixel, as lookups in the window find it.
class PixelIndex
{
public:
    explicit PixelIndex(std::span<const TCalibPoint> points)
    {
        entries_.reserve(points.size());
        for (std::size_t i = 0; i < points.size(); ++i)
            entries_.push_back({PixelOf(points[i]), i});
        // Stable: of several points on one pixel the first stays first.
        std::stable_sort(entries_.begin(), entries_.end(),
                         [](const Entry &a, const Entry &b) { return a.pixel < b.pixel; });
    }

    std::optional<std::size_t> Find(const TCalibPoint &point) const
    {
        const std::uint64_t pixel = PixelOf(point);
        const auto it
            = std::lower_bound(entries_.begin(), entries_.end(), pixel,
                               [](const Entry &e, std::uint64_t p) { return e.pixel < p; });
        if (it == entries_.end() || it->pixel != pixel)
            return std::nullopt;
        return it->index;
    }

private:
    struct Entry
    {
        std::uint64_t pixel;
        std::size_t index;
    };
    std::vector<Entry> entries_;
};

} // namespace

MergedPoints MergePoints(std::span<const TCalibPoint> base, std::span<const TCalibPoint> ours,
                         std::span<const TCalibPoint> theirs)
{
    MergedPoints merged;
    merged.points.assign(ours.begin(), ours.end());
    const PixelIndex basePixels(base);
    const PixelIndex ourPixels(ours);
    RecordBag unchangedByThem(base);
    std::vector<TCalibPoint> added;
    for (const TCalibPoint &point : theirs) {
        const Record record = point.ToRecord();
        if (unchangedByThem.Take(record))
            continue;
        // Added or changed by the other side.
        const std::optional<std::size_t> ourIndex = ourPixels.Find(point);
        if (!ourIndex) {
            added.push_back(point);
            continue;
        }
        TCalibPoint &ourPoint = merged.points[*ourIndex];
        const std::optional<std::size_t> baseIndex = basePixels.Find(point);
        // Taken only where ours is still what both started from; otherwise both changed this
        // pixel (or made the same change) and the window's point stays.
        if (baseIndex && base[*baseIndex].ToRecord() == ourPoint.ToRecord()
            && ourPoint.ToRecord() != record) {
            ourPoint = point;
            ++merged.fromTheirs;
        }
    }

    // What the other side removed: points of the base it no longer holds. They go from ours only
    // where ours still holds them as they were.
    RecordBag stillTheirs(theirs);
    RecordBag removed(std::span<const TCalibPoint> {});
    bool anyRemoved = false;
    for (const TCalibPoint &point : base) {
        const Record record = point.ToRecord();
        if (!stillTheirs.Take(record)) {
            removed.Add(record);
            anyRemoved = true;
        }
    }
    if (anyRemoved) {
        std::vector<TCalibPoint> kept;
        kept.reserve(merged.points.size());
        for (const TCalibPoint &point : merged.points) {
            if (removed.Take(point.ToRecord()))
                ++merged.removedByTheirs;
            else
                kept.push_back(point);
        }
        merged.points = std::move(kept);
    }

    merged.fromTheirs += added.size();
    merged.points.insert(merged.points.end(), added.begin(), added.end());
    return merged;
}

} // namespace carteva
