// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "app/export/ExportCommandLine.h"

#include <iosfwd>

namespace carteva {

// One run of carteva-export: reads the bitmap and its calibration, writes the chosen format and
// reports on `err`. A file is written through a temporary one renamed into place, so a failure
// leaves no output behind (and an older file as it was).
class ExportCommand
{
public:
    // The exit status: 0, or 1 after one line on `err` naming the file and the reason. `in` is
    // read for --format pixels only.
    static int Run(const ExportOptions &options, std::istream &in, std::ostream &out,
                   std::ostream &err);
};

} // namespace carteva
