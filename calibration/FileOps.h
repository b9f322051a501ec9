// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstddef>
#include <sys/stat.h>
#include <sys/types.h>

namespace carteva {

// The POSIX calls the calibration file is read and written with. The default is the real thing;
// tests derive from it and make single steps fail. Each call returns what the POSIX call returns
// and leaves errno set on failure.
class FileOps
{
public:
    virtual ~FileOps() = default;

    // Opens without blocking, so that a FIFO or a device cannot hold the caller up.
    virtual int OpenForReading(const char *path);
    // Opens an existing file for reading and writing in place, not truncated, without blocking.
    virtual int OpenForRewriting(const char *path);
    // Creates the file; fails with EEXIST when something is already there.
    virtual int CreateExclusive(const char *path, mode_t mode);
    virtual int OpenFolder(const char *path);
    virtual ssize_t Read(int fd, void *buffer, std::size_t size);
    virtual ssize_t Write(int fd, const void *buffer, std::size_t size);
    virtual int Stat(const char *path, struct stat *info);
    virtual int Fstat(int fd, struct stat *info);
    // access(W_OK) for the effective user; root passes whatever the mode says.
    virtual int AccessForWriting(const char *path);
    virtual int Fchmod(int fd, mode_t mode);
    // lseek(SEEK_SET)
    virtual off_t Seek(int fd, off_t offset);
    virtual int Truncate(int fd, off_t size);
    virtual int Fsync(int fd);
    virtual int Close(int fd);
    virtual int Rename(const char *from, const char *to);
    virtual int Unlink(const char *path);
    // Opens the lock file of a transaction, made when missing; not a symbolic link.
    virtual int OpenLock(const char *path);
    // flock(2)
    virtual int Lock(int fd, int operation);
};

} // namespace carteva
