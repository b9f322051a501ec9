// SPDX-License-Identifier: GPL-2.0-or-later
#include "gpx/GpxFile.h"

#include "calibration/FileIo.h"
#include "gpx/ParseFailure.h"

#include <cerrno>
#include <cstring>

namespace carteva {

int OpenGpxFile(FileOps &ops, const std::filesystem::path &path, off_t &size)
{
    // Blocking again once known to be regular: the read-ahead thread relies on whole reads.
    const RegularFile opened = OpenRegularFile(ops, path.c_str(), FileAccess::Read, true);
    if (opened.refusal != RegularFile::Refusal::None) {
        const char *reason = opened.refusal != RegularFile::Refusal::NotRegular
            ? std::strerror(opened.error)
            : opened.IsFolder() ? std::strerror(EISDIR)
                                : "Not a regular file";
        throw FileFailure("Cannot open file", path, reason);
    }
    size = opened.info.st_size;
    return opened.fd;
}

} // namespace carteva
