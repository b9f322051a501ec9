// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <filesystem>

namespace carteva {

class FileOps;

// Holds the exclusive lock of one calibration file for as long as it lives, so that reading the
// file, deciding and writing it are one step for every Carteva process: flock on a hidden lock file
// beside it (".<name>.saving"), removed again on release. Where the folder takes no new file, the
// file itself is locked: such a folder cannot have it replaced by a rename either.
class FileLock
{
public:
    // Waits while another process holds the lock; throws Error when it does for longer than a save
    // could take, or when no lock can be made for another reason than the folder refusing it.
    FileLock(FileOps &ops, const std::filesystem::path &file);
    ~FileLock();
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

    // ".<name>.saving" beside `file`, shortened to fit.
    static std::filesystem::path LockPath(const std::filesystem::path &file);

private:
    FileOps &ops_;
    std::filesystem::path lockPath_; // empty: the file itself is locked, or nothing is
    int fd_ = -1;
};

} // namespace carteva
