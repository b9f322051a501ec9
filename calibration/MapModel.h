// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/CalibrationKeeper.h"
#include "calibration/MapChangeReport.h"
#include "calibration/Mapping.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace carteva {

// A point's identity for as long as the run lasts: it follows the point through edits, merges
// and undo, whatever its place in the list.
using PointId = std::uint64_t;

// The open map without any window: its points, the picture's size, its projection, the chosen
// mapping, and the one georeferencing made of them that every reader uses. Each change goes
// through the keeper's transaction and comes back as a report; nothing here shows a box.
class MapModel
{
public:
    MapModel() = default;
    // Every file operation of the keeper goes through `ops` (tests); not owned.
    explicit MapModel(FileOps &ops)
        : keeper_(ops)
    { }
    MapModel(const MapModel &) = delete;
    MapModel &operator=(const MapModel &) = delete;

    // The calibration file behind the map; empty: no map chosen, changes stay in memory.
    void Open(std::filesystem::path calibrationFile, std::int32_t width, std::int32_t height);
    void SetPictureSize(std::int32_t width, std::int32_t height);
    const std::filesystem::path &CalibrationFile() const { return calibrationFile_; }
    std::int32_t PictureWidth() const { return width_; }
    std::int32_t PictureHeight() const { return height_; }

    // Replaces the points with the file's; the keeper's own result and failure say how it went.
    CalibrationReadResult Load();

    const std::vector<TCalibPoint> &Points() const { return points_; }
    const std::vector<PointId> &Ids() const { return ids_; }
    // Where the point of that identity is now; none when it is gone.
    std::optional<std::size_t> Find(PointId id) const;

    // One change of the list, made inside the keeper's transaction on the list as another writer
    // left it (none: a plain write). An edit that throws changes nothing and its exception goes
    // on; every other failure is in the report.
    MapChangeReport Change(const CalibrationKeeper::Edit &edit);

    MappingKind Kind() const { return setup_.Kind; }
    void SetKind(MappingKind kind);
    const MappingSetup &Setup() const { return setup_; }
    // Reads the projection kept beside that calibration file, where SetProjection keeps it from
    // now on. A file that cannot be read or a definition PROJ refuses leaves degrees, and
    // ProjectionProblem says why; never throws. "Degrees" there means none, as the projection
    // ranking writes it. True when the setup changed.
    bool OpenProjection(const std::filesystem::path &calibrationFile);
    // Checks the definition with PROJ, keeps it beside the map (empty: degrees, the file removed)
    // and applies it. Throws Error with PROJ's reason or the file's, changing nothing.
    void SetProjection(const std::string &definition);
    const std::string &ProjectionProblem() const { return projectionProblem_; }

    // The one mapping of these points with this setup, made when first asked for after a change.
    const Mapping &Georeferencing() const;
    // Goes up with every change of the points or the setup: a reader maps again when it differs.
    std::uint64_t Revision() const { return revision_; }

    CalibrationKeeper &Keeper() { return keeper_; }
    const CalibrationKeeper &Keeper() const { return keeper_; }

    // The list itself, for tests of what a later write does; their points get identities then.
    std::vector<TCalibPoint> &PointsForTest();

private:
    // Gives the points after a change the identities of the points before: the same record
    // first, then the same pixel (an edited point), in order; the rest are new.
    void Identify(std::span<const TCalibPoint> before, std::span<const PointId> beforeIds);
    void Touch() { ++revision_; }

    CalibrationKeeper keeper_;
    std::filesystem::path calibrationFile_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::vector<TCalibPoint> points_;
    std::vector<PointId> ids_;
    PointId nextId_ = 1;
    MappingSetup setup_;
    std::filesystem::path projectionBeside_;
    std::string projectionProblem_;
    std::uint64_t revision_ = 1;
    mutable std::unique_ptr<Mapping> mapping_;
    mutable std::uint64_t mappingRevision_ = 0;
};

} // namespace carteva
