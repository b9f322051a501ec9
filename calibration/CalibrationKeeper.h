// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/CalibPoint.h"
#include "calibration/CalibrationFile.h"
#include "calibration/FileOps.h"
#include "calibration/FileState.h"
#include "calibration/PointMerge.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace carteva {

// Decides what a save may do to the calibration file of the opened bitmap, so that no save
// destroys points that are on disk. Every write is one transaction under the file's lock (see
// FileLock): the file is read, another writer's change merged in, the edit applied and the result
// written, with no other Carteva in between.
// - It never writes over a file it has not read: it remembers the file's bytes as last read or
//   written (a hash of all of them, whatever the modification time says); when someone else wrote
//   the file meanwhile, the file's points and the window's are merged three ways (see
//   MergePoints). What the merge drops of the other side (its version of a point both changed,
//   points it removed) is set aside first.
// - A file another writer left broken (a length that is not 8 + 40 n, or a header that is not the
//   picture's size) is never merged: it is set aside as it is, and the window's points written.
// - A run that could not read the file (the picture or the file failed to load) never replaces
//   it, nor its backup: its points belong in a recovery copy.
// - The file as this run first read it is kept as "<file>.bak" at the first write that changes its
//   points.
class CalibrationKeeper
{
public:
    enum class Outcome {
        Written, // the window's points are in the file
        Merged, // another writer's change was merged in (or overruled: see conflicts)
        NotReplaced, // the file is left as it is; the points belong elsewhere
        Untouched, // a run that could not read the file, with no points of its own to keep
    };
    struct WriteResult
    {
        Outcome outcome = Outcome::Written;
        std::size_t fromOtherSide = 0; // Merged: points added or changed by the other writer
        std::size_t removedByOtherSide = 0; // Merged: points it removed
        std::string reason; // NotReplaced: why, for the log
        // Merged: points both sides changed, where the window's version stays.
        std::vector<MergeConflict> conflicts;
        std::string otherVersionsCopy; // where the other side's versions of them went
        std::string removedCopy; // where the points the other writer removed went
        // Why the file as another writer left it could not be merged; empty when it could.
        std::string brokenFile;
        std::string brokenCopy; // where that file went, unchanged
        // Where the content of a rewrite that was cut off went, the file having moved on since.
        std::string journalCopy;
        // Why the file's lock could not be had (the system keeps none there); the write went on,
        // by a rename only.
        std::string lockWarning;
    };
    // Keeps bytes that must not be lost somewhere new, never over another file; returns where.
    // Throws Error when it cannot.
    using SetAside = std::function<std::string(const std::filesystem::path &calibrationFile,
                                               std::span<const std::uint8_t> bytes)>;

    CalibrationKeeper() = default;
    // Every file operation goes through `ops` (tests); not owned.
    explicit CalibrationKeeper(FileOps &ops)
        : ops_(&ops)
    { }

    // Where set-aside bytes go; by default a dated file beside the calibration file.
    void SetAsideWith(SetAside setAside) { setAside_ = std::move(setAside); }
    // Where the side file of a rewrite in place goes when the file's own folder takes none.
    void SetJournalFolder(std::filesystem::path folder) { journalFolder_ = std::move(folder); }

    // Appends the file's points; see ReadCalibrationFile. An interrupted rewrite is dealt with
    // first (RecoveryNote and JournalCopy say how). Running out of memory fails the read like any
    // other reason. A lock held by another program is waited for only briefly: the file is read
    // all the same, and LockFailure() says why it was not locked.
    CalibrationReadResult Read(const std::filesystem::path &path, std::vector<TCalibPoint> &points);
    // Why the last Read could not lock the file (held by another program, or none to be had);
    // empty when it could.
    const std::string &LockFailure() const { return lockFailure_; }
    // Whether that was because the system keeps no locks there, rather than another holder.
    bool LockUnavailable() const { return lockUnavailable_; }
    // Where the last Read or transaction kept what a rewrite cut off meant to write, the file
    // having moved on since; empty when none.
    const std::string &JournalCopy() const { return journalCopy_; }
    // Why the last Read did not complete (a missing file too), naming the file, the call and the
    // system's message; empty when it did or before any Read.
    const std::string &ReadFailure() const { return readFailure_; }
    // What the last Read or transaction did about an interrupted rewrite; empty when nothing.
    const std::string &RecoveryNote() const { return recoveryNote_; }
    // Writes `points` to the file as a Save or the close does: a transaction without an edit.
    WriteResult Write(const std::filesystem::path &path, std::int32_t width, std::int32_t height,
                      std::vector<TCalibPoint> &points)
    {
        return Transact(path, width, height, points, {});
    }
    // One change of the list. A transaction applies it to the list as it is once another writer's
    // change has been merged in, so that it acts on what the file holds now.
    using Edit = std::function<void(std::vector<TCalibPoint> &points)>;
    // Under the file's lock: reads the file, merges another writer's change into `points`, applies
    // `edit` (none: a plain save) and writes the result. An edit that throws leaves `points`, the
    // file and this keeper as they were, and its exception goes on unchanged. Other failures throw
    // Error, its what() saying why; `points` then holds the merge and the edit all the same (they
    // belong in a recovery copy), and LastResult() what the merge did.
    WriteResult Transact(const std::filesystem::path &path, std::int32_t width, std::int32_t height,
                         std::vector<TCalibPoint> &points, const Edit &edit);
    // What the last transaction found and did, also when it failed after the merge.
    const WriteResult &LastResult() const { return lastResult_; }

    // For an edit, while it runs: the other writer's changes the merge brought into the list,
    // each as the record the window had and the record that took its place.
    struct ChangeThere
    {
        TCalibPoint from, to;
    };
    const std::vector<ChangeThere> &ChangedThere() const { return changedThere_; }
    // For an edit, while it runs: it replaces `theirs`, the other writer's version of a point the
    // window showed otherwise. That version is set aside and told as a conflict, as the merge's.
    void Overrule(const TCalibPoint &theirs);
    // What the last Write saved but could not make sure of: the file (or its backup) is in place,
    // yet its folder could not be flushed. Not a failure, only worth logging; empty otherwise.
    const std::string &WriteWarning() const { return writeWarning_; }
    // The points the file held when this run last read or wrote it; none when it has not been
    // read. What a failed write left there is safe whatever the window still holds.
    std::span<const TCalibPoint> FileHolds() const
    {
        return knowledge_ == Knowledge::Known ? std::span<const TCalibPoint>(base_)
                                              : std::span<const TCalibPoint>();
    }

private:
    enum class Knowledge {
        NotRead, // no Read yet: the picture failed to load
        Unreadable, // the file existed but could not be read
        Known, // `state_` and `base_` are what the file held
    };

    FileOps &Ops() { return ops_ ? *ops_ : posix_; }
    std::string Aside(const std::filesystem::path &path, std::span<const std::uint8_t> bytes);
    void KeepBackup(const std::filesystem::path &path, std::span<const TCalibPoint> points);
    void Replace(const std::filesystem::path &path, std::int32_t width, std::int32_t height,
                 const std::vector<TCalibPoint> &points);
    // Deals with a rewrite that was cut off; true when it blocks any write.
    bool FinishRewrite(const std::filesystem::path &path);

    FileOps posix_;
    FileOps *ops_ = nullptr;
    SetAside setAside_;
    std::filesystem::path journalFolder_;
    Knowledge knowledge_ = Knowledge::NotRead;
    FileState state_;
    std::vector<TCalibPoint> base_;
    // The file as this run first read it (its header and records), for its backup; none when
    // there was no file.
    struct FirstRead
    {
        std::int32_t width = 0, height = 0;
        std::vector<TCalibPoint> points;
    };
    std::optional<FirstRead> first_;
    bool backupKept_ = false;
    WriteResult lastResult_;
    std::string readFailure_;
    std::string recoveryNote_;
    std::string writeWarning_;
    std::string lockFailure_;
    bool lockUnavailable_ = false;
    std::string journalCopy_;
    bool inPlaceAllowed_ = true; // the file's lock is held
    std::vector<ChangeThere> changedThere_;
    std::vector<TCalibPoint> overruled_;
};

} // namespace carteva
