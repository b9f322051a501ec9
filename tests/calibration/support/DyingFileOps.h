// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/FileOps.h"

#include <algorithm>
#include <unistd.h>

namespace carteva::test {

// The real calls, writes cut into pieces of `chunk` bytes, and the process ending at the call
// numbered `dieAt` of those that change files, as by SIGKILL: no destructor runs.
class DyingFileOps : public FileOps
{
public:
    explicit DyingFileOps(int dieAt, std::size_t chunk = 4000)
        : dieAt_(dieAt)
        , chunk_(chunk)
    { }
    ssize_t Write(int fd, const void *buffer, std::size_t size) override
    {
        Step();
        return FileOps::Write(fd, buffer, std::min(size, chunk_));
    }
    int CreateExclusive(const char *path, mode_t mode) override
    {
        Step();
        return FileOps::CreateExclusive(path, mode);
    }
    int Fsync(int fd) override { return Step(), FileOps::Fsync(fd); }
    int Truncate(int fd, off_t size) override { return Step(), FileOps::Truncate(fd, size); }
    int Rename(const char *from, const char *to) override
    {
        return Step(), FileOps::Rename(from, to);
    }
    int Unlink(const char *path) override { return Step(), FileOps::Unlink(path); }
    int Close(int fd) override { return Step(), FileOps::Close(fd); }

private:
    void Step()
    {
        if (calls_++ == dieAt_)
            _exit(99);
    }
    int dieAt_;
    std::size_t chunk_;
    int calls_ = 0;
};

} // namespace carteva::test
