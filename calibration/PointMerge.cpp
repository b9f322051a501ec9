// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/PointMerge.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <unordered_map>

namespace carteva {

namespace {

using Record = TCalibPoint::Record;

// Hashed, not ordered: a merge of a million records is a few passes, not a sort of 40-byte keys.
struct RecordHash
{
    std::size_t operator()(const Record &record) const
    {
        std::uint64_t hash = 14695981039346656037ull;
        for (std::size_t at = 0; at < record.size(); at += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, record.data() + at, 8);
            hash = (hash ^ word) * 1099511628211ull;
            hash ^= hash >> 29;
        }
        return static_cast<std::size_t>(hash);
    }
};
template<typename Value> using RecordMap = std::unordered_map<Record, Value, RecordHash>;

// Indexes under keys, each key's taken in the order they were added, at constant cost per index.
template<typename Key, typename Hash = std::hash<Key>> class Queues
{
public:
    // Indexes below `capacity`, under about `keys` keys.
    Queues(std::size_t capacity, std::size_t keys)
        : next_(capacity, None)
    {
        ends_.reserve(keys);
    }
    void Add(const Key &key, std::size_t index)
    {
        const auto [it, made] = ends_.try_emplace(key, index, index);
        if (made)
            return;
        if (it->second.first == None)
            it->second.first = index;
        else
            next_[it->second.second] = index;
        it->second.second = index;
    }
    // The first index still under the key, taken off it.
    std::optional<std::size_t> Take(const Key &key)
    {
        const auto it = ends_.find(key);
        if (it == ends_.end() || it->second.first == None)
            return std::nullopt;
        const std::size_t index = it->second.first;
        it->second.first = next_[index];
        return index;
    }

private:
    static constexpr std::size_t None = std::size_t(-1);
    std::unordered_map<Key, std::pair<std::size_t, std::size_t>, Hash> ends_; // first, last
    std::vector<std::size_t> next_;
};

std::uint64_t PixelOf(const TCalibPoint &point)
{
    return (std::uint64_t(std::uint32_t(point.X)) << 32) | std::uint32_t(point.Y);
}

// One side's change of one base record: replaced by `to`, or removed.
struct Change
{
    TCalibPoint From;
    std::optional<TCalibPoint> To;
};

struct SideChanges
{
    std::vector<Change> Changes; // in base order
    std::vector<TCalibPoint> Added; // new points, in the side's order
};

bool SameRecord(const TCalibPoint &a, const TCalibPoint &b)
{
    return a.X == b.X && a.Y == b.Y && a.ToRecord() == b.ToRecord();
}

// The records of a list, each to be taken once by an equal record: an open-addressed table of
// their places, so that a million of them cost no allocation each. Of equal records the first in
// the list is taken first.
class RecordIndex
{
public:
    explicit RecordIndex(std::span<const TCalibPoint> points)
        : points_(points)
        , taken_(points.size(), false)
    {
        std::size_t size = 16;
        while (size < 2 * points.size())
            size *= 2;
        slots_.assign(size, Empty);
        for (std::size_t i = 0; i < points.size(); ++i) {
            std::size_t at = Home(points[i].ToRecord());
            while (slots_[at] != Empty)
                at = (at + 1) & (slots_.size() - 1);
            slots_[at] = i;
        }
    }
    // The place of the first equal record not taken yet, now taken.
    std::optional<std::size_t> Take(const TCalibPoint &point)
    {
        const Record record = point.ToRecord();
        for (std::size_t at = Home(record); slots_[at] != Empty;
             at = (at + 1) & (slots_.size() - 1)) {
            const std::size_t i = slots_[at];
            if (!taken_[i] && SameRecord(points_[i], point)) {
                taken_[i] = true;
                return i;
            }
        }
        return std::nullopt;
    }
    bool Taken(std::size_t i) const { return taken_[i]; }

private:
    static constexpr std::size_t Empty = std::size_t(-1);
    std::size_t Home(const Record &record) const
    {
        return RecordHash()(record) & (slots_.size() - 1);
    }

    std::span<const TCalibPoint> points_;
    std::vector<bool> taken_;
    std::vector<std::size_t> slots_;
};

// Of the records in `counts`, the last copies in `list` (as many as counted), in list order: where
// a record is held more often than matched, the first copies are the matched ones.
std::vector<TCalibPoint> LastCopies(std::span<const TCalibPoint> list,
                                    RecordMap<std::size_t> counts)
{
    std::vector<bool> picked(list.size(), false);
    std::size_t left = 0;
    for (const auto &[record, count] : counts)
        left += count;
    for (std::size_t i = list.size(); i-- > 0 && left > 0;) {
        const auto it = counts.find(list[i].ToRecord());
        if (it != counts.end() && it->second > 0) {
            --it->second;
            --left;
            picked[i] = true;
        }
    }
    std::vector<TCalibPoint> copies;
    for (std::size_t i = 0; i < list.size(); ++i)
        if (picked[i])
            copies.push_back(list[i]);
    return copies;
}

// What the side did to the base, record by record: each record can be matched once, so a record the
// base holds twice and the side once counts as one removed.
SideChanges Diff(std::span<const TCalibPoint> wholeBase, std::span<const TCalibPoint> wholeSide)
{
    // Records that stand where they stood match at once: a change of a few points in a large file
    // leaves only the few between the common start and end to count.
    std::span<const TCalibPoint> base = wholeBase, side = wholeSide;
    std::size_t start = 0;
    while (start < base.size() && start < side.size() && SameRecord(base[start], side[start]))
        ++start;
    std::size_t end = 0;
    while (end < base.size() - start && end < side.size() - start
           && SameRecord(base[base.size() - 1 - end], side[side.size() - 1 - end]))
        ++end;
    base = base.subspan(start, base.size() - start - end);
    side = side.subspan(start, side.size() - start - end);

    // Between them, records that still follow each other match too, the two lists stepping over a
    // few records of either to find each other again; only what is left over is counted by record.
    constexpr std::size_t Reach = 4;
    std::vector<TCalibPoint> baseLeft, sideLeft;
    std::size_t i = 0, j = 0;
    while (i < base.size() && j < side.size()) {
        if (SameRecord(base[i], side[j])) {
            ++i;
            ++j;
            continue;
        }
        std::size_t d = 1;
        for (; d <= Reach; ++d) {
            if (j + d < side.size() && SameRecord(base[i], side[j + d])) {
                sideLeft.insert(sideLeft.end(), side.begin() + std::ptrdiff_t(j),
                                side.begin() + std::ptrdiff_t(j + d));
                j += d;
                break;
            }
            if (i + d < base.size() && SameRecord(base[i + d], side[j])) {
                baseLeft.insert(baseLeft.end(), base.begin() + std::ptrdiff_t(i),
                                base.begin() + std::ptrdiff_t(i + d));
                i += d;
                break;
            }
        }
        if (d > Reach) {
            baseLeft.push_back(base[i++]);
            sideLeft.push_back(side[j++]);
        }
    }
    baseLeft.insert(baseLeft.end(), base.begin() + std::ptrdiff_t(i), base.end());
    sideLeft.insert(sideLeft.end(), side.begin() + std::ptrdiff_t(j), side.end());

    // What is left differs as a multiset: so many copies of each record removed, so many added.
    RecordIndex inSide(sideLeft);
    RecordMap<std::size_t> removedCount, addedCount;
    for (const TCalibPoint &point : baseLeft)
        if (!inSide.Take(point))
            ++removedCount[point.ToRecord()];
    for (std::size_t k = 0; k < sideLeft.size(); ++k)
        if (!inSide.Taken(k))
            ++addedCount[sideLeft[k].ToRecord()];
    // Which copies they are does not depend on how they were found: the last ones of each list.
    const std::vector<TCalibPoint> removed = LastCopies(wholeBase, std::move(removedCount));
    SideChanges result;
    result.Added = LastCopies(wholeSide, std::move(addedCount));
    Queues<std::uint64_t> addedAt(result.Added.size(), result.Added.size());
    for (std::size_t k = 0; k < result.Added.size(); ++k)
        addedAt.Add(PixelOf(result.Added[k]), k);
    // A removal and an addition on one pixel are that point changed.
    std::vector<bool> paired(result.Added.size(), false);
    for (const TCalibPoint &point : removed) {
        Change change {point, std::nullopt};
        if (const std::optional<std::size_t> at = addedAt.Take(PixelOf(point))) {
            change.To = result.Added[*at];
            paired[*at] = true;
        }
        result.Changes.push_back(change);
    }
    std::vector<TCalibPoint> unpaired;
    for (std::size_t i = 0; i < result.Added.size(); ++i)
        if (!paired[i])
            unpaired.push_back(result.Added[i]);
    result.Added = std::move(unpaired);
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
    Queues<Record, RecordHash> ourChanges(mine.Changes.size(), mine.Changes.size());
    for (std::size_t k = 0; k < mine.Changes.size(); ++k)
        ourChanges.Add(mine.Changes[k].From.ToRecord(), k);
    // Where each record of ours is, to find the one another writer's change acts on.
    // Only the records the other side changed are looked for.
    RecordMap<std::size_t> wanted;
    wanted.reserve(other.Changes.size());
    for (const Change &change : other.Changes)
        ++wanted[change.From.ToRecord()];
    Queues<Record, RecordHash> positions(merged.points.size(), wanted.size());
    for (std::size_t i = 0; i < merged.points.size() && !wanted.empty(); ++i) {
        const Record record = merged.points[i].ToRecord();
        if (wanted.contains(record))
            positions.Add(record, i);
    }
    std::vector<bool> gone(merged.points.size(), false);

    for (const Change &change : other.Changes) {
        const Record from = change.From.ToRecord();
        if (const std::optional<std::size_t> ourChange = ourChanges.Take(from)) {
            if (!Same(mine.Changes[*ourChange].To, change.To))
                merged.conflicts.push_back({change.From.X, change.From.Y, change.To});
            continue;
        }
        // We still hold the record unchanged.
        const std::optional<std::size_t> at = positions.Take(from);
        if (!at)
            continue; // cannot happen: a record we did not change is still ours
        const std::size_t i = *at;
        if (change.To) {
            merged.points[i] = *change.To;
            merged.changed.push_back({change.From, *change.To});
            ++merged.fromTheirs;
        } else {
            gone[i] = true;
            merged.removed.push_back(change.From);
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
    RecordMap<std::size_t> ourNew;
    ourNew.reserve(mine.Added.size());
    for (const TCalibPoint &point : mine.Added)
        ++ourNew[point.ToRecord()];
    for (const TCalibPoint &point : other.Added) {
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
