// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/MapModel.h"

#include "calibration/Errors.h"
#include "calibration/MapProjection.h"
#include "calibration/ProjectionFile.h"

#include <algorithm>
#include <exception>
#include <new>
#include <tuple>
#include <utility>

namespace carteva {

namespace {

// The failure's own words, as the window has always shown them.
std::string WordsOf(std::exception_ptr failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::bad_alloc &) {
        return "Out of memory";
    } catch (const std::exception &e) {
        return e.what();
    } catch (...) {
        return "Unknown error";
    }
}

bool CameIn(const CalibrationKeeper::WriteResult &result)
{
    return result.outcome == CalibrationKeeper::Outcome::Merged
        && (result.fromOtherSide > 0 || result.removedByOtherSide > 0);
}

} // namespace

void MapModel::Open(std::filesystem::path calibrationFile, std::int32_t width, std::int32_t height)
{
    calibrationFile_ = std::move(calibrationFile);
    SetPictureSize(width, height);
}

void MapModel::SetPictureSize(std::int32_t width, std::int32_t height)
{
    width_ = width;
    height_ = height;
}

CalibrationReadResult MapModel::Load()
{
    points_.clear();
    ids_.clear();
    const CalibrationReadResult result = keeper_.Read(calibrationFile_, points_);
    Identify({}, {});
    Touch();
    return result;
}

std::optional<std::size_t> MapModel::Find(PointId id) const
{
    const auto found = std::find(ids_.begin(), ids_.end(), id);
    if (found == ids_.end() || std::size_t(found - ids_.begin()) >= points_.size())
        return std::nullopt;
    return std::size_t(found - ids_.begin());
}

MapChangeReport MapModel::Change(const CalibrationKeeper::Edit &edit)
{
    // Points put in by hand (tests) take their identities now.
    if (ids_.size() != points_.size())
        Identify(points_, ids_);
    const std::vector<TCalibPoint> before = points_;
    MapChangeReport report;
    if (calibrationFile_.empty()) {
        // No map chosen: no file to write.
        if (edit)
            edit(points_);
    } else {
        bool editFailed = false;
        CalibrationKeeper::Edit guarded;
        if (edit) {
            guarded = [&](std::vector<TCalibPoint> &list) {
                try {
                    edit(list);
                } catch (...) {
                    editFailed = true;
                    throw;
                }
            };
        }
        try {
            report.Write = keeper_.Transact(calibrationFile_, width_, height_, points_, guarded);
        } catch (...) {
            // The edit's own failure is the caller's business, not a failed write.
            if (editFailed)
                throw;
            report.Failure = WordsOf(std::current_exception());
            // What the merge did before the write failed, and what it set aside.
            report.Write = keeper_.LastResult();
        }
        report.CameIn = CameIn(*report.Write);
    }
    report.Changed = !SameRecords(before, points_);
    if (report.Changed) {
        Identify(before, ids_);
        Touch();
    }
    return report;
}

void MapModel::SetKind(MappingKind kind)
{
    if (kind == setup_.Kind)
        return;
    setup_.Kind = kind;
    Touch();
}

bool MapModel::OpenProjection(const std::filesystem::path &calibrationFile)
{
    projectionBeside_ = calibrationFile;
    const bool had = setup_.Projection != nullptr;
    setup_.Projection.reset();
    projectionProblem_.clear();
    try {
        setup_.Projection = ProjectionFile::Open(calibrationFile);
    } catch (const std::exception &error) {
        projectionProblem_ = error.what();
    }
    if (!had && !setup_.Projection)
        return false;
    Touch();
    return true;
}

void MapModel::SetProjection(const std::string &definition)
{
    std::shared_ptr<const MapProjection> projection;
    if (!definition.empty() && definition != "Degrees")
        projection = std::make_shared<const MapProjection>(definition);
    if (!projectionBeside_.empty())
        ProjectionFile::Write(projectionBeside_, definition);
    setup_.Projection = std::move(projection);
    projectionProblem_.clear();
    Touch();
}

const Mapping &MapModel::Georeferencing() const
{
    if (!mapping_ || mappingRevision_ != revision_) {
        mapping_ = std::make_unique<Mapping>(setup_, points_);
        mappingRevision_ = revision_;
    }
    return *mapping_;
}

std::vector<TCalibPoint> &MapModel::PointsForTest()
{
    Touch();
    return points_;
}

void MapModel::Identify(std::span<const TCalibPoint> before, std::span<const PointId> beforeIds)
{
    const std::size_t known = std::min(before.size(), beforeIds.size());
    std::vector<PointId> ids(points_.size(), 0);
    // A change mostly touches a few points in one place: the runs before and after it keep
    // their places and their identities without a search.
    std::size_t head = 0;
    while (head < known && head < points_.size() && before[head].ToRecord() == points_[head].ToRecord()) {
        ids[head] = beforeIds[head];
        ++head;
    }
    std::size_t tail = 0;
    while (tail < known - head && tail < points_.size() - head
           && before[known - 1 - tail].ToRecord() == points_[points_.size() - 1 - tail].ToRecord()) {
        ids[points_.size() - 1 - tail] = beforeIds[known - 1 - tail];
        ++tail;
    }
    std::vector<bool> taken(known, false);
    std::fill(taken.begin(), taken.begin() + std::ptrdiff_t(head), true);
    std::fill(taken.end() - std::ptrdiff_t(tail), taken.end(), true);
    // Each pass pairs the rest of the new list with untaken points of the old by a key, in order.
    const auto pair = [&](auto key) {
        using Key = decltype(key(before[0]));
        std::vector<std::pair<Key, std::size_t>> old;
        for (std::size_t i = head; i < known - tail; ++i)
            if (!taken[i])
                old.emplace_back(key(before[i]), i);
        if (old.empty())
            return;
        std::sort(old.begin(), old.end());
        std::vector<std::size_t> next(old.size(), 0); // per run of equal keys: the next unused
        for (std::size_t j = head; j < points_.size() - tail; ++j) {
            if (ids[j] != 0)
                continue;
            const Key k = key(points_[j]);
            const auto first = std::lower_bound(old.begin(), old.end(), std::pair(k, std::size_t(0)));
            if (first == old.end() || first->first != k)
                continue;
            const std::size_t run = std::size_t(first - old.begin());
            const std::size_t at = run + next[run];
            if (at >= old.size() || old[at].first != k)
                continue;
            ++next[run];
            ids[j] = beforeIds[old[at].second];
            taken[old[at].second] = true;
        }
    };
    pair([](const TCalibPoint &p) { return p.ToRecord(); });
    pair([](const TCalibPoint &p) { return std::pair(p.X, p.Y); });
    for (PointId &id : ids)
        if (id == 0)
            id = nextId_++;
    ids_ = std::move(ids);
}

} // namespace carteva
