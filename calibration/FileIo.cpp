// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/FileIo.h"

#include "calibration/Descriptor.h"
#include "calibration/Errors.h"
#include "calibration/FileNames.h"
#include "calibration/FileOps.h"
#include "calibration/RewriteJournal.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace carteva {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t ReadBlock = 640 * 1024;
constexpr mode_t ModeBits = 07777;
constexpr mode_t WriteBits = 0222;

[[noreturn]] void Fail(const fs::path &file, const char *call, int error)
{
    throw Error(FailureReason(file, call, error));
}

// Saving through a symbolic link must update the file it points at, not replace the link.
fs::path FollowLinks(fs::path path)
{
    for (int depth = 0; depth < 40; ++depth) {
        std::error_code error;
        if (!fs::is_symlink(path, error))
            return path;
        const fs::path link = fs::read_symlink(path, error);
        if (error)
            Fail(path, "readlink", error.value());
        path = link.is_absolute() ? link : path.parent_path() / link;
    }
    Fail(path, "readlink", ELOOP);
}

// The temporary file of a save: closed and removed again unless it was renamed into place.
class TemporaryFile
{
public:
    TemporaryFile(FileOps &ops, int fd, std::string path)
        : m_ops(ops)
        , m_file(ops, fd)
        , m_path(std::move(path))
    { }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;
    ~TemporaryFile()
    {
        if (!m_renamed) {
            if (m_file.Get() >= 0)
                m_file.Close();
            m_ops.Unlink(m_path.c_str());
        }
    }

    int Fd() const { return m_file.Get(); }
    const std::string &Path() const { return m_path; }
    int Close() { return m_file.Close(); }
    void Renamed() { m_renamed = true; }

private:
    FileOps &m_ops;
    Descriptor m_file;
    std::string m_path;
    bool m_renamed = false;
};

// Errors of a folder where no new file may be made (or, in a sticky folder, none may take the place
// of someone else's), although the file in it may still be writable.
bool RefusesNewFiles(int error)
{
    return error == EACCES || error == EPERM || error == EROFS || error == ENAMETOOLONG;
}

// Writes `bytes` over the start of the file, cuts it to their length and flushes it; returns why
// that failed, or an empty string.
std::string Overwrite(FileOps &ops, int fd, const fs::path &path,
                      std::span<const std::uint8_t> bytes)
{
    if (ops.Seek(fd, 0) != 0)
        return FailureReason(path, "lseek", errno);
    if (!WriteAll(ops, fd, bytes))
        return FailureReason(path, "write", errno);
    if (ops.Truncate(fd, static_cast<off_t>(bytes.size())) != 0)
        return FailureReason(path, "ftruncate", errno);
    if (ops.Fsync(fd) != 0)
        return FailureReason(path, "fsync", errno);
    return {};
}

// The way left when the folder refuses the temporary file, or the file has other names: not atomic,
// so the old and new bytes go to a side file first (see RewriteJournal), and the old bytes are put
// back when the new ones cannot all be written and flushed. With nowhere to put the side file, or
// without the file's lock (`inPlaceAllowed` false), nothing is written: a kill midway would leave
// a file that is neither. `refused` says why the temporary file could not be used. Returns a
// warning when the side file of a finished rewrite stays behind.
std::string RewriteInPlace(FileOps &ops, const fs::path &target,
                           std::span<const std::uint8_t> bytes, const std::string &refused,
                           const fs::path &journalFolder, bool inPlaceAllowed)
{
    const auto fail = [&](const std::string &reason) {
        throw Error(refused + "; rewriting in place: " + reason);
    };
    if (!inPlaceAllowed)
        fail("not without the file's lock, which could not be had");
    const RegularFile opened = OpenRegularFile(ops, target.c_str(), FileAccess::ReadWrite);
    if (opened.refusal != RegularFile::Refusal::None)
        fail(RefusalReason(target, opened));
    const int fd = opened.fd;
    Descriptor file(ops, fd);
    std::vector<std::uint8_t> old;
    if (const int error = ReadToEnd(ops, fd, old))
        fail(FailureReason(target, "read", error));

    fs::path side;
    const RewriteJournal::Begun begun = RewriteJournal::Begin(
        ops, target, journalFolder, {opened.info.st_dev, opened.info.st_ino}, old, bytes, side);
    if (begun == RewriteJournal::Begun::NoPlace)
        fail("no folder takes its journal (" + FailureReason(side, "open", errno) + ")");
    if (begun == RewriteJournal::Begun::Failed)
        fail(FailureReason(side, "write", errno));
    std::string failure = Overwrite(ops, fd, target, bytes);
    if (failure.empty()) {
        // Flushed: a failing close can no longer lose the bytes.
        if (!RewriteJournal::Drop(ops, side))
            return target.string() + " is saved, but its journal stays behind: "
                + FailureReason(side, "unlink", errno);
        return {};
    }
    const std::string restore = Overwrite(ops, fd, target, old);
    if (!restore.empty())
        failure += "; putting the old bytes back: " + restore; // the side file finishes it later
    else
        RewriteJournal::Drop(ops, side);
    fail(failure);
    return {}; // not reached: fail throws
}

// Without this the rename itself may not survive a power cut. The new file is in place by now, so
// a failure is only a warning.
std::string FlushFolder(FileOps &ops, const fs::path &folder, const fs::path &target)
{
    const auto warning = [&](const char *call, int error) {
        return target.string() + " is saved, but its folder could not be flushed: "
            + FailureReason(folder, call, error);
    };
    const int fd = ops.OpenFolder(folder.c_str());
    if (fd < 0)
        return warning("open", errno);
    Descriptor folderFile(ops, fd);
    if (ops.Fsync(fd) != 0)
        return warning("fsync", errno);
    return {};
}

} // namespace

bool WriteAll(FileOps &ops, int fd, std::span<const std::uint8_t> bytes)
{
    const std::uint8_t *data = bytes.data();
    std::size_t size = bytes.size();
    while (size > 0) {
        const ssize_t written = ops.Write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = EIO;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

std::string FailureReason(const fs::path &file, const char *call, int error)
{
    return file.string() + ": " + call + ": " + std::strerror(error);
}

RegularFile OpenRegularFile(FileOps &ops, const char *path, FileAccess access, bool blocking)
{
    RegularFile file;
    const int fd
        = access == FileAccess::Read ? ops.OpenForReading(path) : ops.OpenForRewriting(path);
    if (fd < 0) {
        file.refusal = RegularFile::Refusal::Open;
        file.error = errno;
        return file;
    }
    if (ops.Fstat(fd, &file.info) != 0) {
        file.refusal = RegularFile::Refusal::Fstat;
        file.error = errno;
    } else if (!S_ISREG(file.info.st_mode)) {
        file.refusal = RegularFile::Refusal::NotRegular;
    }
    if (file.refusal != RegularFile::Refusal::None) {
        const int saved = errno;
        ops.Close(fd);
        errno = saved;
        return file;
    }
    if (blocking) {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0)
            ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    file.fd = fd;
    return file;
}

std::string RefusalReason(const fs::path &file, const RegularFile &opened)
{
    switch (opened.refusal) {
    case RegularFile::Refusal::Open:
        return FailureReason(file, "open", opened.error);
    case RegularFile::Refusal::Fstat:
        return FailureReason(file, "fstat", opened.error);
    case RegularFile::Refusal::NotRegular:
        return file.string() + ": not a regular file";
    case RegularFile::Refusal::None:
        break;
    }
    return {};
}

ReadOutcome ReadFully(FileOps &ops, int fd, std::uint8_t *buffer, std::size_t size)
{
    ReadOutcome outcome;
    while (outcome.count < size) {
        const ssize_t got = ops.Read(fd, buffer + outcome.count, size - outcome.count);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            outcome.failed = true;
            outcome.error = errno;
            break;
        }
        if (got == 0)
            break;
        outcome.count += static_cast<std::size_t>(got);
    }
    return outcome;
}

int ReadToEnd(FileOps &ops, int fd, std::vector<std::uint8_t> &bytes)
{
    std::size_t size = bytes.size();
    for (;;) {
        bytes.resize(size + ReadBlock);
        const ReadOutcome outcome = ReadFully(ops, fd, bytes.data() + size, ReadBlock);
        size += outcome.count;
        if (outcome.failed || outcome.count < ReadBlock) {
            bytes.resize(size);
            return outcome.error;
        }
    }
}

std::string ReplaceFile(FileOps &ops, const fs::path &path, std::span<const std::uint8_t> bytes,
                        std::optional<mode_t> modeOfNewFile, const fs::path &journalFolder,
                        bool inPlaceAllowed)
{
    const fs::path target = FollowLinks(path);
    std::optional<mode_t> mode = modeOfNewFile;
    struct stat existing;
    const bool exists = ops.Stat(target.c_str(), &existing) == 0;
    if (exists) {
        if (!S_ISREG(existing.st_mode))
            throw Error(target.string() + ": not a regular file");
        // Root may write anything, so the mode bits are checked as well as access().
        if ((existing.st_mode & WriteBits) == 0)
            throw Error(target.string() + ": the file is read-only");
        if (ops.AccessForWriting(target.c_str()) != 0)
            Fail(target, "access", errno);
        mode = existing.st_mode & ModeBits;
        // Replacing would cut the file off from its other names.
        if (existing.st_nlink > 1)
            return RewriteInPlace(ops, target, bytes,
                                  target.string() + ": " + std::to_string(existing.st_nlink)
                                      + " hard links",
                                  journalFolder, inPlaceAllowed);
    } else if (errno != ENOENT) {
        Fail(target, "stat", errno);
    }

    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string temporaryPath;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporaryPath = TemporaryName(folder, target);
        fd = ops.CreateExclusive(temporaryPath.c_str(), 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        const int error = errno;
        if (exists && RefusesNewFiles(error))
            return RewriteInPlace(ops, target, bytes, FailureReason(temporaryPath, "open", error),
                                  journalFolder, inPlaceAllowed);
        Fail(temporaryPath, "open", error);
    }

    TemporaryFile temporary(ops, fd, temporaryPath);
    // Held until the file is closed: a save under way is not litter to clean up.
    ::flock(temporary.Fd(), LOCK_EX | LOCK_NB);
    if (!WriteAll(ops, temporary.Fd(), bytes))
        Fail(temporary.Path(), "write", errno);
    if (mode && ops.Fchmod(temporary.Fd(), *mode) != 0)
        Fail(temporary.Path(), "fchmod", errno);
    if (ops.Fsync(temporary.Fd()) != 0)
        Fail(temporary.Path(), "fsync", errno);
    if (temporary.Close() != 0)
        Fail(temporary.Path(), "close", errno);
    if (ops.Rename(temporary.Path().c_str(), target.c_str()) != 0) {
        const int error = errno;
        // A sticky folder lets the temporary file be made, but not take the place of a file that
        // belongs to someone else.
        if (exists && error == EPERM)
            return RewriteInPlace(ops, target, bytes, FailureReason(target, "rename", error),
                                  journalFolder, inPlaceAllowed);
        Fail(target, "rename", error);
    }
    temporary.Renamed();
    RemoveStaleTemporaries(folder, target);
    return FlushFolder(ops, folder, target);
}

std::string OverwriteFile(FileOps &ops, const fs::path &path, std::span<const std::uint8_t> bytes)
{
    const RegularFile opened = OpenRegularFile(ops, path.c_str(), FileAccess::ReadWrite);
    if (opened.refusal != RegularFile::Refusal::None)
        return RefusalReason(path, opened);
    Descriptor file(ops, opened.fd);
    return Overwrite(ops, opened.fd, path, bytes);
}

fs::path CreateDatedCopy(FileOps &ops, const fs::path &folder, const fs::path &original,
                         std::span<const std::uint8_t> bytes)
{
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "-%Y%m%d-%H%M%S", &local);
    const std::string extension = original.extension().string();
    for (int counter = 1; counter < 1000; ++counter) {
        const std::string tail = stamp + (counter > 1 ? "-" + std::to_string(counter) : "")
            + extension;
        // A name near the limit is shortened, or the copy would fail exactly when it is needed.
        const fs::path path
            = folder / (FittingName(folder, original.stem().string(), tail.size()) + tail);
        const int fd = ops.CreateExclusive(path.c_str(), 0666);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            Fail(path, "open", errno);
        Descriptor file(ops, fd);
        const char *call = !WriteAll(ops, fd, bytes) ? "write"
            : ops.Fsync(fd) != 0                    ? "fsync"
            : file.Close() != 0                     ? "close"
                                                    : nullptr;
        if (call == nullptr)
            return path;
        const int error = errno;
        ops.Unlink(path.c_str());
        Fail(path, call, error);
    }
    Fail(folder / original.filename(), "open", EEXIST);
}

} // namespace carteva
