// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/FileOps.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace carteva {

int FileOps::OpenForReading(const char *path)
{
    return ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

int FileOps::OpenForRewriting(const char *path)
{
    return ::open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC);
}

int FileOps::CreateExclusive(const char *path, mode_t mode)
{
    return ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
}

int FileOps::OpenFolder(const char *path)
{
    return ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

ssize_t FileOps::Read(int fd, void *buffer, std::size_t size)
{
    return ::read(fd, buffer, size);
}

ssize_t FileOps::Write(int fd, const void *buffer, std::size_t size)
{
    return ::write(fd, buffer, size);
}

int FileOps::Stat(const char *path, struct stat *info)
{
    return ::stat(path, info);
}
int FileOps::Fstat(int fd, struct stat *info)
{
    return ::fstat(fd, info);
}
int FileOps::AccessForWriting(const char *path)
{
    return ::faccessat(AT_FDCWD, path, W_OK, AT_EACCESS);
}

int FileOps::Fchmod(int fd, mode_t mode)
{
    return ::fchmod(fd, mode);
}
off_t FileOps::Seek(int fd, off_t offset)
{
    return ::lseek(fd, offset, SEEK_SET);
}
int FileOps::Truncate(int fd, off_t size)
{
    return ::ftruncate(fd, size);
}
int FileOps::Fsync(int fd)
{
    return ::fsync(fd);
}
int FileOps::Close(int fd)
{
    return ::close(fd);
}
int FileOps::Rename(const char *from, const char *to)
{
    return std::rename(from, to);
}
int FileOps::Unlink(const char *path)
{
    return ::unlink(path);
}
int FileOps::OpenLock(const char *path)
{
    return ::open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
}
int FileOps::Lock(int fd, int operation)
{
    return ::flock(fd, operation);
}

} // namespace carteva
