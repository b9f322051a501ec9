// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/CalibrationFile.h"
#include "calibration/FileOps.h"
#include "calibration/FileState.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace carteva {

// Decides what a save may do to the calibration file of the opened bitmap, so that no save
// destroys points that are on disk:
// - it never writes over a file it has not read: it remembers the file as last read or written and
//   looks before every write; when someone else wrote the file meanwhile, the file's points and
//   the window's are merged three ways (see MergePoints) and the merge is written;
// - a run that could not read the file (the picture or the file failed to load) never replaces
//   it, nor its backup: its points belong in a recovery copy;
// - a file that existed before the run is kept as "<file>.bak" before the first merge replaces it.
class CalibrationKeeper
{
public:
    enum class Outcome {
        Written, // the window's points are in the file
        Merged, // another writer's points were merged in: the caller's list changed
        NotReplaced, // the file is left as it is; the points belong elsewhere
        Untouched, // a run that could not read the file, with no points of its own to keep
    };
    struct WriteResult
    {
        Outcome outcome = Outcome::Written;
        std::size_t fromOtherSide = 0; // Merged: points added or changed by the other writer
        std::size_t removedByOtherSide = 0; // Merged: points it removed
        std::string reason; // NotReplaced: why, for the log
    };

    CalibrationKeeper() = default;
    // Every file operation goes through `ops` (tests); not owned.
    explicit CalibrationKeeper(FileOps &ops)
        : ops_(&ops)
    { }

    // Appends the file's points; see ReadCalibrationFile. Running out of memory fails the read
    // like any other reason.
    CalibrationReadResult Read(const std::filesystem::path &path, std::vector<TCalibPoint> &points);
    // Why the last Read did not complete (a missing file too), naming the file, the call and the
    // system's message; empty when it did or before any Read.
    const std::string &ReadFailure() const { return readFailure_; }
    // Writes `points` to the file as a Save or the close does, after merging in what another
    // writer put there (which changes `points`). Throws Error when the write fails, its what()
    // saying why.
    WriteResult Write(const std::filesystem::path &path, std::int32_t width, std::int32_t height,
                      std::vector<TCalibPoint> &points);
    // One change of the list. A transaction applies it to the list as it is once another writer's
    // change has been merged in, so that it acts on what the file holds now.
    using Edit = std::function<void(std::vector<TCalibPoint> &points)>;
    // Write with `edit` applied first (none: a plain Write). Throws as Write does; a throwing
    // edit writes nothing.
    WriteResult Transact(const std::filesystem::path &path, std::int32_t width, std::int32_t height,
                         std::vector<TCalibPoint> &points, const Edit &edit);
    // What the last Write saved but could not make sure of: the file (or its backup) is in place,
    // yet its folder could not be flushed. Not a failure, only worth logging; empty otherwise.
    const std::string &WriteWarning() const { return writeWarning_; }

private:
    enum class Knowledge {
        NotRead, // no Read yet: the picture failed to load
        Unreadable, // the file existed but could not be read
        Known, // `state_` and `base_` are what the file held
    };

    FileOps &Ops() { return ops_ ? *ops_ : posix_; }
    WriteResult Replace(const std::filesystem::path &path, std::int32_t width, std::int32_t height,
                        std::vector<TCalibPoint> &points, WriteResult result);

    FileOps posix_;
    FileOps *ops_ = nullptr;
    Knowledge knowledge_ = Knowledge::NotRead;
    FileState state_;
    std::vector<TCalibPoint> base_;
    bool existedAtStart_ = false;
    bool backupKept_ = false;
    std::string readFailure_;
    std::string writeWarning_;
};

} // namespace carteva
