// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/FileLock.h"

#include "calibration/Errors.h"
#include "calibration/FileIo.h"
#include "calibration/FileNames.h"
#include "calibration/FileOps.h"

#include <cerrno>
#include <chrono>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>

namespace carteva {

namespace fs = std::filesystem;

namespace {

constexpr char Suffix[] = ".saving";
// A save holds the lock for milliseconds; one that holds it this long is stuck (a stopped
// process, a hung network share), and waiting on would freeze the window.
constexpr auto Patience = std::chrono::seconds(10);
constexpr auto Poll = std::chrono::milliseconds(5);

} // namespace

fs::path FileLock::LockPath(const fs::path &file)
{
    const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
    return folder
        / ("." + FittingName(folder, file.filename().string(), 1 + sizeof Suffix - 1) + Suffix);
}

FileLock::FileLock(FileOps &ops, const fs::path &file)
    : ops_(ops)
{
    const auto deadline = std::chrono::steady_clock::now() + Patience;
    const fs::path path = LockPath(file);
    for (;;) {
        const int fd = ops_.OpenLock(path.c_str());
        if (fd < 0) {
            const int error = errno;
            if (error != EACCES && error != EPERM && error != EROFS && error != ENOENT
                && error != ENAMETOOLONG)
                throw Error(FailureReason(path, "open", error));
            // No lock file here: lock the file itself, which then cannot be renamed over.
            fd_ = ops_.OpenForReading(file.c_str());
            if (fd_ >= 0 && ops_.Lock(fd_, LOCK_EX) != 0) {
                ops_.Close(fd_);
                fd_ = -1;
            }
            return;
        }
        while (ops_.Lock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) {
                const int error = errno;
                ops_.Close(fd);
                throw Error(FailureReason(path, "flock", error));
            }
            if (std::chrono::steady_clock::now() > deadline) {
                ops_.Close(fd);
                throw Error(file.string() + ": another program has been saving it for "
                            + std::to_string(Patience.count()) + " seconds");
            }
            std::this_thread::sleep_for(Poll);
        }
        // The holder before us removes the lock file as it lets go: a lock on a removed file is
        // no lock, so the file must still be the one at the path.
        struct stat held, named;
        if (ops_.Fstat(fd, &held) == 0 && ops_.Stat(path.c_str(), &named) == 0
            && held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            fd_ = fd;
            lockPath_ = path;
            return;
        }
        ops_.Close(fd);
    }
}

FileLock::~FileLock()
{
    if (!lockPath_.empty())
        ops_.Unlink(lockPath_.c_str());
    if (fd_ >= 0)
        ops_.Close(fd_);
}

} // namespace carteva
