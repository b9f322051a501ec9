// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/Errors.h"
#include "gpx/ParseState.h"

#include <libxml/xmlerror.h>

#include <filesystem>
#include <string>

namespace carteva {

// Keeps the first failure of a load: its description and line. Allocation failing on the way
// turns it into "Out of memory"; nothing here throws, since it runs inside libxml2's calls.
void RecordFailure(ParseState &state, const char *description, long line) noexcept;
// libxml2's report of an error, when it is of level error or fatal.
void RecordError(ParseState &state, const xmlError *error) noexcept;

// The three lines of a failed load: "<description>\r\nLine: <n>\r\n<excerpt>".
std::string FailureMessage(const std::string &description, long line, const std::string &excerpt);
// A file that cannot be opened or read fails like a malformed one, with line 0 and no excerpt.
Error FileFailure(const char *what, const std::filesystem::path &path, const char *reason);

} // namespace carteva
