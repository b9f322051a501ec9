// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/CalibrationKeeper.h"

#include "calibration/CalibrationLayout.h"
#include "calibration/Descriptor.h"
#include "calibration/Errors.h"
#include "calibration/FileIo.h"
#include "calibration/FileLock.h"
#include "calibration/RewriteJournal.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <new>

namespace carteva {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t HeaderSize = CalibrationLayout::HeaderSize;
constexpr std::size_t RecordSize = CalibrationLayout::RecordSize;
constexpr mode_t ModeBits = 07777;
constexpr std::chrono::milliseconds OpenPatience {500};

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

// The file as it is now, every byte of it.
struct Snapshot
{
    enum class Kind { Missing, Unreadable, Read } kind = Kind::Missing;
    std::vector<std::uint8_t> bytes;
    std::string failure; // Unreadable: why
    mode_t mode = 0;
};

Snapshot TakeSnapshot(FileOps &ops, const fs::path &path)
{
    Snapshot snapshot;
    const RegularFile opened = OpenRegularFile(ops, path.c_str());
    if (opened.refusal != RegularFile::Refusal::None) {
        const bool missing = opened.refusal == RegularFile::Refusal::Open && opened.error == ENOENT;
        snapshot.kind = missing ? Snapshot::Kind::Missing : Snapshot::Kind::Unreadable;
        snapshot.failure = RefusalReason(path, opened);
        return snapshot;
    }
    Descriptor file(ops, opened.fd);
    snapshot.mode = opened.info.st_mode;
    try {
        if (const int error = ReadToEnd(ops, opened.fd, snapshot.bytes)) {
            snapshot.kind = Snapshot::Kind::Unreadable;
            snapshot.failure = FailureReason(path, "read", error);
            return snapshot;
        }
    } catch (const std::bad_alloc &) {
        snapshot.kind = Snapshot::Kind::Unreadable;
        snapshot.failure = path.string() + ": out of memory reading it";
        return snapshot;
    }
    snapshot.kind = Snapshot::Kind::Read;
    return snapshot;
}

// Why bytes another writer left cannot be merged; empty when they can.
std::string Broken(std::span<const std::uint8_t> bytes, std::int32_t width, std::int32_t height)
{
    if (bytes.size() < HeaderSize)
        return std::to_string(bytes.size()) + " bytes, shorter than its header";
    if ((bytes.size() - HeaderSize) % RecordSize != 0)
        return std::to_string((bytes.size() - HeaderSize) % RecordSize)
            + " bytes after the last whole record";
    const auto [w, h] = CalibrationLayout::ReadHeader(bytes.first<HeaderSize>());
    if (w != width || h != height)
        return "made for a picture of " + std::to_string(w) + " x " + std::to_string(h)
            + ", not " + std::to_string(width) + " x " + std::to_string(height);
    return {};
}

std::vector<TCalibPoint> Decode(std::span<const std::uint8_t> bytes)
{
    std::vector<TCalibPoint> points;
    points.reserve((bytes.size() - HeaderSize) / RecordSize);
    CalibrationLayout::AppendRecords(bytes.subspan(HeaderSize), points);
    return points;
}

FileState StateOf(std::span<const std::uint8_t> bytes)
{
    ByteHash hash;
    hash.Add(bytes);
    return {true, static_cast<off_t>(bytes.size()), hash.Value()};
}

} // namespace

bool CalibrationKeeper::FinishRewrite(const fs::path &path)
{
    const RewriteJournal::Finished finished = RewriteJournal::Finish(
        Ops(), path, journalFolder_,
        [&](std::span<const std::uint8_t> bytes) { return Aside(path, bytes); });
    recoveryNote_ = finished.note;
    journalCopy_ = finished.copy;
    return finished.blocked;
}

CalibrationReadResult CalibrationKeeper::Read(const fs::path &path,
                                              std::vector<TCalibPoint> &points)
{
    readFailure_.clear();
    recoveryNote_.clear();
    lockFailure_.clear();
    lockUnavailable_ = false;
    journalCopy_.clear();
    std::optional<FileLock> lock;
    try {
        // Opening does not wait out a stuck holder: the user hears of it at once.
        lock.emplace(Ops(), path, OpenPatience);
        lockFailure_ = lock->Unavailable();
        lockUnavailable_ = !lockFailure_.empty();
        FinishRewrite(path);
    } catch (const Error &error) {
        // The file is still read; the next save takes the lock or fails.
        lockFailure_ = error.what();
    }
    const std::size_t before = points.size();
    FileState state;
    CalibrationReadResult result = ReadAll(path, points, Ops(), readFailure_, state);
    try {
        base_.assign(points.begin() + static_cast<std::ptrdiff_t>(before), points.end());
        if (result == CalibrationReadResult::Complete) {
            // The header, for the backup: the records are those just read.
            std::uint8_t header[HeaderSize] = {};
            const RegularFile opened = OpenRegularFile(Ops(), path.c_str());
            if (opened.refusal == RegularFile::Refusal::None) {
                Descriptor file(Ops(), opened.fd);
                ReadFully(Ops(), opened.fd, header, HeaderSize);
            }
            const CalibrationLayout::Header size = CalibrationLayout::ReadHeader(header);
            first_ = FirstRead {size.Width, size.Height, base_};
        }
    } catch (const std::bad_alloc &) {
        base_.clear();
        first_.reset();
        readFailure_ = path.string() + ": out of memory keeping a copy of "
            + std::to_string(points.size() - before) + " points";
        result = CalibrationReadResult::Failed;
    }
    switch (result) {
    case CalibrationReadResult::Complete:
        knowledge_ = Knowledge::Known;
        state_ = state;
        break;
    case CalibrationReadResult::NoSuchFile:
        knowledge_ = Knowledge::Known;
        state_ = FileState::Missing();
        break;
    case CalibrationReadResult::Failed:
        knowledge_ = Knowledge::Unreadable;
        break;
    }
    return result;
}

std::string CalibrationKeeper::Aside(const fs::path &path, std::span<const std::uint8_t> bytes)
{
    if (setAside_)
        return setAside_(path, bytes);
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    return CreateDatedCopy(Ops(), folder, path.filename(), bytes).string();
}

void CalibrationKeeper::Overrule(const TCalibPoint &theirs)
{
    overruled_.push_back(theirs);
}

CalibrationKeeper::WriteResult CalibrationKeeper::Transact(const fs::path &path,
                                                           std::int32_t width, std::int32_t height,
                                                           std::vector<TCalibPoint> &points,
                                                           const Edit &edit)
{
    writeWarning_.clear();
    journalCopy_.clear();
    recoveryNote_.clear();
    lastResult_ = WriteResult();
    WriteResult &result = lastResult_;
    changedThere_.clear();
    overruled_.clear();
    // Nothing is written, but the change is made on the window's list as it was: it belongs in a
    // recovery copy, and the next transaction merges against the file as it really is.
    const auto failUnchanged = [&] {
        changedThere_.clear();
        overruled_.clear();
        std::vector<TCalibPoint> edited = points;
        if (edit)
            edit(edited);
        points = std::move(edited);
    };
    std::optional<FileLock> lock;
    try {
        lock.emplace(Ops(), path);
    } catch (const Error &) {
        failUnchanged();
        throw;
    }
    result.lockWarning = lock->Unavailable();
    inPlaceAllowed_ = result.lockWarning.empty();
    const bool blocked = FinishRewrite(path);
    result.journalCopy = journalCopy_;
    if (blocked) {
        failUnchanged();
        throw Error(recoveryNote_);
    }
    const Snapshot now = TakeSnapshot(Ops(), path);

    // A window that could not read the file takes it up again once it is sound: what it read of
    // it is the base of a merge.
    if (knowledge_ == Knowledge::Unreadable && now.kind == Snapshot::Kind::Read
        && Broken(now.bytes, width, height).empty()) {
        knowledge_ = Knowledge::Known;
        state_ = FileState::Missing();
    }

    // The edit acts on a copy: one that throws leaves everything as it was.
    std::vector<TCalibPoint> work = points;
    const auto applyEdit = [&] {
        if (edit)
            edit(work);
        changedThere_.clear();
    };
    const auto notReplaced = [&](std::string reason) {
        applyEdit();
        overruled_.clear();
        points = std::move(work);
        result.outcome = Outcome::NotReplaced;
        result.reason = std::move(reason);
        return result;
    };

    if (knowledge_ != Knowledge::Known) {
        applyEdit();
        overruled_.clear();
        // A run that could not read the file has nothing to write unless its points changed.
        if (SameRecords(work, base_)) {
            points = std::move(work);
            result.outcome = Outcome::Untouched;
            return result;
        }
        if (now.kind != Snapshot::Kind::Missing) {
            const std::string failure = now.kind == Snapshot::Kind::Unreadable ? now.failure
                                                                              : readFailure_;
            points = std::move(work);
            result.outcome = Outcome::NotReplaced;
            result.reason = path.string() + ": not read in this run, so it is left as it is"
                + (failure.empty() ? "" : " (" + failure + ")");
            return result;
        }
        // Gone, or never there: nothing can be lost by writing ours.
        points = work;
        Replace(path, width, height, work);
        return result;
    }

    std::vector<TCalibPoint> theirs;
    bool unchanged = false;
    MergedPoints merge;
    FileState seen;
    switch (now.kind) {
    case Snapshot::Kind::Unreadable:
        // A link loop, a folder that may not be searched, a failing disk: nothing to compare.
        return notReplaced(now.failure);
    case Snapshot::Kind::Missing:
        // Gone: nothing can be lost by writing ours.
        applyEdit();
        break;
    case Snapshot::Kind::Read: {
        seen = StateOf(now.bytes);
        if (state_.exists && seen.size == state_.size && seen.hash == state_.hash) {
            applyEdit();
            unchanged = true;
            break;
        }
        result.brokenFile = Broken(now.bytes, width, height);
        if (!result.brokenFile.empty()) {
            applyEdit();
            break;
        }
        theirs = Decode(now.bytes);
        merge = MergePoints(base_, work, theirs);
        work = std::move(merge.points);
        changedThere_.reserve(merge.changed.size());
        for (const auto &[from, to] : merge.changed)
            changedThere_.push_back({from, to});
        applyEdit();
        break;
    }
    }

    // What the edit replaced of the other writer's is a conflict like the merge's.
    std::size_t overruledFromThere = 0;
    for (const TCalibPoint &version : overruled_) {
        merge.conflicts.push_back({version.X, version.Y, version});
        ++overruledFromThere;
    }
    overruled_.clear();
    const std::size_t fromTheirs
        = merge.fromTheirs > overruledFromThere ? merge.fromTheirs - overruledFromThere : 0;

    // What the write drops of the other side is set aside before the write. When that fails,
    // nothing is written, and the window keeps its own list with the edit: the file and what this
    // window knows of it stay as they are, so the next transaction finds the same change again.
    try {
        if (!result.brokenFile.empty()) {
            result.outcome = Outcome::Merged;
            result.brokenCopy = Aside(path, now.bytes);
        }
        if (fromTheirs > 0 || !merge.removed.empty() || !merge.conflicts.empty()) {
            result.outcome = Outcome::Merged;
            result.fromOtherSide = fromTheirs;
            result.removedByOtherSide = merge.removed.size();
            result.conflicts = merge.conflicts;
            std::vector<TCalibPoint> versions;
            for (const MergeConflict &conflict : merge.conflicts)
                if (conflict.theirs)
                    versions.push_back(*conflict.theirs);
            if (!versions.empty())
                result.otherVersionsCopy = Aside(path, EncodeCalibration(width, height, versions));
            if (!merge.removed.empty())
                result.removedCopy = Aside(path, EncodeCalibration(width, height, merge.removed));
        }
    } catch (const Error &) {
        failUnchanged();
        throw;
    }

    // The caller's list holds the merge and the edit whatever happens next: what cannot be
    // written belongs in a recovery copy.
    points = work;
    // From here on the file as it is now is what both sides start from, whatever the write does.
    if (unchanged) {
        // state_ and base_ are right as they are
    } else if (now.kind == Snapshot::Kind::Read) {
        state_ = seen;
        base_ = std::move(theirs);
    } else {
        state_ = FileState::Missing();
        base_.clear();
    }
    KeepBackup(path, work);
    Replace(path, width, height, work);
    return result;
}

void CalibrationKeeper::KeepBackup(const fs::path &path, std::span<const TCalibPoint> points)
{
    // Only a write that changes the points needs the way back.
    if (backupKept_ || !first_ || SameRecords(points, first_->points))
        return;
    // A read-only file refuses the write anyway; its medium gets nothing new.
    struct stat info;
    const bool exists = Ops().Stat(path.c_str(), &info) == 0;
    if (exists && (info.st_mode & 0222) == 0)
        return;
    backupKept_ = true;
    try {
        fs::path backup = path;
        backup += ".bak";
        const mode_t mode = exists ? info.st_mode & ModeBits : 0644;
        const std::string warning = ReplaceFile(
            Ops(), backup, EncodeCalibration(first_->width, first_->height, first_->points),
            mode | S_IWUSR, journalFolder_, inPlaceAllowed_);
        if (!warning.empty())
            writeWarning_ = warning;
    } catch (const Error &error) {
        // The save still goes ahead: the backup only adds a way back.
        writeWarning_ = std::string("no backup: ") + error.what();
    }
    first_.reset(); // taken once: its memory is not needed any more
}

void CalibrationKeeper::Replace(const fs::path &path, std::int32_t width, std::int32_t height,
                                const std::vector<TCalibPoint> &points)
{
    const std::vector<std::uint8_t> bytes = EncodeCalibration(width, height, points);
    const std::string warning
        = ReplaceFile(Ops(), path, bytes, std::nullopt, journalFolder_, inPlaceAllowed_);
    if (!warning.empty())
        writeWarning_ += (writeWarning_.empty() ? "" : "; ") + warning;
    state_ = StateOf(bytes);
    base_ = points;
    knowledge_ = Knowledge::Known;
}

} // namespace carteva
