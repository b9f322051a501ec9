// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/GpxFile.h"

#include "gpx/ParseFailure.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>

namespace carteva {

int OpenGpxFile(FileOps &ops, const std::filesystem::path &path, off_t &size)
{
    const int fd = ops.OpenForReading(path.c_str());
    if (fd < 0)
        throw FileFailure("Cannot open file", path, std::strerror(errno));
    struct stat status;
    const bool statted = ops.Fstat(fd, &status) == 0;
    if (!statted || !S_ISREG(status.st_mode)) {
        const int error = !statted ? errno : S_ISDIR(status.st_mode) ? EISDIR : 0;
        ops.Close(fd);
        throw FileFailure("Cannot open file", path,
                          error != 0 ? std::strerror(error) : "Not a regular file");
    }
    // Reading a regular file never blocks for long; the flag has done its work.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    size = status.st_size;
    return fd;
}

} // namespace carteva
