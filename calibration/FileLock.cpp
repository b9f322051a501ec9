// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/FileLock.h"

#include "calibration/Errors.h"
#include "calibration/FileIo.h"
#include "calibration/FileNames.h"
#include "calibration/FileOps.h"

#include <cerrno>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>

namespace carteva {

namespace fs = std::filesystem;

namespace {

constexpr char Suffix[] = ".saving";
constexpr auto Poll = std::chrono::milliseconds(5);

// The file a name leads to: a lock taken through a symbolic link belongs beside its target.
fs::path Resolved(const fs::path &file)
{
    std::error_code error;
    const fs::path resolved = fs::weakly_canonical(file, error);
    return error ? file : resolved;
}

bool SameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Errors of a system or file system that keeps no locks: the save goes on without one.
bool NoLocks(int error)
{
    return error == ENOLCK || error == EOPNOTSUPP || error == ENOSYS;
}

std::string Duration(std::chrono::milliseconds time)
{
    if (time >= std::chrono::seconds(1) && time.count() % 1000 == 0)
        return std::to_string(time.count() / 1000) + " seconds";
    return std::to_string(time.count()) + " ms";
}

} // namespace

fs::path FileLock::LockPath(const fs::path &file)
{
    const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
    return folder
        / ("." + FittingName(folder, file.filename().string(), 1 + sizeof Suffix - 1) + Suffix);
}

bool FileLock::Wait(int fd, const fs::path &path)
{
    while (ops_.Lock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (NoLocks(error)) {
            if (unavailable_.empty())
                unavailable_ = FailureReason(path, "flock", error);
            return false;
        }
        if (error != EWOULDBLOCK && error != EINTR)
            throw Error(FailureReason(path, "flock", error));
        if (std::chrono::steady_clock::now() > deadline_)
            throw Error(file_.string() + ": another program has been saving it for "
                        + Duration(patience_));
        std::this_thread::sleep_for(Poll);
    }
    return true;
}

FileLock::FileLock(FileOps &ops, const fs::path &file, std::chrono::milliseconds patience)
    : ops_(ops)
    , file_(file)
    , patience_(patience)
    , deadline_(std::chrono::steady_clock::now() + patience)
{
    const fs::path target = Resolved(file);
    const fs::path path = LockPath(target);
    try {
        for (;;) {
            int fd = ops_.OpenLock(path.c_str());
            // Another user's lock file: a read-only descriptor locks it just as well.
            if (fd < 0 && (errno == EACCES || errno == EPERM))
                fd = ops_.OpenForReading(path.c_str());
            if (fd < 0) {
                const int error = errno;
                if (error != EACCES && error != EPERM && error != EROFS && error != ENOENT
                    && error != ENAMETOOLONG)
                    throw Error(FailureReason(path, "open", error));
                break; // a folder that takes no lock file: the file's own lock must do
            }
            if (!Wait(fd, path)) {
                ops_.Close(fd);
                break;
            }
            // The holder before us removes the lock file as it lets go: a lock on a removed file
            // is no lock, so the file must still be the one at the path.
            struct stat held, named;
            if (ops_.Fstat(fd, &held) == 0 && ops_.Stat(path.c_str(), &named) == 0
                && SameFile(held, named)) {
                lockFd_ = fd;
                lockPath_ = path;
                break;
            }
            ops_.Close(fd);
        }
        // The file itself, shared by all its names. A save that renamed a new file into place
        // meanwhile leaves the old one locked: the lock follows the name to the new one.
        for (;;) {
            const int fd = ops_.OpenForReading(target.c_str());
            if (fd < 0)
                break; // missing (the lock file covers it) or unreadable (nothing to merge)
            if (!Wait(fd, target)) {
                ops_.Close(fd);
                break;
            }
            struct stat held, named;
            if (ops_.Fstat(fd, &held) != 0 || ops_.Stat(target.c_str(), &named) != 0
                || SameFile(held, named)) {
                fileFd_ = fd;
                break;
            }
            ops_.Close(fd);
        }
    } catch (...) {
        if (lockFd_ >= 0) {
            ops_.Unlink(lockPath_.c_str());
            ops_.Close(lockFd_);
        }
        throw;
    }
}

FileLock::~FileLock()
{
    if (fileFd_ >= 0)
        ops_.Close(fileFd_);
    if (!lockPath_.empty())
        ops_.Unlink(lockPath_.c_str());
    if (lockFd_ >= 0)
        ops_.Close(lockFd_);
}

} // namespace carteva
