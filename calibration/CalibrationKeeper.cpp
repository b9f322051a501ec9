// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/CalibrationKeeper.h"

#include "calibration/Errors.h"
#include "calibration/FileIo.h"
#include "calibration/PointMerge.h"

#include <algorithm>
#include <cerrno>
#include <new>

namespace carteva {

namespace fs = std::filesystem;

namespace {

// Reads the whole file; running out of memory is one more reason a read fails.
CalibrationReadResult ReadAll(const fs::path &path, std::vector<TCalibPoint> &points, FileOps &ops,
                              std::string &failure, FileState &state)
{
    try {
        return ReadCalibrationFile(path, points, ops, &failure, &state);
    } catch (const std::bad_alloc &) {
        failure
            = path.string() + ": out of memory after " + std::to_string(points.size()) + " points";
        return CalibrationReadResult::Failed;
    }
}

} // namespace

CalibrationReadResult CalibrationKeeper::Read(const fs::path &path,
                                              std::vector<TCalibPoint> &points)
{
    readFailure_.clear();
    const std::size_t before = points.size();
    FileState state;
    CalibrationReadResult result = ReadAll(path, points, Ops(), readFailure_, state);
    try {
        base_.assign(points.begin() + static_cast<std::ptrdiff_t>(before), points.end());
    } catch (const std::bad_alloc &) {
        base_.clear();
        readFailure_ = path.string() + ": out of memory keeping a copy of "
            + std::to_string(points.size() - before) + " points";
        result = CalibrationReadResult::Failed;
    }
    switch (result) {
    case CalibrationReadResult::Complete:
        knowledge_ = Knowledge::Known;
        state_ = state;
        existedAtStart_ = true;
        break;
    case CalibrationReadResult::NoSuchFile:
        knowledge_ = Knowledge::Known;
        state_ = FileState::Missing();
        break;
    case CalibrationReadResult::Failed:
        knowledge_ = Knowledge::Unreadable;
        existedAtStart_ = true;
        break;
    }
    return result;
}

CalibrationKeeper::WriteResult CalibrationKeeper::Write(const fs::path &path, std::int32_t width,
                                                        std::int32_t height,
                                                        std::vector<TCalibPoint> &points)
{
    writeWarning_.clear();
    WriteResult result;
    const auto notReplaced = [&](std::string reason) {
        result.outcome = Outcome::NotReplaced;
        result.reason = std::move(reason);
        return result;
    };
    // A run that could not read the file has nothing to write unless its points changed.
    if (knowledge_ != Knowledge::Known && SameRecords(points, base_)) {
        result.outcome = Outcome::Untouched;
        return result;
    }
    struct stat info;
    if (Ops().Stat(path.c_str(), &info) != 0) {
        if (errno != ENOENT) // a link loop, a folder that may not be searched: nothing to compare
            return notReplaced(FailureReason(path, "stat", errno));
        // Gone, or never there: nothing can be lost by writing ours.
        return Replace(path, width, height, points, result);
    }
    if (knowledge_ != Knowledge::Known)
        return notReplaced(path.string() + ": not read in this run, so it is left as it is"
                           + (readFailure_.empty() ? "" : " (" + readFailure_ + ")"));
    if (state_.SurelyUnchanged(info))
        return Replace(path, width, height, points, result);

    std::vector<TCalibPoint> theirs;
    FileState now;
    std::string failure;
    switch (ReadAll(path, theirs, Ops(), failure, now)) {
    case CalibrationReadResult::NoSuchFile:
        return Replace(path, width, height, points, result);
    case CalibrationReadResult::Failed:
        return notReplaced(failure);
    case CalibrationReadResult::Complete:
        break;
    }
    if (state_.exists && now.hash == state_.hash && now.size == state_.size)
        return Replace(path, width, height, points, result); // touched, not changed

    MergedPoints merged = MergePoints(base_, points, theirs);
    // From here on the file as it is now is what both sides start from, whatever the write does.
    base_ = std::move(theirs);
    state_ = now;
    if (merged.fromTheirs == 0 && merged.removedByTheirs == 0)
        return Replace(path, width, height, points, result);
    if (existedAtStart_ && !backupKept_) {
        backupKept_ = true;
        try {
            writeWarning_ = BackupCalibrationFile(path, Ops());
        } catch (const Error &error) {
            // The merge keeps the other side's points; the backup only adds a way back.
            writeWarning_ = std::string("no backup before merging: ") + error.what();
        }
    }
    points = std::move(merged.points);
    result.outcome = Outcome::Merged;
    result.fromOtherSide = merged.fromTheirs;
    result.removedByOtherSide = merged.removedByTheirs;
    return Replace(path, width, height, points, result);
}

CalibrationKeeper::WriteResult CalibrationKeeper::Replace(const fs::path &path, std::int32_t width,
                                                          std::int32_t height,
                                                          std::vector<TCalibPoint> &points,
                                                          WriteResult result)
{
    const std::vector<std::uint8_t> bytes = EncodeCalibration(width, height, points);
    const std::string warning = ReplaceFile(Ops(), path, bytes, std::nullopt);
    if (!warning.empty())
        writeWarning_ += (writeWarning_.empty() ? "" : "; ") + warning;
    ByteHash hash;
    hash.Add(bytes);
    struct stat info;
    if (Ops().Stat(path.c_str(), &info) == 0) {
        state_ = FileState::Of(info);
        state_.hash = hash.Value();
    } else {
        state_ = FileState::Missing(); // the next write reads the file before replacing it
    }
    base_ = points;
    knowledge_ = Knowledge::Known;
    return result;
}

CalibrationKeeper::WriteResult CalibrationKeeper::Transact(const std::filesystem::path &path,
                                                           std::int32_t width, std::int32_t height,
                                                           std::vector<TCalibPoint> &points,
                                                           const Edit &edit)
{
    if (edit)
        edit(points);
    return Write(path, width, height, points);
}

} // namespace carteva
