// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

namespace carteva {

class FileOps;

// Holds the exclusive lock of one calibration file for as long as it lives, so that reading the
// file, deciding and writing it are one step for every Carteva process, whatever name of the file
// each one opened and whichever user runs it. Two locks are taken, always in this order:
// - flock on a hidden lock file (".<name>.saving") beside the file the name leads to, symbolic
//   links followed, removed again on release: it holds while the file is missing or is replaced by
//   a rename. Another user's lock file is locked through a read-only descriptor.
// - flock on the file itself, when it exists: every hard link and every user share it. A file that
//   was renamed over while this waited is locked again under its new identity.
// Where the system has no locks for the file (ENOLCK, a network folder without locking), nothing
// is held and Unavailable() says why: the caller must then write only in ways that cannot tear.
class FileLock
{
public:
    static constexpr std::chrono::milliseconds Patience {10000};

    // Waits while another process holds the lock; throws Error when it does for longer than
    // `patience`, or when no lock can be made for another reason than the folder refusing it or
    // the system having no locks.
    FileLock(FileOps &ops, const std::filesystem::path &file,
             std::chrono::milliseconds patience = Patience);
    ~FileLock();
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

    // Why no lock is held although one was asked for; empty when it is.
    const std::string &Unavailable() const { return unavailable_; }

    // ".<name>.saving" beside `file`, shortened to fit.
    static std::filesystem::path LockPath(const std::filesystem::path &file);

private:
    // Waits for flock on `fd`; false when the system has no lock for it (unavailable_ says why).
    bool Wait(int fd, const std::filesystem::path &path);

    FileOps &ops_;
    std::filesystem::path file_;
    std::chrono::milliseconds patience_;
    std::chrono::steady_clock::time_point deadline_;
    std::filesystem::path lockPath_; // empty: no lock file is held
    int lockFd_ = -1;
    int fileFd_ = -1;
    std::string unavailable_;
};

} // namespace carteva
