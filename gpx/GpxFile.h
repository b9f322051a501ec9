// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/FileOps.h"

#include <filesystem>
#include <sys/types.h>

namespace carteva {

// Opens a GPX file for reading; only a regular file will do. Opening does not block, so a FIFO
// without a writer or a device is refused at once instead of hanging the load. Throws the
// three-line failure "Cannot open file "<path>". <reason>", line 0. The descriptor, to be closed
// with `ops`; `size` is the file's size.
int OpenGpxFile(FileOps &ops, const std::filesystem::path &path, off_t &size);

} // namespace carteva
